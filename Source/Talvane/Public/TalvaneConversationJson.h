#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

/**
 * A conversation as text that outlives the game session: every field of every message of a record,
 * written to JSON and read back exactly, for a save game or a file of one's own.
 *
 * The text is one object: {"version":1,"messages":[{"role":…,"content":…,"name":…},…]}, with the
 * role as its wire string ("system", "user", "assistant", "tool").
 */
namespace TalvaneJson
{
	/** Writes InMessages as JSON into OutJson, replacing what it held. */
	TALVANE_API void ConversationToJson(const TArray<FNimbrelContextMessage>& InMessages, FString& OutJson);

	/**
	 * Reads text written by ConversationToJson into OutMessages, replacing its messages. Text that is
	 * not such a conversation (no JSON, a missing or mistyped field, an unknown role or version) leaves
	 * OutMessages untouched and returns false with the reason in OutError; the reason is logged too.
	 */
	TALVANE_API bool ConversationFromJson(const FString& InJson, TArray<FNimbrelContextMessage>& OutMessages, FString& OutError);
}
