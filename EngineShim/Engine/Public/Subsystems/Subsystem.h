#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "Subsystem.generated.h"

class FSubsystemCollectionBase;

/**
 * An object whose life follows another's: the engine creates one instance of each subsystem
 * class with its owner (a game instance, for UGameInstanceSubsystem) and destroys it with it.
 */
UCLASS(Abstract)
class ENGINE_API USubsystem : public UObject
{
	GENERATED_BODY()

public:
	USubsystem();

	/** Asked of the class default object before the subsystem is created for Outer; true by default. */
	virtual bool ShouldCreateSubsystem(UObject* Outer) const;
	/** Called once the subsystem exists, with the collection that owns it. */
	virtual void Initialize(FSubsystemCollectionBase& Collection);
	/** Called when the owner shuts down, before the subsystem is destroyed. */
	virtual void Deinitialize();

private:
	friend class FSubsystemCollectionBase;
	FSubsystemCollectionBase* InternalOwningSubsystem = nullptr;
};
