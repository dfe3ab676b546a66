#pragma once

// Helpers of the generated function thunks.

#include "UObject/ObjectMacros.h"
#include "UObject/Script.h"
#include "UObject/Stack.h"

#define P_THIS_OBJECT (Context)
#define P_THIS_CAST(ClassType) ((ClassType*)P_THIS_OBJECT)
#define P_THIS P_THIS_CAST(ThisClass)
