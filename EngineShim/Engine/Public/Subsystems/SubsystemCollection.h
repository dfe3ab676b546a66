#pragma once

#include "CoreMinimal.h"
#include "Templates/Casts.h"
#include "UObject/Class.h"

class FReferenceCollector;
class USubsystem;

/** The subsystems of one owner: one instance of each non-abstract subclass of a base type. */
class ENGINE_API FSubsystemCollectionBase
{
public:
	/** Creates and initialises every subsystem class whose default object agrees to be created for NewOuter. */
	void Initialize(UObject* NewOuter);
	/**
	 * Deinitialises every subsystem and forgets it; it destroys nothing. A subsystem nothing else
	 * references goes in a later garbage collection; until then weak pointers to it stay valid.
	 */
	void Deinitialize();

	/** Reports the subsystems to the collector; the owner calls it from its own AddReferencedObjects. */
	void AddReferencedObjects(UObject* Referencer, FReferenceCollector& Collector);

	UObject* GetOuter() const { return Outer; }

protected:
	explicit FSubsystemCollectionBase(UClass* InBaseType);

	/** The subsystem of exactly that class or, failing that, the first one derived from it. */
	USubsystem* GetSubsystemInternal(UClass* SubsystemClass) const;

private:
	USubsystem* AddAndInitializeSubsystem(UClass* SubsystemClass);

	TMap<UClass*, USubsystem*> SubsystemMap;
	UObject* Outer = nullptr;
	UClass* BaseType;
};

template <typename TBaseType>
class FSubsystemCollection : public FSubsystemCollectionBase
{
public:
	FSubsystemCollection()
		: FSubsystemCollectionBase(TBaseType::StaticClass())
	{
	}

	template <typename TSubsystemClass>
	TSubsystemClass* GetSubsystem(UClass* SubsystemClass) const
	{
		return Cast<TSubsystemClass>(GetSubsystemInternal(SubsystemClass));
	}
};
