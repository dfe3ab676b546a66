#pragma once

// The engine's minimal include set: basic types, strings, containers, pointers, delegates,
// names, text, GUIDs and logging.

#include "CoreTypes.h"
#include "Containers/Array.h"
#include "Containers/Map.h"
#include "Containers/StringConv.h"
#include "Containers/UnrealString.h"
#include "CoreGlobals.h"
#include "Delegates/Delegate.h"
#include "Internationalization/Text.h"
#include "Math/NumericLimits.h"
#include "Math/UnrealMathUtility.h"
#include "Logging/LogMacros.h"
#include "Misc/CString.h"
#include "Misc/Char.h"
#include "Misc/Guid.h"
#include "Misc/OutputDevice.h"
#include "Serialization/Archive.h"
#include "Templates/Function.h"
#include "Templates/SharedPointer.h"
#include "Templates/Tuple.h"
#include "Templates/TypeHash.h"
#include "Templates/UnrealTemplate.h"
#include "UObject/NameTypes.h"
