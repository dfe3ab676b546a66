#pragma once

#include "CoreMinimal.h"
#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "Engine/World.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

/**
 * A game instance as a standalone game runs one: made under the engine, with a world. The engine's
 * world context keeps it (and through it its subsystems and registered objects) alive from Start to
 * End, across the frames of a spec's steps; after End the next collection frees it.
 */
struct FTestGameInstance
{
	UGameInstance* GameInstance = nullptr;
	UWorld* World = nullptr;
	/** Objects a test reads after they are free to go (an ended node): rooted until End. */
	TArray<UObject*> Kept;

	template <typename ObjectType>
	ObjectType* Keep(ObjectType* InObject)
	{
		InObject->AddToRoot();
		Kept.Add(InObject);
		return InObject;
	}

	void Start()
	{
		GameInstance = NewObject<UGameInstance>(GEngine);
		GameInstance->InitializeStandalone();
		World = GameInstance->GetWorld();
	}

	/** Shuts the game instance down (when it is still running), lets the engine forget it and unroots what was kept. */
	void End()
	{
		for (UObject* Object : Kept)
		{
			Object->RemoveFromRoot();
		}
		Kept.Empty();
		if (GameInstance && GameInstance->GetWorld())
		{
			GameInstance->Shutdown();
		}
		if (World)
		{
			GEngine->DestroyWorldContext(World);
		}
		GameInstance = nullptr;
		World = nullptr;
	}
};

#endif
