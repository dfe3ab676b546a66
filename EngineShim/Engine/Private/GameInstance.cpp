#include "Engine/GameInstance.h"

UGameInstance::UGameInstance() = default;

void UGameInstance::Init()
{
	SubsystemCollection.Initialize(this);
}

void UGameInstance::Shutdown()
{
	SubsystemCollection.Deinitialize();
}
