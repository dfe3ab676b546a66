#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"
#include "TalvaneRequestTimings.generated.h"

/**
 * How long one request took, as the game saw it: every time is in seconds since the request was first
 * sent, measured on the game thread when the engine handed over the bytes, so it includes the wait for
 * the next frame. A negative time means that point was not reached.
 */
USTRUCT(BlueprintType)
struct TALVANE_API FTalvaneRequestTimings
{
	GENERATED_BODY()

	/** Until the first byte of the answer (or of an error body) arrived. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	float SecondsToFirstByte = -1.0f;

	/** Until the first answer text arrived: the first streamed piece, or the whole answer. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	float SecondsToFirstText = -1.0f;

	/** Until the request ended, as a success or a failure; negative while it is in flight. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	float SecondsToCompletion = -1.0f;

	/** Characters of answer text received so far. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	int32 AnswerCharacters = 0;

	/** For a streamed answer that ended: its characters per second, from its first text to the end; 0 otherwise. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	float CharactersPerSecond = 0.0f;

	/** Whether the server sent the token usage (a streamed answer sends it only when asked to, with bIncludeUsage). */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	bool bHasUsage = false;

	/** The token usage the server sent; zero when it sent none. */
	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category="Timings")
	FNimbrelChatResponseUsage Usage;
};
