#pragma once

// Programming-error checks. They stop the process with a message, as the engine's do in
// development builds; plugin code never uses them for user input.

#include "HAL/Platform.h"

#include <type_traits>

namespace UE::Core::Private
{
	[[noreturn]] CORE_API void OnCheckFailed(const char* Expression, const char* File, int Line);
	CORE_API bool OnEnsureFailed(const char* Expression, const char* File, int Line);
	[[noreturn]] CORE_API void OnLowLevelFatalError(const char* File, int Line, const TCHAR* Message);
}

#define check(Expr) do { if (!(Expr)) { ::UE::Core::Private::OnCheckFailed(#Expr, __FILE__, __LINE__); } } while (false)
#define checkf(Expr, ...) check(Expr)
#define checkNoEntry() ::UE::Core::Private::OnCheckFailed("checkNoEntry", __FILE__, __LINE__)
#define verify(Expr) check(Expr)
#define ensure(Expr) ((Expr) || ::UE::Core::Private::OnEnsureFailed(#Expr, __FILE__, __LINE__))
#define ensureMsgf(Expr, ...) ensure(Expr)

/**
 * Stops the process with a formatted message, in every build (a Fatal log line becomes one when the
 * log is compiled out). Format must be a TCHAR array, as in the engine; used where FString is known.
 */
#define LowLevelFatalError(Format, ...) \
	{ \
		static_assert(std::is_array_v<std::remove_reference_t<decltype(Format)>>, "Formatting string must be a TCHAR array."); \
		::UE::Core::Private::OnLowLevelFatalError(__FILE__, __LINE__, *FString::Printf(Format, ##__VA_ARGS__)); \
	}
