#pragma once

#include "CoreMinimal.h"
#include "Subsystems/GameInstanceSubsystem.h"
#include "Subsystems/SubsystemCollection.h"
#include "UObject/Object.h"
#include "GameInstance.generated.h"

/**
 * One running game. Init creates its subsystems (every non-abstract UGameInstanceSubsystem class
 * whose default object agrees); Shutdown deinitialises them and lets them go.
 */
UCLASS(Transient, BlueprintType, Blueprintable)
class ENGINE_API UGameInstance : public UObject
{
	GENERATED_BODY()

public:
	UGameInstance();

	virtual void Init();
	virtual void Shutdown();

	/** The subsystem of that class, or null when none was created. */
	template <class TSubsystemClass>
	TSubsystemClass* GetSubsystem() const
	{
		return SubsystemCollection.GetSubsystem<TSubsystemClass>(TSubsystemClass::StaticClass());
	}

private:
	FSubsystemCollection<UGameInstanceSubsystem> SubsystemCollection;
};
