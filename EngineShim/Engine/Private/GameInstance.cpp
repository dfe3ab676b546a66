#include "Engine/GameInstance.h"

#include "Engine/World.h"
#include "UObject/UObjectGlobals.h"

UGameInstance::UGameInstance() = default;

UWorld* UGameInstance::GetWorld() const
{
	return World;
}

void UGameInstance::Init()
{
	SubsystemCollection.Initialize(this);
}

void UGameInstance::Shutdown()
{
	SubsystemCollection.Deinitialize();
	// The engine clears its world context here: nothing finds a world through this game instance any more.
	if (World)
	{
		World->SetGameInstance(nullptr);
		World->MarkAsGarbage();
		World = nullptr;
	}
}

void UGameInstance::InitializeStandalone(const FName InWorldName, UPackage*)
{
	World = NewObject<UWorld>(this, InWorldName);
	World->SetGameInstance(this);
	Init();
}

void UGameInstance::RegisterReferencedObject(UObject* ObjectToReference)
{
	ReferencedObjects.AddUnique(ObjectToReference);
}

void UGameInstance::UnregisterReferencedObject(UObject* ObjectToReference)
{
	ReferencedObjects.RemoveSingleSwap(ObjectToReference);
}
