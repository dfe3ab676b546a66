#include "Engine/World.h"

UWorld::UWorld() = default;

UWorld* UWorld::GetWorld() const
{
	return const_cast<UWorld*>(this);
}
