#pragma once

#include "CoreMinimal.h"
#include "Logging/LogMacros.h"

/** The one log category of the plugin: request URLs and bodies at Log, failed requests at Error. */
TALVANE_API DECLARE_LOG_CATEGORY_EXTERN(TalvaneLog, Log, All);
