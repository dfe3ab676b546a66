#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"

/** The object as a To, or null when it is null or not a To. */
template <typename To, typename From>
FORCEINLINE To* Cast(From* Src)
{
	return Src && Src->IsA(To::StaticClass()) ? static_cast<To*>(Src) : nullptr;
}

template <typename To, typename From>
FORCEINLINE const To* Cast(const From* Src)
{
	return Src && Src->IsA(To::StaticClass()) ? static_cast<const To*>(Src) : nullptr;
}
