#pragma once

#include "CoreMinimal.h"
#include "Subsystems/GameInstanceSubsystem.h"
#include "Subsystems/SubsystemCollection.h"
#include "UObject/Object.h"
#include "GameInstance.generated.h"

class UWorld;

/**
 * One running game. Init creates its subsystems (every non-abstract UGameInstanceSubsystem class
 * whose default object agrees); Shutdown deinitialises them, lets them go and leaves the world.
 *
 * InitializeStandalone gives the game instance a world first, as the engine's standalone game does,
 * so objects that find their game instance through a world context work; a game instance made with
 * Init alone has no world, as in the engine. The world is made inside the game instance here (in the
 * engine it lives in a package of its own), so that it goes when the game instance is collected.
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

	/** Makes the game instance's world, then calls Init. */
	void InitializeStandalone(const FName InWorldName = NAME_None, UPackage* InWorldPackage = nullptr);

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
	/**
	 * Objects kept alive by this game instance (a reflected TArray<TObjectPtr<UObject>> in the engine,
	 * which the stand-in's collector, not tracing references, does not need).
	 */
	TArray<UObject*> ReferencedObjects;

private:
	FSubsystemCollection<UGameInstanceSubsystem> SubsystemCollection;
	UWorld* World = nullptr;
};
