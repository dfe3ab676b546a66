#pragma once

#include "Containers/UnrealString.h"
#include "CoreTypes.h"

class FOutputDeviceRedirector;
class FOutputDevice;
class FConfigCacheIni;

/** The process-wide log. */
extern CORE_API FOutputDeviceRedirector* GLog;
/** The console device that echoes warnings and errors to stderr; remove it from GLog to silence it. */
extern CORE_API FOutputDevice* GLogConsole;
/** The engine configuration. */
extern CORE_API FConfigCacheIni* GConfig;
/** Name of the engine ini in GConfig. */
extern CORE_API FString GEngineIni;

CORE_API bool IsInGameThread();
