#pragma once

// What the garbage collector asks of code that holds objects outside reflected properties: a
// reference collector that is told each object held, and FGCObject, the base of a non-UObject that
// holds objects (its AddReferencedObjects runs in every collection and makes what it reports a root).

#include "CoreMinimal.h"

class UObject;

/**
 * Told, during a garbage collection, which objects a root or a reachable object holds; each one it
 * is told of stays alive. A reference to an object marked as garbage is cleared instead (the engine
 * does so for every reference it may change), so the object can go.
 */
class COREUOBJECT_API FReferenceCollector
{
public:
	virtual ~FReferenceCollector() = default;

	/** Keeps Object alive; sets it to null when it is marked as garbage. */
	void AddReferencedObject(UObject*& Object, const UObject* ReferencingObject = nullptr);

	template <typename UObjectType>
	void AddReferencedObject(UObjectType*& Object, const UObject* ReferencingObject = nullptr)
	{
		static_assert(std::is_base_of_v<UObject, UObjectType>, "AddReferencedObject takes pointers to UObjects");
		UObject* Reference = Object;
		AddReferencedObject(Reference, ReferencingObject);
		Object = static_cast<UObjectType*>(Reference);
	}

	template <typename UObjectType>
	void AddReferencedObjects(TArray<UObjectType*>& ObjectArray, const UObject* ReferencingObject = nullptr)
	{
		for (UObjectType*& Object : ObjectArray)
		{
			AddReferencedObject(Object, ReferencingObject);
		}
	}

	/** Keeps every key and value of a map alive (the engine's form for a map whose keys never change). */
	template <typename KeyType, typename ValueType>
	void AddStableReferenceMap(TMap<KeyType*, ValueType*>& Map)
	{
		for (TPair<KeyType*, ValueType*>& Pair : Map)
		{
			UObject* Key = Pair.Key;
			AddReferencedObject(Key);
			AddReferencedObject(Pair.Value);
		}
	}

protected:
	/** Called for each non-null reference the collector is told of, garbage or not. */
	virtual void HandleObjectReference(UObject*& Object, const UObject* ReferencingObject) = 0;
};

/**
 * The base of an object outside the object system that keeps objects alive: while it exists, every
 * garbage collection calls its AddReferencedObjects, and what that reports is kept.
 */
class COREUOBJECT_API FGCObject
{
public:
	FGCObject();
	FGCObject(const FGCObject& Other);
	FGCObject& operator=(const FGCObject&) { return *this; }
	virtual ~FGCObject();

	/** Reports, through Collector, every object this holds. */
	virtual void AddReferencedObjects(FReferenceCollector& Collector) = 0;
	/** A name for this referencer in the engine's reference reports. */
	virtual FString GetReferencerName() const = 0;

	/** Calls AddReferencedObjects of every FGCObject alive; the collector's roots. */
	static void AddAllReferencedObjects(FReferenceCollector& Collector);
};
