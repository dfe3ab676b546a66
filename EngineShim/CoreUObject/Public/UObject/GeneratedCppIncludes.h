#pragma once

// What the header tool's .gen.cpp files need.

#include "CoreUObject.h"
#include "UObject/CodeGenPropertyFactory.h"
#include "UObject/ScriptMacros.h"
