#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

/**
 * Response bodies into response records. The records are filled in place and not cleared first:
 * pass freshly constructed ones. A body that is not JSON leaves the record as it was; a key that
 * is absent leaves its field as it was; nothing is written to the log.
 */
namespace TalvaneJson
{
	/** Fills the record from one chat completion, or from one chunk of a streamed one ("delta" lands in Message). */
	TALVANE_API void StringToNimbrelChatResponses(const FString& InBody, FNimbrelChatResponses& OutResponses);

	/** Fills the record from one fill-in-the-middle completion. */
	TALVANE_API void StringToNimbrelFIMResponses(const FString& InBody, FNimbrelFIMResponses& OutResponses);

	/**
	 * Fills the record from an error body: from its "error" object when the body has one, else from
	 * the top level. A number or true/false is held as its text; null, an array or an object leaves
	 * the field empty.
	 */
	TALVANE_API void StringToNimbrelChatErrorResponses(const FString& InBody, FNimbrelChatErrorResponses& OutResponses);

	/**
	 * Appends one record per event of a streamed chat body (see FTalvaneSSEDecoder); "[DONE]"
	 * yields none, an event that is not a JSON object yields a default record.
	 */
	TALVANE_API void StringToStreamNimbrelChatResponses(const FString& InBody, TArray<FNimbrelChatResponses>& OutResponses);
}
