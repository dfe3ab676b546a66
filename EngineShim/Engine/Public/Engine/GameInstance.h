#pragma once

#include "CoreMinimal.h"
#include "Subsystems/GameInstanceSubsystem.h"
#include "Subsystems/SubsystemCollection.h"
#include "UObject/Object.h"
#include "GameInstance.generated.h"

class UEngine;
class UWorld;
struct FWorldContext;

/**
 * One running game, made with the engine as its outer (NewObject<UGameInstance>(GEngine)). Init
 * creates its subsystems (every non-abstract UGameInstanceSubsystem class whose default object
 * agrees); Shutdown deinitialises them and forgets them and its world context, and destroys nothing:
 * what nothing references any more goes in a later garbage collection. A game instance keeps its
 * subsystems (until Shutdown) and its ReferencedObjects alive.
 *
 * InitializeStandalone asks the engine for a world context and gives it a world first, as the
 * engine's standalone game does, so objects that find their game instance through a world context
 * work; the engine's world context then keeps the game instance and its world alive until
 * GEngine->DestroyWorldContext(World). A game instance made with Init alone has no world, as in the
 * engine. The world is made inside the game instance here (in the engine it lives in a package of its
 * own); nothing the plugin can do tells the two apart.
 */
UCLASS(Transient, BlueprintType, Blueprintable)
class ENGINE_API UGameInstance : public UObject
{
	GENERATED_BODY()

public:
	UGameInstance();

	/** The world of this game instance: null before InitializeStandalone and after Shutdown. */
	UWorld* GetWorld() const final;

	virtual void Init();
	virtual void Shutdown();

	/** The engine this game instance runs in: its outer. Fatal when the outer is not an engine. */
	UEngine* GetEngine() const;

	/** Creates the world context and the world of the game instance, then calls Init. Fatal without an engine outer. */
	void InitializeStandalone(const FName InWorldName = NAME_None, UPackage* InWorldPackage = nullptr);

	/** Reports the subsystems, as the engine's game instance does through its subsystem collection. */
	static void AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector);

	/** Registers an object to keep alive as long as this game instance is alive. */
	virtual void RegisterReferencedObject(UObject* ObjectToReference);
	/** Removes a referenced object, so that it may be collected. */
	virtual void UnregisterReferencedObject(UObject* ObjectToReference);

	/** The subsystem of that class, or null when none was created. */
	template <class TSubsystemClass>
	TSubsystemClass* GetSubsystem() const
	{
		return SubsystemCollection.GetSubsystem<TSubsystemClass>(TSubsystemClass::StaticClass());
	}

protected:
	/** Objects kept alive by this game instance (a TArray<TObjectPtr<UObject>> in the engine). */
	UPROPERTY()
	TArray<UObject*> ReferencedObjects;

private:
	FSubsystemCollection<UGameInstanceSubsystem> SubsystemCollection;
	FWorldContext* WorldContext = nullptr;
};
