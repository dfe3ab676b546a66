#pragma once

// The engine's limits of the sized integer types that the plugin uses.

#include "CoreTypes.h"

#define MAX_int32 ((int32)0x7fffffff)
#define MAX_int64 ((int64)0x7fffffffffffffffLL)
