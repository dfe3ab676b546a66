// Must not compile: the engine's FString::Printf and UE_LOG take only a TCHAR array as their format.
// A CTest test builds this file and passes only when the compiler refuses it for that reason.

#include "CoreMinimal.h"

FString FormatHeldInString(const FString& Format, const FString& Value)
{
#if TALVANE_PRINTF_CASE == 1
	return FString::Printf(*Format, *Value);
#else
	UE_LOG(LogTemp, Log, *Format, *Value);
	return Value;
#endif
}
