#pragma once

#include "Containers/UnrealString.h"
#include "CoreTypes.h"

/** Platform facts of the HTTP module. */
struct HTTP_API FGenericPlatformHttp
{
	/**
	 * The User-Agent a request sends unless it sets one:
	 * "<Project>/<BuildVersion> (<project comments>) <Platform>/<OSVersion>", each part without
	 * spaces and with '/' turned into '+'. The stand-in has no project, build or OS to ask, so it
	 * answers one fixed string of that shape.
	 */
	static FString GetDefaultUserAgent();
};
