#pragma once

// The global object array: one slot per live object, with a serial number that changes when
// the slot is reused, so weak pointers can tell a dead object from a new one in the same slot.
// Objects are created and destroyed on the game thread only, as in the engine.

#include "CoreMinimal.h"
#include "UObject/Object.h"

struct FUObjectItem
{
	UObject* Object = nullptr;
	int32 SerialNumber = 0;
	bool bGarbage = false;
};

class FUObjectArray
{
public:
	/** The process-wide array; never destroyed, so objects alive at exit stay reachable. */
	static FUObjectArray& Get();

	int32 Allocate(UObject* Object);
	void Free(int32 Index);
	FUObjectItem* IndexToObject(int32 Index);
	/** One past the highest slot ever used; slots of destroyed objects hold null. */
	int32 Num() const { return Items.Num(); }

private:
	TArray<FUObjectItem> Items;
	TArray<int32> FreeSlots;
	int32 NextSerialNumber = 1;
};

/** What NewObject hands to the UObject constructor of the object it is making. */
struct FPendingConstruction
{
	UClass* Class = nullptr;
	UObject* Outer = nullptr;
	FName Name;
	EObjectFlags Flags = RF_NoFlags;
};

/** Access to UObject's private state for CoreUObject's own code. */
struct FUObjectInternals
{
	/** Set by NewObject just before it runs a class constructor; taken by UObject's constructor. */
	static FPendingConstruction*& PendingConstruction();

	static void SetClass(UObject* Object, UClass* Class) { Object->ClassPrivate = Class; }
	static void SetOuter(UObject* Object, UObject* Outer) { Object->OuterPrivate = Outer; }
	static int32 GetIndex(const UObject* Object) { return Object->InternalIndex; }
	static bool IsGarbage(const UObject* Object);

	/** Runs the class constructor with the object's identity waiting for UObject's constructor. */
	static UObject* Construct(UObject* (*ClassConstructor)(), UClass* Class, UObject* Outer, FName Name, EObjectFlags Flags);
};

/** Finds a package without building pending reflection objects (used while building them). */
UPackage* FindPackageInternal(const TCHAR* PackageName);
