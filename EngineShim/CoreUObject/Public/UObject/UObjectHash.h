#pragma once

// Finding objects by what they are and where they live.

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/Object.h"

class UPackage;

/**
 * Calls Operation for each live object in the package (with bIncludeNestedObjects, also those
 * inside objects of the package) until it returns false. Reflection objects of loaded modules
 * are built first, so a package lists every type its module declares.
 */
COREUOBJECT_API void ForEachObjectWithPackage(const UPackage* Outer, TFunctionRef<bool(UObject*)> Operation,
	bool bIncludeNestedObjects = true, EObjectFlags ExclusionFlags = RF_NoFlags);

COREUOBJECT_API void GetObjectsWithPackage(const UPackage* Outer, TArray<UObject*>& Results, bool bIncludeNestedObjects = true,
	EObjectFlags ExclusionFlags = RF_NoFlags);

/** The classes derived from ClassToLookFor (all descendants, or only direct children). */
COREUOBJECT_API void GetDerivedClasses(const UClass* ClassToLookFor, TArray<UClass*>& Results, bool bRecursive = true);
