#pragma once

#include "CoreMinimal.h"

/**
 * The plugin's own keys in the engine ini, section "Talvane". They are read on every use, so a
 * change made through GConfig takes effect with the next request.
 */
namespace TalvaneSettings
{
	/** Base URL of the cloud service, always ending in "/" ("CloudBaseURL", default "https://api.nimbrel.com/"). */
	TALVANE_API FString GetCloudBaseURL();

	/** Inactivity time-out of cloud and local requests in seconds ("RequestTimeoutSeconds", default 60). */
	TALVANE_API double GetRequestTimeoutSeconds();

	/** How often a failed request is sent again before it is reported ("MaxRetries", default 0: never). */
	TALVANE_API int32 GetMaxRetries();

	/** The first retry's longest wait in seconds, doubled for each later one ("RetryBaseSeconds", default 1). */
	TALVANE_API double GetRetryBaseSeconds();

	/**
	 * The history budget of a record that sets none, in characters of its messages' text
	 * ("MaxHistoryCharacters", default 0: no limit).
	 */
	TALVANE_API int32 GetMaxHistoryCharacters();

	/** The longest wait before a retry in seconds, a server's Retry-After included ("RetryMaxSeconds", default 30). */
	TALVANE_API double GetRetryMaxSeconds();
}
