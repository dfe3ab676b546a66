#pragma once

#include "CoreMinimal.h"

/** The Json module's log: getter warnings and value-kind errors are written here. */
JSON_API DECLARE_LOG_CATEGORY_EXTERN(LogJson, Log, All)
