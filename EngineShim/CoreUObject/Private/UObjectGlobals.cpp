#include "UObject/UObjectGlobals.h"

#include <algorithm>

#include "Templates/Casts.h"
#include "UObject/UObjectHash.h"
#include "UObject/UnrealType.h"
#include "UObjectArray.h"

DEFINE_LOG_CATEGORY_STATIC(LogUObjectGlobals, Log, All);

UPackage* FindPackageInternal(const TCHAR* PackageName)
{
	const FName Name(PackageName);
	FUObjectArray& Array = FUObjectArray::Get();
	for (int32 Index = 0; Index < Array.Num(); ++Index)
	{
		UObject* Object = Array.IndexToObject(Index)->Object;
		if (Object && !Object->GetOuter() && Object->GetFName() == Name && Object->IsA<UPackage>())
		{
			return static_cast<UPackage*>(Object);
		}
	}
	return nullptr;
}

UPackage* CreatePackage(const TCHAR* PackageName)
{
	if (UPackage* Existing = FindPackageInternal(PackageName))
	{
		return Existing;
	}
	return NewObject<UPackage>(nullptr, FName(PackageName), RF_Public);
}

UPackage* FindPackage(UObject* InOuter, const TCHAR* PackageName)
{
	ProcessNewlyLoadedUObjects();
	return InOuter ? FindObject<UPackage>(InOuter, PackageName) : FindPackageInternal(PackageName);
}

UPackage* GetTransientPackage()
{
	static UPackage* TransientPackage = nullptr;
	if (!TransientPackage)
	{
		TransientPackage = CreatePackage(TEXT("/Engine/Transient"));
		TransientPackage->SetFlags(RF_Transient);
		// The engine roots it too: objects made without an outer live in it.
		TransientPackage->AddToRoot();
	}
	return TransientPackage;
}

UObject* StaticFindObject(UClass* Class, UObject* InOuter, const TCHAR* Name, const bool bExactClass)
{
	ProcessNewlyLoadedUObjects();
	const FString Path(Name);
	const FName ShortName(Name);
	FUObjectArray& Array = FUObjectArray::Get();
	for (int32 Index = 0; Index < Array.Num(); ++Index)
	{
		const FUObjectItem* Item = Array.IndexToObject(Index);
		UObject* Object = Item->Object;
		if (!Object || Item->bGarbage || (bExactClass ? Object->GetClass() != Class : !Object->IsA(Class)))
		{
			continue;
		}
		if (InOuter ? Object->GetOuter() == InOuter && Object->GetFName() == ShortName : Object->GetPathName() == Path)
		{
			return Object;
		}
	}
	return nullptr;
}

namespace
{
	FName MakeUniqueObjectName(const UClass* Class)
	{
		static TMap<FString, int32>* Counters = new TMap<FString, int32>();
		int32& Counter = Counters->FindOrAdd(Class->GetName());
		return FName(Class->GetName() + TEXT("_") + FString::FromInt(Counter++));
	}
}

UObject* StaticConstructObject_Internal(const UClass* Class, UObject* InOuter, FName Name, const EObjectFlags SetFlags)
{
	check(Class != nullptr && Class->ClassConstructor != nullptr);
	// The engine stops on both: they are programming errors, never the result of input.
	if (Class->HasAnyClassFlags(CLASS_Abstract) && !(SetFlags & RF_ClassDefaultObject))
	{
		UE_LOG(LogUObjectGlobals, Fatal, TEXT("Unable to create new object: %s %s. Creating an instance of an abstract class is not allowed!"),
			*Class->GetName(), *Name.ToString());
	}
	if (InOuter == nullptr && !Class->IsChildOf(UPackage::StaticClass()))
	{
		UE_LOG(LogUObjectGlobals, Fatal, TEXT("Unable to create new object: %s %s. Only packages may have no outer."), *Class->GetName(),
			*Name.ToString());
	}
	if (Name.IsNone())
	{
		Name = MakeUniqueObjectName(Class);
	}
	return FUObjectInternals::Construct(Class->ClassConstructor, const_cast<UClass*>(Class), InOuter, Name, SetFlags);
}

void ForEachObjectWithPackage(const UPackage* Outer, TFunctionRef<bool(UObject*)> Operation, const bool bIncludeNestedObjects,
	const EObjectFlags ExclusionFlags)
{
	ProcessNewlyLoadedUObjects();
	FUObjectArray& Array = FUObjectArray::Get();
	const int32 Count = Array.Num();
	for (int32 Index = 0; Index < Count; ++Index)
	{
		const FUObjectItem* Item = Array.IndexToObject(Index);
		UObject* Object = Item->Object;
		if (!Object || Item->bGarbage || Object == Outer || Object->HasAnyFlags(ExclusionFlags))
		{
			continue;
		}
		const bool bInPackage = bIncludeNestedObjects ? Object->GetPackage() == Outer : Object->GetOuter() == Outer;
		if (bInPackage && !Operation(Object))
		{
			return;
		}
	}
}

void GetObjectsWithPackage(const UPackage* Outer, TArray<UObject*>& Results, const bool bIncludeNestedObjects,
	const EObjectFlags ExclusionFlags)
{
	ForEachObjectWithPackage(Outer, [&Results](UObject* Object)
	{
		Results.Add(Object);
		return true;
	}, bIncludeNestedObjects, ExclusionFlags);
}

void GetDerivedClasses(const UClass* ClassToLookFor, TArray<UClass*>& Results, const bool bRecursive)
{
	ProcessNewlyLoadedUObjects();
	FUObjectArray& Array = FUObjectArray::Get();
	for (int32 Index = 0; Index < Array.Num(); ++Index)
	{
		UClass* Class = Cast<UClass>(Array.IndexToObject(Index)->Object);
		if (Class && Class != ClassToLookFor && (bRecursive ? Class->IsChildOf(ClassToLookFor) : Class->GetSuperClass() == ClassToLookFor))
		{
			Results.Add(Class);
		}
	}
}
