#pragma once

#include "CoreMinimal.h"
#include "Subsystems/Subsystem.h"
#include "GameInstanceSubsystem.generated.h"

class UGameInstance;

/** A subsystem that every game instance creates for itself: derive from it and it exists. */
UCLASS(Abstract)
class ENGINE_API UGameInstanceSubsystem : public USubsystem
{
	GENERATED_BODY()

public:
	UGameInstanceSubsystem();

	/** The game instance this subsystem belongs to. */
	UGameInstance* GetGameInstance() const;
};
