#include "Subsystems/SubsystemCollection.h"

#include "Subsystems/Subsystem.h"
#include "UObject/GCObject.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UObjectHash.h"

DEFINE_LOG_CATEGORY_STATIC(LogSubsystemCollection, Log, All);

FSubsystemCollectionBase::FSubsystemCollectionBase(UClass* InBaseType)
	: BaseType(InBaseType)
{
}

void FSubsystemCollectionBase::Initialize(UObject* NewOuter)
{
	if (Outer != nullptr)
	{
		UE_LOG(LogSubsystemCollection, Error, TEXT("The %s collection of %s is already initialised"), *BaseType->GetName(),
			*Outer->GetName());
		return;
	}
	Outer = NewOuter;
	TArray<UClass*> SubsystemClasses;
	GetDerivedClasses(BaseType, SubsystemClasses, true);
	for (UClass* SubsystemClass : SubsystemClasses)
	{
		AddAndInitializeSubsystem(SubsystemClass);
	}
}

USubsystem* FSubsystemCollectionBase::AddAndInitializeSubsystem(UClass* SubsystemClass)
{
	if (USubsystem* const* Existing = SubsystemMap.Find(SubsystemClass))
	{
		return *Existing;
	}
	if (SubsystemClass->HasAnyClassFlags(CLASS_Abstract))
	{
		return nullptr;
	}
	const USubsystem* Default = SubsystemClass->GetDefaultObject<USubsystem>();
	if (!Default->ShouldCreateSubsystem(Outer))
	{
		return nullptr;
	}
	USubsystem* Subsystem = NewObject<USubsystem>(Outer, SubsystemClass);
	SubsystemMap.Add(SubsystemClass, Subsystem);
	Subsystem->InternalOwningSubsystem = this;
	Subsystem->Initialize(*this);
	return Subsystem;
}

void FSubsystemCollectionBase::Deinitialize()
{
	for (const TPair<UClass*, USubsystem*>& Pair : SubsystemMap)
	{
		USubsystem* Subsystem = Pair.Value;
		Subsystem->Deinitialize();
		Subsystem->InternalOwningSubsystem = nullptr;
	}
	SubsystemMap.Empty();
	Outer = nullptr;
}

void FSubsystemCollectionBase::AddReferencedObjects(UObject*, FReferenceCollector& Collector)
{
	Collector.AddStableReferenceMap(SubsystemMap);
}

USubsystem* FSubsystemCollectionBase::GetSubsystemInternal(UClass* SubsystemClass) const
{
	if (USubsystem* const* Exact = SubsystemMap.Find(SubsystemClass))
	{
		return *Exact;
	}
	for (const TPair<UClass*, USubsystem*>& Pair : SubsystemMap)
	{
		if (Pair.Key->IsChildOf(SubsystemClass))
		{
			return Pair.Value;
		}
	}
	return nullptr;
}
