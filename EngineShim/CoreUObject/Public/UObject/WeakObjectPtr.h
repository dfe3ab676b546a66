#pragma once

#include "CoreMinimal.h"

class UObject;

/**
 * A pointer to an object that does not keep it alive: it remembers the object's slot in the
 * object array and that slot's serial number, so it reads null once the object is destroyed
 * and, unless asked otherwise, once it is marked as garbage.
 */
struct COREUOBJECT_API FWeakObjectPtr
{
	FWeakObjectPtr() = default;
	FWeakObjectPtr(const UObject* Object) { *this = Object; }

	FWeakObjectPtr& operator=(const UObject* Object);
	void Reset();

	UObject* Get(bool bEvenIfGarbage = false) const;
	bool IsValid(bool bEvenIfGarbage = false) const { return Get(bEvenIfGarbage) != nullptr; }
	/** True when it once pointed at an object that is gone (or marked as garbage). */
	bool IsStale(bool bIncludingGarbage = true) const;

	bool operator==(const FWeakObjectPtr& Other) const
	{
		return ObjectIndex == Other.ObjectIndex && ObjectSerialNumber == Other.ObjectSerialNumber;
	}
	bool operator!=(const FWeakObjectPtr& Other) const { return !(*this == Other); }

private:
	int32 ObjectIndex = INDEX_NONE;
	int32 ObjectSerialNumber = 0;
};
