#pragma once

// The HTTP module's umbrella header, as in the engine: it declares the module's log category, so a
// caller can read or change LogHttp's verbosity. Its default verbosity is Display, as the engine's:
// the Log lines ("Starting … request to URL=") are not written unless someone raises it.

#include "CoreMinimal.h"
#include "HttpModule.h"
#include "Interfaces/IHttpResponse.h"
#include "PlatformHttp.h"

HTTP_API DECLARE_LOG_CATEGORY_EXTERN(LogHttp, Display, All)
