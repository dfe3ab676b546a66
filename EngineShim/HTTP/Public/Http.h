#pragma once

// The HTTP module's umbrella header, as in the engine: it declares the module's log category, so a
// caller can read or change LogHttp's verbosity. (The engine declares it with default verbosity
// Display; the stand-in keeps Log, which only ever shows more.)

#include "CoreMinimal.h"
#include "HttpModule.h"
#include "Interfaces/IHttpResponse.h"
#include "PlatformHttp.h"

HTTP_API DECLARE_LOG_CATEGORY_EXTERN(LogHttp, Log, All)
