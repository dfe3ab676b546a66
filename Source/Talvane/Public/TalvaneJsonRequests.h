#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

/**
 * Request bodies: each writer turns a filled record into the condensed JSON text sent as the
 * HTTP body, with the same keys in the same order every time. No value is validated or clamped,
 * except a tool's parameter schema, which must be a JSON object to be written at all.
 */
namespace TalvaneJson
{
	/** True when InParameters is empty or the text of one JSON object: a tool schema that can be sent. */
	TALVANE_API bool IsSendableToolParameters(const FString& InParameters);

	/** True when a tool of Request has parameters that cannot be sent; OutToolName then names the first. */
	TALVANE_API bool FindUnsendableTool(const FNimbrelChatRequest& Request, FString& OutToolName);

	/**
	 * Body of a cloud chat request: messages, model, sampling and streaming parameters, tools, log probabilities.
	 * A tool's "parameters" is its schema as the condensed writer prints it, and is left out when the text is
	 * not a JSON object (the transport refuses such a request: FindUnsendableTool).
	 */
	TALVANE_API void NimbrelChatRequestToString(const FNimbrelChatRequest& Request, FString& OutJson);

	/** Body of a local chat request: messages (role first, never a name), model and stream flag only. */
	TALVANE_API void NimbrelChatRequestToString(const FNimbrelLocalChatRequest& Request, FString& OutJson);

	/** Body of a cloud fill-in-the-middle request. */
	TALVANE_API void NimbrelFIMRequestToString(const FNimbrelFIMRequest& Request, FString& OutJson);
}
