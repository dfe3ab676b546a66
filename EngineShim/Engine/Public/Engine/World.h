#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "World.generated.h"

class UGameInstance;

/**
 * The world a game instance plays in. The stand-in has no levels or actors: a world only knows
 * its game instance, which is what world-context lookups need. It is the outer of nothing, and its
 * own GetWorld is itself, as in the engine.
 */
UCLASS()
class ENGINE_API UWorld : public UObject
{
	GENERATED_BODY()

public:
	UWorld();

	UWorld* GetWorld() const final;

	/** The game instance that owns this world (it keeps it alive, as the engine's world does). */
	UGameInstance* GetGameInstance() const { return OwningGameInstance; }
	void SetGameInstance(UGameInstance* NewGI) { OwningGameInstance = NewGI; }

private:
	UPROPERTY()
	UGameInstance* OwningGameInstance = nullptr;
};
