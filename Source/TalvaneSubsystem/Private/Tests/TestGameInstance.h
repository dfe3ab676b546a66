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

	void Start()
	{
		GameInstance = NewObject<UGameInstance>(GEngine);
		GameInstance->InitializeStandalone();
		World = GameInstance->GetWorld();
	}

	/** Shuts the game instance down (when it is still running) and lets the engine forget it. */
	void End()
	{
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
