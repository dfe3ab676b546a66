#include "Kismet/BlueprintAsyncActionBase.h"

#include "Engine/GameInstance.h"
#include "Engine/World.h"

DEFINE_LOG_CATEGORY_STATIC(LogScript, Log, All);

namespace
{
	/** The engine's world lookup in its logging mode (UEngine::GetWorldFromContextObject with LogAndReturnNull). */
	UWorld* GetWorldFromContextObject(const UObject* Object)
	{
		if (Object == nullptr)
		{
			UE_LOG(LogScript, Warning, TEXT("Script Msg: A null object was passed as a world context object to UEngine::GetWorldFromContextObject()."));
			return nullptr;
		}
		UWorld* World = Object->GetWorld();
		if (World == nullptr)
		{
			UE_LOG(LogScript, Warning, TEXT("Script Msg: No world was found for object (%s) passed in to UEngine::GetWorldFromContextObject()."),
				*Object->GetPathName());
		}
		return World;
	}
}

UBlueprintAsyncActionBase::UBlueprintAsyncActionBase()
{
	if (!HasAnyFlags(RF_ClassDefaultObject))
	{
		SetFlags(RF_StrongRefOnFrame);
	}
}

void UBlueprintAsyncActionBase::Activate()
{
}

void UBlueprintAsyncActionBase::RegisterWithGameInstance(const UObject* WorldContextObject)
{
	UWorld* FoundWorld = GetWorldFromContextObject(WorldContextObject);
	if (FoundWorld && FoundWorld->GetGameInstance())
	{
		RegisterWithGameInstance(FoundWorld->GetGameInstance());
	}
}

void UBlueprintAsyncActionBase::RegisterWithGameInstance(UGameInstance* GameInstance)
{
	if (GameInstance)
	{
		UGameInstance* OldGameInstance = RegisteredWithGameInstance.Get();
		if (OldGameInstance)
		{
			OldGameInstance->UnregisterReferencedObject(this);
		}
		GameInstance->RegisterReferencedObject(this);
		RegisteredWithGameInstance = GameInstance;
	}
}

void UBlueprintAsyncActionBase::SetReadyToDestroy()
{
	ClearFlags(RF_StrongRefOnFrame);
	UGameInstance* OldGameInstance = RegisteredWithGameInstance.Get();
	if (OldGameInstance)
	{
		OldGameInstance->UnregisterReferencedObject(this);
	}
}
