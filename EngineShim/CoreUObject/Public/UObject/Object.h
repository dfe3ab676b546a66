#pragma once

// The base class of every engine object.
//
// Lifetime, as in the engine: NewObject creates an object and registers it in the global object
// array. A garbage collection (CollectGarbage) destroys every object that no root reaches. Roots are
// the root set (AddToRoot), what FGCObjects report, class default objects and the reflection objects
// (classes, structs, enums, functions), which live for the whole process, and the transient package.
// An object reaches its class, its outer, the objects its UPROPERTY members point at (also inside
// arrays, maps and structs) and what its class's static AddReferencedObjects reports; a plain UObject*
// member or a weak pointer keeps nothing alive. MarkAsGarbage makes an object unreachable at once:
// IsValid() is false for it, weak pointers and dynamic delegate bindings no longer reach it, and the
// next collection clears the reflected references to it and destroys it (unless it is still the outer
// or class of a live object).

#include "CoreMinimal.h"
#include "UObject/ObjectMacros.h"
#include "UObject/Script.h"

class UClass;
class UFunction;
class UPackage;
class UWorld;
class FReferenceCollector;

class COREUOBJECT_API UObject
{
	DECLARE_CLASS(UObject, UObject, CLASS_Abstract | CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UObject();
	virtual ~UObject();

	UObject(const UObject&) = delete;
	UObject(UObject&&) = delete;

	/** The class this object is an instance of. */
	UClass* GetClass() const { return ClassPrivate; }
	/** The object this one lives in; null only for packages. */
	UObject* GetOuter() const { return OuterPrivate; }
	FName GetFName() const { return NamePrivate; }
	FString GetName() const { return NamePrivate.ToString(); }
	/** "/Script/Package.Object", with ':' before a subobject of an object that lives in a package. */
	FString GetPathName(const UObject* StopOuter = nullptr) const;
	/** The package at the end of the outer chain (the object itself when it is a package). */
	UPackage* GetPackage() const;
	UPackage* GetOutermost() const { return GetPackage(); }
	/** The object's index in the global object array. */
	uint32 GetUniqueID() const { return static_cast<uint32>(InternalIndex); }

	EObjectFlags GetFlags() const { return ObjectFlags; }
	bool HasAnyFlags(const EObjectFlags FlagsToCheck) const { return (ObjectFlags & FlagsToCheck) != 0; }
	void SetFlags(const EObjectFlags NewFlags) { ObjectFlags |= NewFlags; }
	void ClearFlags(const EObjectFlags FlagsToClear) { ObjectFlags &= ~FlagsToClear; }

	/** True when this object's class is SomeBase or derives from it. */
	bool IsA(const UClass* SomeBase) const;
	template <typename OtherClassType>
	bool IsA() const
	{
		return IsA(OtherClassType::StaticClass());
	}

	/** Keeps the object, and what it references, through garbage collections until RemoveFromRoot. */
	void AddToRoot() { bRooted = true; }
	void RemoveFromRoot() { bRooted = false; }
	bool IsRooted() const { return bRooted; }

	/**
	 * Marks the object for destruction by the next CollectGarbage; it stops being valid at once.
	 * Fatal for a rooted object, as in the engine.
	 */
	void MarkAsGarbage();
	/** Takes back MarkAsGarbage before a collection has run. */
	void ClearGarbage();

	/** Runs BeginDestroy once; false when it already ran. */
	bool ConditionalBeginDestroy();
	/** Called once before the object is deleted, while everything it refers to still exists. */
	virtual void BeginDestroy();
	/** Called once after every object of the same collection has begun to be destroyed, just before deletion. */
	virtual void FinishDestroy();

	/**
	 * Reports to the garbage collector the objects InThis holds outside reflected properties. A class
	 * that holds some declares its own, reports them and calls Super's; the collector calls the one of
	 * the object's class.
	 */
	static void AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector);

	/** The world this object is in: by default its outer's, so null for an object outside any world. */
	virtual UWorld* GetWorld() const;

	/** The function of this object's class with that name, or null. */
	UFunction* FindFunction(FName InName) const;
	UFunction* FindFunctionChecked(FName InName) const;
	/** Calls a reflected function with its parameter block (laid out as its parameter properties say). */
	virtual void ProcessEvent(UFunction* Function, void* Parms);

private:
	friend struct FUObjectInternals;

	UClass* ClassPrivate = nullptr;
	FName NamePrivate;
	UObject* OuterPrivate = nullptr;
	EObjectFlags ObjectFlags = RF_NoFlags;
	int32 InternalIndex = INDEX_NONE;
	bool bRooted = false;
};

/** True for a live object that is not marked as garbage. */
COREUOBJECT_API bool IsValid(const UObject* Test);

// Dynamic delegates need UObject complete; they are available wherever UObject is.
#include "UObject/DynamicDelegates.h"
