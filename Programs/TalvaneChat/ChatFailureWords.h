#pragma once

#include <string>

#include "CoreMinimal.h"

/**
 * Plain words for a failed turn, as the program prints them after "talvane-chat: ":
 * - no status code: "no answer from the server (refused, timed out or cancelled)";
 * - a stream that carried an error event: "the answer broke off with an error: <its message>";
 * - a stream that ended before its end: "the connection closed after N characters of the answer";
 * - anything else: "the server answered <code>: <the error's message, or the body's start>".
 * The raw event stream is never shown.
 */
std::string DescribeChatFailure(int32 InCode, const FString& InBody, int32 InCharactersShown);
