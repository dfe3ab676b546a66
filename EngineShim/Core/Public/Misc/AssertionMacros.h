#pragma once

// Programming-error checks. They stop the process with a message, as the engine's do in
// development builds; plugin code never uses them for user input.

#include "HAL/Platform.h"

namespace UE::Core::Private
{
	[[noreturn]] CORE_API void OnCheckFailed(const char* Expression, const char* File, int Line);
	CORE_API bool OnEnsureFailed(const char* Expression, const char* File, int Line);
}

#define check(Expr) do { if (!(Expr)) { ::UE::Core::Private::OnCheckFailed(#Expr, __FILE__, __LINE__); } } while (false)
#define checkf(Expr, ...) check(Expr)
#define checkNoEntry() ::UE::Core::Private::OnCheckFailed("checkNoEntry", __FILE__, __LINE__)
#define verify(Expr) check(Expr)
#define ensure(Expr) ((Expr) || ::UE::Core::Private::OnEnsureFailed(#Expr, __FILE__, __LINE__))
#define ensureMsgf(Expr, ...) ensure(Expr)
