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

/**
 * A typed FWeakObjectPtr. As in the engine it casts without knowing T's definition, so a member of
 * a forward-declared class type compiles; UObject classes start with their UObject base, so the
 * cast moves nothing.
 */
template <class T>
struct TWeakObjectPtr
{
	TWeakObjectPtr() = default;
	TWeakObjectPtr(const T* Object) : WeakPtr((const UObject*)Object) {}

	TWeakObjectPtr& operator=(const T* Object)
	{
		WeakPtr = (const UObject*)Object;
		return *this;
	}
	void Reset() { WeakPtr.Reset(); }

	T* Get(const bool bEvenIfGarbage = false) const { return (T*)WeakPtr.Get(bEvenIfGarbage); }
	T* operator->() const { return Get(); }
	T& operator*() const { return *Get(); }
	bool IsValid(const bool bEvenIfGarbage = false) const { return WeakPtr.IsValid(bEvenIfGarbage); }
	bool IsStale(const bool bIncludingGarbage = true) const { return WeakPtr.IsStale(bIncludingGarbage); }
	explicit operator bool() const { return IsValid(); }

	bool operator==(const TWeakObjectPtr& Other) const { return WeakPtr == Other.WeakPtr; }
	bool operator!=(const TWeakObjectPtr& Other) const { return WeakPtr != Other.WeakPtr; }

private:
	FWeakObjectPtr WeakPtr;
};
