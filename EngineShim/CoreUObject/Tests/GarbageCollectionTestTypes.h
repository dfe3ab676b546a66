#pragma once

// Types that hold objects in each way the garbage collector follows, and in ways it does not.

#include "CoreMinimal.h"
#include "ReflectionTestTypes.h"
#include "UObject/GCObject.h"
#include "UObject/Object.h"
#include "UObject/WeakObjectPtr.h"
#include "GarbageCollectionTestTypes.generated.h"

/** A struct with an object reference, as a member and as an array element. */
USTRUCT()
struct FTestHeldEntry
{
	GENERATED_BODY()

	UPROPERTY()
	UTestListener* Listener = nullptr;

	UPROPERTY()
	int32 Number = 0;
};

/** Holds listeners through every kind of reference. */
UCLASS()
class UTestHolder : public UObject
{
	GENERATED_BODY()

public:
	UPROPERTY()
	UTestListener* Single = nullptr;

	UPROPERTY()
	TArray<UTestListener*> Many;

	UPROPERTY()
	TMap<FString, UTestListener*> ByName;

	UPROPERTY()
	TMap<UTestListener*, int32> Counts;

	UPROPERTY()
	FTestHeldEntry Entry;

	UPROPERTY()
	TArray<FTestHeldEntry> Entries;

	/** Reported by AddReferencedObjects alone. */
	UTestListener* Reported = nullptr;
	/** Not reflected and not reported: keeps nothing alive. */
	UTestListener* Plain = nullptr;
	/** Keeps nothing alive either. */
	TWeakObjectPtr<UTestListener> Weak;

	static void AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector);
	void FinishDestroy() override;

	/** Counts FinishDestroy calls of all holders. */
	static int32 FinishedCount;
};

/** A plain C++ object that keeps one listener alive. */
class FTestListenerKeeper : public FGCObject
{
public:
	UTestListener* Kept = nullptr;

	void AddReferencedObjects(FReferenceCollector& Collector) override { Collector.AddReferencedObject(Kept); }
	FString GetReferencerName() const override { return TEXT("FTestListenerKeeper"); }
};
