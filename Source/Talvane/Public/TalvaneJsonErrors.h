#pragma once

#include "CoreMinimal.h"

namespace TalvaneJson
{
	/**
	 * Writes one readable line about a failed request to TalvaneLog at Log verbosity (only when the
	 * category admits Log): "[code=<Code>]", the explanation of that HTTP status (400, 401, 402, 422,
	 * 429, 500 and 503 have their own; every other code is an unknown error), then "[<Message>]".
	 */
	TALVANE_API void ErrorPrintToLog(int32 Code, const FString& Message);

	/**
	 * The message of the error a failed request's body carries: of the error document, or of the
	 * first error event of an event stream ("error.message", else a top-level "message"). Empty
	 * when the body carries none.
	 */
	TALVANE_API FString ReadErrorMessage(const FString& InBody);
}
