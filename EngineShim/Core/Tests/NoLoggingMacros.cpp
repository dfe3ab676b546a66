// Built with NO_LOGGING 1, as a Test or Shipping game builds every module. Case 0 must compile: the
// engine's logging macros compile to nothing there. Case 1 must not: a category is an empty
// FNoLoggingCategory, with no member to call. Case 2 must not either: a line's arguments are still
// compiled, though nothing is written.

#include "CoreMinimal.h"

DEFINE_LOG_CATEGORY_STATIC(LogNoLoggingMacros, Log, All);

int32 UseTheLogMacros(const FString& Value)
{
	UE_SET_LOG_VERBOSITY(LogTemp, VeryVerbose);
	static_assert(UE_GET_LOG_VERBOSITY(LogTemp) == ELogVerbosity::NoLogging, "no verbosity without a log");
	static_assert(!UE_LOG_ACTIVE(LogTemp, Error), "no line is active without a log");
	UE_LOG(LogNoLoggingMacros, Warning, TEXT("%s"), *Value);
	UE_CLOG(Value.IsEmpty(), LogTemp, Error, TEXT("%d"), Value.Len());
#if TALVANE_NO_LOGGING_CASE == 1
	LogTemp.SetVerbosity(ELogVerbosity::Verbose);
#elif TALVANE_NO_LOGGING_CASE == 2
	UE_LOG(LogTemp, Log, TEXT("%d"), UndeclaredValue);
#endif
	return Value.Len();
}
