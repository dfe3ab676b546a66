#pragma once

// The engine's libcurl debug callback writes what libcurl tells it to LogHttp at VeryVerbose
// (CURL_ENABLE_DEBUG_CALLBACK, on wherever the engine links libcurl): libcurl's own info texts,
// the sizes of what goes in and out, and the request's header block as sent, every header included.

#include <cstddef>
#include <curl/curl.h>

#include "Containers/UnrealString.h"

/** An info text of libcurl as the engine keeps it: at most 1023 bytes, up to a NUL, without line breaks. */
FString ToCurlInfoText(const char* Data, size_t Size);

/** HTTP thread: logs one debug callback of the request at RequestAddress, as the engine does. */
void LogCurlDebugInfo(const void* RequestAddress, curl_infotype Type, const char* Data, size_t Size);
