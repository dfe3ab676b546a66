#include "Engine/GameInstance.h"

#include "Engine/Engine.h"
#include "Engine/World.h"
#include "UObject/GCObject.h"
#include "UObject/UObjectGlobals.h"

UGameInstance::UGameInstance() = default;

UWorld* UGameInstance::GetWorld() const
{
	return WorldContext ? WorldContext->World() : nullptr;
}

UEngine* UGameInstance::GetEngine() const
{
	return CastChecked<UEngine>(GetOuter());
}

void UGameInstance::Init()
{
	SubsystemCollection.Initialize(this);
}

void UGameInstance::Shutdown()
{
	SubsystemCollection.Deinitialize();
	// As the engine: nothing finds a world through this game instance any more; nothing is destroyed here.
	WorldContext = nullptr;
}

void UGameInstance::InitializeStandalone(const FName InWorldName, UPackage*)
{
	WorldContext = &GetEngine()->CreateNewWorldContext();
	WorldContext->OwningGameInstance = this;
	UWorld* DummyWorld = NewObject<UWorld>(this, InWorldName);
	DummyWorld->SetGameInstance(this);
	WorldContext->SetCurrentWorld(DummyWorld);
	Init();
}

void UGameInstance::AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector)
{
	UGameInstance* This = CastChecked<UGameInstance>(InThis);
	This->SubsystemCollection.AddReferencedObjects(This, Collector);
	Super::AddReferencedObjects(InThis, Collector);
}

void UGameInstance::RegisterReferencedObject(UObject* ObjectToReference)
{
	ReferencedObjects.AddUnique(ObjectToReference);
}

void UGameInstance::UnregisterReferencedObject(UObject* ObjectToReference)
{
	ReferencedObjects.RemoveSingleSwap(ObjectToReference);
}
