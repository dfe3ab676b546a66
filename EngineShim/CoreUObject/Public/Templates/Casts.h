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

/** Reports a failed CastChecked; fatal, as in the engine (CastLogError). */
COREUOBJECT_API void CastLogError(const FString& FromPath, const UClass* ToClass);

/** The object as a To; fatal when it is null or not a To. */
template <typename To, typename From>
To* CastChecked(From* Src)
{
	To* Result = Cast<To>(Src);
	if (!Result)
	{
		CastLogError(Src ? *Src->GetPathName() : TEXT("nullptr"), To::StaticClass());
	}
	return Result;
}
