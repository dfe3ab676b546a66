#pragma once

#include "CoreMinimal.h"

struct FDateTime;

/**
 * When a failed request is sent again, and after how long. Retries are opt-in ("[Talvane]
 * MaxRetries", default 0). Only failures that carried no answer are retried: a status that says
 * "try again" (429, 500, 502, 503, 504) or a connection that could not be made.
 */
namespace TalvaneRetryPolicy
{
	/** 429, 500, 502, 503 and 504. */
	TALVANE_API bool IsRetryableStatus(int32 InCode);

	/**
	 * Seconds a "Retry-After" header asks for: a whole number of seconds, or an HTTP date (counted
	 * from InNow). False for an empty or unreadable value; a date in the past gives 0.
	 */
	TALVANE_API bool ParseRetryAfter(const FString& InValue, const FDateTime& InNow, double& OutSeconds);

	/**
	 * The wait before retry number InRetry (1 for the first): the server's Retry-After when it sent
	 * one, else a random wait between 0 and RetryBaseSeconds * 2^(InRetry - 1) ("full jitter", so
	 * that many clients do not come back at once); never more than RetryMaxSeconds.
	 */
	TALVANE_API double GetRetryDelaySeconds(int32 InRetry, const FString& InRetryAfter);
}
