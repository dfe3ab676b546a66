#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

/**
 * A streamed answer's whole response record, put together from its events: what a caller of a
 * single request gets once the stream has ended. The records are filled in place: pass fresh ones.
 */
namespace TalvaneJson
{
	/**
	 * Builds the chat record of a streamed body. Each choice (by its "index") gathers the content and
	 * reasoning of its deltas, keeps the last role and finish reason, and merges its tool calls by their
	 * own "index": the first id and type that arrive, the name and argument fragments appended in order.
	 * The id, model, creation time, fingerprint and object come from the first event that names them;
	 * the usage from the last event that carries one. Error events and events that are not JSON add
	 * nothing. Leading line breaks of content and reasoning are dropped, as progress reports drop them.
	 */
	TALVANE_API void AssembleStreamedChatResponses(const FString& InStreamBody, FNimbrelChatResponses& OutResponses);

	/**
	 * The same for a streamed fill-in-the-middle body: each choice's text fragments appended in order,
	 * every character kept (a completion's leading line break is part of what is spliced in).
	 */
	TALVANE_API void AssembleStreamedFIMResponses(const FString& InStreamBody, FNimbrelFIMResponses& OutResponses);
}
