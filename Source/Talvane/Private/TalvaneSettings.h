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
}
