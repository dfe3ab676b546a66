#pragma once

#include "CoreMinimal.h"
#include "Templates/Casts.h"
#include "UObject/Class.h"

class USubsystem;

/** The subsystems of one owner: one instance of each non-abstract subclass of a base type. */
class ENGINE_API FSubsystemCollectionBase
{
public:
	/** Creates and initialises every subsystem class whose default object agrees to be created for NewOuter. */
	void Initialize(UObject* NewOuter);
	/** Deinitialises every subsystem and lets it go; the next garbage collection destroys it. */
	void Deinitialize();

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
