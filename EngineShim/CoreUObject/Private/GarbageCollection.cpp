#include "UObject/GCObject.h"

// Garbage collection by reachability, as the engine's GarbageCollection.cpp does it on the game
// thread: mark every object the roots reach, then destroy the rest (BeginDestroy on all of them,
// then FinishDestroy and deletion). The engine's incremental purge and its clustering change when
// objects go, never which ones.

#include "Templates/Casts.h"
#include "UObject/Class.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UnrealType.h"
#include "UObjectArray.h"

DEFINE_LOG_CATEGORY_STATIC(LogGarbage, Log, All);

namespace
{
	TArray<FGCObject*>& GCObjects()
	{
		// Never destroyed: FGCObjects may be static objects that go after this one would.
		static TArray<FGCObject*>* Objects = new TArray<FGCObject*>();
		return *Objects;
	}

	/** Marks what it is told of as reachable and queues it, so its own references are followed. */
	class FReachabilityCollector final : public FReferenceCollector
	{
	public:
		explicit FReachabilityCollector(const int32 NumSlots) { Reachable.SetNumZeroed(NumSlots); }

		/** Marks an object reachable even when it is garbage (a root, or an outer or class of a live object). */
		void MarkReachable(UObject* Object)
		{
			const int32 Index = FUObjectInternals::GetIndex(Object);
			if (Reachable.IsValidIndex(Index) && !Reachable[Index])
			{
				Reachable[Index] = 1;
				Pending.Add(Object);
			}
		}

		bool IsReachable(const UObject* Object) const
		{
			const int32 Index = FUObjectInternals::GetIndex(Object);
			return Reachable.IsValidIndex(Index) && Reachable[Index] != 0;
		}

		/** Follows references until every reachable object has been visited. */
		void ProcessPending()
		{
			while (Pending.Num() > 0)
			{
				UObject* Object = Pending.Pop(false);
				AddObjectReferences(Object);
			}
		}

	protected:
		void HandleObjectReference(UObject*& Object, const UObject*) override
		{
			if (FUObjectInternals::IsGarbage(Object))
			{
				// The engine clears references to garbage so nothing holds it any more.
				Object = nullptr;
				return;
			}
			MarkReachable(Object);
		}

	private:
		void AddObjectReferences(UObject* Object)
		{
			// An object's class and outer are references the collector never clears.
			if (UClass* Class = Object->GetClass())
			{
				MarkReachable(Class);
			}
			if (UObject* Outer = Object->GetOuter())
			{
				MarkReachable(Outer);
			}
			UClass* Class = Object->GetClass();
			if (!Class)
			{
				return;
			}
			for (TFieldIterator<FProperty> It(Class); It; ++It)
			{
				It->AddReferencedObjectsInValue(It->ContainerPtrToValuePtr<void>(Object), *this, Object);
			}
			if (Class->ClassAddReferencedObjects)
			{
				Class->ClassAddReferencedObjects(Object, *this);
			}
		}

		TArray<uint8> Reachable;
		TArray<UObject*> Pending;
	};

	/** Objects the engine never collects: the root set, objects with KeepFlags, class default objects and reflection objects. */
	bool IsRoot(const UObject* Object, const EObjectFlags KeepFlags)
	{
		return Object->IsRooted() || (KeepFlags != RF_NoFlags && Object->HasAnyFlags(KeepFlags))
			|| Object->HasAnyFlags(RF_ClassDefaultObject) || Object->IsA<UField>();
	}

	int32 OuterDepth(const UObject* Object)
	{
		int32 Depth = 0;
		for (const UObject* Current = Object->GetOuter(); Current; Current = Current->GetOuter())
		{
			++Depth;
		}
		return Depth;
	}

	TArray<UObject*> FindUnreachable(const EObjectFlags KeepFlags)
	{
		FUObjectArray& Array = FUObjectArray::Get();
		FReachabilityCollector Collector(Array.Num());
		for (int32 Index = 0; Index < Array.Num(); ++Index)
		{
			UObject* Object = Array.IndexToObject(Index)->Object;
			if (Object && IsRoot(Object, KeepFlags))
			{
				Collector.MarkReachable(Object);
			}
		}
		FGCObject::AddAllReferencedObjects(Collector);
		Collector.ProcessPending();
		TArray<UObject*> Unreachable;
		for (int32 Index = 0; Index < Array.Num(); ++Index)
		{
			UObject* Object = Array.IndexToObject(Index)->Object;
			if (Object && !Collector.IsReachable(Object))
			{
				Unreachable.Add(Object);
			}
		}
		return Unreachable;
	}
}

void FReferenceCollector::AddReferencedObject(UObject*& Object, const UObject* ReferencingObject)
{
	if (Object)
	{
		HandleObjectReference(Object, ReferencingObject);
	}
}

FGCObject::FGCObject()
{
	GCObjects().Add(this);
}

FGCObject::FGCObject(const FGCObject&)
{
	GCObjects().Add(this);
}

FGCObject::~FGCObject()
{
	GCObjects().RemoveSingleSwap(this);
}

void FGCObject::AddAllReferencedObjects(FReferenceCollector& Collector)
{
	// A copy: an AddReferencedObjects may make or destroy FGCObjects.
	const TArray<FGCObject*> Objects = GCObjects();
	for (FGCObject* Object : Objects)
	{
		Object->AddReferencedObjects(Collector);
	}
}

void CollectGarbage(const EObjectFlags KeepFlags, bool)
{
	TArray<UObject*> Doomed = FindUnreachable(KeepFlags);
	for (UObject* Object : Doomed)
	{
		Object->ConditionalBeginDestroy();
	}
	// Inner objects go before their outers, so no object outlives what it lives in.
	Doomed.Sort([](const UObject* A, const UObject* B) { return OuterDepth(A) > OuterDepth(B); });
	for (UObject* Object : Doomed)
	{
		Object->FinishDestroy();
		Object->SetFlags(RF_FinishDestroyed);
	}
	for (UObject* Object : Doomed)
	{
		delete Object;
	}
	if (Doomed.Num() > 0)
	{
		UE_LOG(LogGarbage, Verbose, TEXT("CollectGarbage destroyed %d objects"), Doomed.Num());
	}
}
