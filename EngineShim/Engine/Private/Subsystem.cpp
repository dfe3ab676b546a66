#include "Subsystems/Subsystem.h"

#include "Engine/GameInstance.h"
#include "Subsystems/GameInstanceSubsystem.h"

USubsystem::USubsystem() = default;

bool USubsystem::ShouldCreateSubsystem(UObject*) const
{
	return true;
}

void USubsystem::Initialize(FSubsystemCollectionBase&)
{
}

void USubsystem::Deinitialize()
{
}

UGameInstanceSubsystem::UGameInstanceSubsystem() = default;

UGameInstance* UGameInstanceSubsystem::GetGameInstance() const
{
	return Cast<UGameInstance>(GetOuter());
}
