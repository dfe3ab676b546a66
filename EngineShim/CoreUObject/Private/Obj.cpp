#include "UObject/Object.h"

#include "Templates/Casts.h"
#include "UObject/Class.h"
#include "UObject/Package.h"
#include "UObject/UObjectGlobals.h"
#include "UObjectArray.h"

DEFINE_LOG_CATEGORY_STATIC(LogUObjectGlobals, Log, All);

IMPLEMENT_CORE_INTRINSIC_CLASS(UObject)
IMPLEMENT_CORE_INTRINSIC_CLASS(UPackage)

FUObjectArray& FUObjectArray::Get()
{
	static FUObjectArray* Array = new FUObjectArray();
	return *Array;
}

int32 FUObjectArray::Allocate(UObject* Object)
{
	int32 Index;
	if (FreeSlots.Num() > 0)
	{
		Index = FreeSlots.Pop(false);
	}
	else
	{
		Index = Items.AddDefaulted();
	}
	FUObjectItem& Item = Items[Index];
	Item.Object = Object;
	Item.SerialNumber = NextSerialNumber++;
	Item.bGarbage = false;
	return Index;
}

void FUObjectArray::Free(const int32 Index)
{
	if (Items.IsValidIndex(Index))
	{
		Items[Index] = FUObjectItem();
		FreeSlots.Add(Index);
	}
}

FUObjectItem* FUObjectArray::IndexToObject(const int32 Index)
{
	return Items.IsValidIndex(Index) ? &Items[Index] : nullptr;
}

FPendingConstruction*& FUObjectInternals::PendingConstruction()
{
	static thread_local FPendingConstruction* Pending = nullptr;
	return Pending;
}

bool FUObjectInternals::IsGarbage(const UObject* Object)
{
	const FUObjectItem* Item = FUObjectArray::Get().IndexToObject(Object->InternalIndex);
	return Item && Item->bGarbage;
}

UObject* FUObjectInternals::Construct(UObject* (*ClassConstructor)(), UClass* Class, UObject* Outer, FName Name, EObjectFlags Flags)
{
	FPendingConstruction Pending{Class, Outer, Name, Flags};
	PendingConstruction() = &Pending;
	UObject* Object = ClassConstructor();
	// A class whose constructor never reached UObject's would leave this set.
	check(PendingConstruction() == nullptr);
	return Object;
}

UObject::UObject()
{
	FPendingConstruction*& Pending = FUObjectInternals::PendingConstruction();
	if (Pending)
	{
		ClassPrivate = Pending->Class;
		OuterPrivate = Pending->Outer;
		NamePrivate = Pending->Name;
		ObjectFlags = Pending->Flags;
		Pending = nullptr;
	}
	InternalIndex = FUObjectArray::Get().Allocate(this);
}

UObject::~UObject()
{
	FUObjectArray::Get().Free(InternalIndex);
}

FString UObject::GetPathName(const UObject* StopOuter) const
{
	if (this == StopOuter)
	{
		return FString();
	}
	FString Result;
	if (OuterPrivate && OuterPrivate != StopOuter)
	{
		Result = OuterPrivate->GetPathName(StopOuter);
		const bool bSubobject = !OuterPrivate->IsA<UPackage>() && OuterPrivate->GetOuter() && OuterPrivate->GetOuter()->IsA<UPackage>();
		Result += bSubobject ? TEXT(":") : TEXT(".");
	}
	Result += GetName();
	return Result;
}

UPackage* UObject::GetPackage() const
{
	const UObject* Top = this;
	while (Top->OuterPrivate)
	{
		Top = Top->OuterPrivate;
	}
	return const_cast<UPackage*>(Cast<UPackage>(Top));
}

bool UObject::IsA(const UClass* SomeBase) const
{
	return ClassPrivate && ClassPrivate->IsChildOf(SomeBase);
}

void UObject::MarkAsGarbage()
{
	check(!IsRooted());
	if (FUObjectItem* Item = FUObjectArray::Get().IndexToObject(InternalIndex))
	{
		Item->bGarbage = true;
	}
}

void UObject::ClearGarbage()
{
	if (FUObjectItem* Item = FUObjectArray::Get().IndexToObject(InternalIndex))
	{
		Item->bGarbage = false;
	}
}

bool UObject::ConditionalBeginDestroy()
{
	if (HasAnyFlags(RF_BeginDestroyed))
	{
		return false;
	}
	SetFlags(RF_BeginDestroyed);
	BeginDestroy();
	return true;
}

void UObject::BeginDestroy()
{
}

void UObject::FinishDestroy()
{
}

void UObject::AddReferencedObjects(UObject*, FReferenceCollector&)
{
}

UWorld* UObject::GetWorld() const
{
	return OuterPrivate ? OuterPrivate->GetWorld() : nullptr;
}

UFunction* UObject::FindFunction(const FName InName) const
{
	return ClassPrivate ? ClassPrivate->FindFunctionByName(InName) : nullptr;
}

UFunction* UObject::FindFunctionChecked(const FName InName) const
{
	UFunction* Function = FindFunction(InName);
	if (!Function)
	{
		UE_LOG(LogUObjectGlobals, Fatal, TEXT("Failed to find function %s in %s"), *InName.ToString(), *GetPathName());
	}
	return Function;
}

void UObject::ProcessEvent(UFunction* Function, void* Parms)
{
	if (!Function || !Function->GetNativeFunc())
	{
		UE_LOG(LogUObjectGlobals, Error, TEXT("ProcessEvent on %s: %s has no native code to call"), *GetPathName(),
			Function ? *Function->GetName() : TEXT("a null function"));
		return;
	}
	void* ReturnValueAddress = Function->ReturnValueOffset != 0xffff ? static_cast<uint8*>(Parms) + Function->ReturnValueOffset : nullptr;
	FFrame Stack(this, Function, Parms);
	Function->Invoke(this, Stack, ReturnValueAddress);
}

void CastLogError(const FString& FromPath, const UClass* ToClass)
{
	UE_LOG(LogUObjectGlobals, Fatal, TEXT("Cast of %s to %s failed"), *FromPath, *ToClass->GetName());
}

bool IsValid(const UObject* Test)
{
	return Test != nullptr && !FUObjectInternals::IsGarbage(Test);
}

FWeakObjectPtr& FWeakObjectPtr::operator=(const UObject* Object)
{
	const FUObjectItem* Item = Object ? FUObjectArray::Get().IndexToObject(FUObjectInternals::GetIndex(Object)) : nullptr;
	if (Item && Item->Object == Object)
	{
		ObjectIndex = FUObjectInternals::GetIndex(Object);
		ObjectSerialNumber = Item->SerialNumber;
	}
	else
	{
		Reset();
	}
	return *this;
}

void FWeakObjectPtr::Reset()
{
	ObjectIndex = INDEX_NONE;
	ObjectSerialNumber = 0;
}

UObject* FWeakObjectPtr::Get(const bool bEvenIfGarbage) const
{
	const FUObjectItem* Item = FUObjectArray::Get().IndexToObject(ObjectIndex);
	if (!Item || Item->SerialNumber != ObjectSerialNumber || !Item->Object || (Item->bGarbage && !bEvenIfGarbage))
	{
		return nullptr;
	}
	return Item->Object;
}

bool FWeakObjectPtr::IsStale(const bool bIncludingGarbage) const
{
	return ObjectSerialNumber != 0 && Get(!bIncludingGarbage) == nullptr;
}
