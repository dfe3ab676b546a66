#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "Engine.generated.h"

class UGameInstance;
class UWorld;

/**
 * What the engine knows of one world it runs: the world and the game instance that plays in it. The
 * engine keeps both alive as long as the context exists (FWorldContext::AddReferencedObjects).
 */
struct ENGINE_API FWorldContext
{
	UWorld* World() const { return ThisCurrentWorld; }
	void SetCurrentWorld(UWorld* InWorld) { ThisCurrentWorld = InWorld; }

	/** The game instance that created this context; null for a context no game instance owns. */
	UGameInstance* OwningGameInstance = nullptr;

private:
	UWorld* ThisCurrentWorld = nullptr;
};

/**
 * The engine: the outer of every game instance, and the owner of the world contexts through which
 * it keeps game instances and their worlds alive. The stand-in keeps only that part of it.
 */
UCLASS(Abstract, Transient)
class ENGINE_API UEngine : public UObject
{
	GENERATED_BODY()

public:
	UEngine();
	~UEngine() override;

	/** Adds a world context; the engine keeps it until DestroyWorldContext. */
	FWorldContext& CreateNewWorldContext();
	/** Forgets the context of InWorld, so the world and its game instance may be collected. */
	void DestroyWorldContext(UWorld* InWorld);
	/** The context of InWorld, or null. */
	FWorldContext* GetWorldContextFromWorld(const UWorld* InWorld);
	int32 GetNumWorldContexts() const { return WorldList.Num(); }

	/** Reports the world and the game instance of every world context. */
	static void AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector);

private:
	TArray<FWorldContext*> WorldList;
};

/** The engine of a standalone game (the kind of GEngine a packaged game runs). */
UCLASS(Transient)
class ENGINE_API UGameEngine : public UEngine
{
	GENERATED_BODY()

public:
	UGameEngine();
};

/**
 * The engine object, made at start-up and kept for the whole process (rooted). The stand-in makes it
 * when the engine's library loads.
 */
extern ENGINE_API UEngine* GEngine;
