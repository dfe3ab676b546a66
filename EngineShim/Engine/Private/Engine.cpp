#include "Engine/Engine.h"

#include "Engine/GameInstance.h"
#include "Engine/World.h"
#include "UObject/GCObject.h"
#include "UObject/UObjectGlobals.h"

UEngine::UEngine() = default;

UEngine::~UEngine()
{
	for (FWorldContext* Context : WorldList)
	{
		delete Context;
	}
}

FWorldContext& UEngine::CreateNewWorldContext()
{
	return *WorldList.Add_GetRef(new FWorldContext());
}

void UEngine::DestroyWorldContext(UWorld* InWorld)
{
	for (int32 Index = 0; Index < WorldList.Num(); ++Index)
	{
		if (WorldList[Index]->World() == InWorld)
		{
			delete WorldList[Index];
			WorldList.RemoveAt(Index);
			return;
		}
	}
}

FWorldContext* UEngine::GetWorldContextFromWorld(const UWorld* InWorld)
{
	for (FWorldContext* Context : WorldList)
	{
		if (Context->World() == InWorld)
		{
			return Context;
		}
	}
	return nullptr;
}

void UEngine::AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector)
{
	UEngine* This = CastChecked<UEngine>(InThis);
	for (FWorldContext* Context : This->WorldList)
	{
		UWorld* World = Context->World();
		Collector.AddReferencedObject(World, This);
		Context->SetCurrentWorld(World);
		Collector.AddReferencedObject(Context->OwningGameInstance, This);
	}
	Super::AddReferencedObjects(InThis, Collector);
}

UGameEngine::UGameEngine() = default;

namespace
{
	UEngine* MakeEngine()
	{
		UEngine* Engine = NewObject<UGameEngine>(GetTransientPackage(), FName(TEXT("GameEngine")));
		Engine->AddToRoot();
		return Engine;
	}
}

UEngine* GEngine = MakeEngine();
