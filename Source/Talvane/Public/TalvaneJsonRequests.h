#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

/**
 * Request bodies: each writer turns a filled record into the condensed JSON text sent as the
 * HTTP body, with the same keys in the same order every time. No value is validated or clamped.
 */
namespace TalvaneJson
{
	/** Body of a cloud chat request: messages, model, sampling and streaming parameters, tools, log probabilities. */
	TALVANE_API void NimbrelChatRequestToString(const FNimbrelChatRequest& Request, FString& OutJson);

	/** Body of a local chat request: messages (role first, never a name), model and stream flag only. */
	TALVANE_API void NimbrelChatRequestToString(const FNimbrelLocalChatRequest& Request, FString& OutJson);

	/** Body of a cloud fill-in-the-middle request. */
	TALVANE_API void NimbrelFIMRequestToString(const FNimbrelFIMRequest& Request, FString& OutJson);
}
