#pragma once

#include <cstdlib>

#include "Containers/StringConv.h"
#include "Containers/UnrealString.h"
#include "CoreTypes.h"

/** The engine's platform helpers that a caller here uses. */
struct FPlatformMisc
{
	/** The value of an environment variable, or an empty string when it is not set. */
	static FString GetEnvironmentVariable(const TCHAR* VariableName)
	{
		const char* const Value = std::getenv(TCHAR_TO_UTF8(VariableName));
		return Value ? FString(UTF8_TO_TCHAR(Value)) : FString();
	}
};
