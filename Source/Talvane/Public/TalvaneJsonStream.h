#pragma once

#include "CoreMinimal.h"

/**
 * Text of streamed chat answers, and statements: stretches of text ended by a sentence mark.
 * None of these functions keeps state; the statement cache is the caller's.
 */
namespace TalvaneJson
{
	/** Whether the text is one sentence mark: ".", "。", "!", "！", "？", "?", "；", "..." or ";". */
	TALVANE_API bool IsSplit(const FString& InText);

	/** Whether the character is a sentence mark: '.', '!', '?', ';', '。', '！', '？' or '；'. */
	TALVANE_API bool IsSplit(const TCHAR& InCharacter);

	/** Removes every line feed and carriage return before the text's first other character. */
	TALVANE_API void RemoveStartWrapInLine(FString& InOutText);

	/** Replaces OutText with the answer texts of all events of a streamed chat body, without leading line breaks. */
	TALVANE_API void StreamStringToTextResponses(const FString& InStreamBody, FString& OutText);

	/** Replaces OutText with the reasoning texts of all events of a streamed chat body, without leading line breaks. */
	TALVANE_API void StreamStringToReasoningTextResponses(const FString& InStreamBody, FString& OutText);

	/**
	 * Appends to OutStatements the statements of a streamed chat body, cut at events whose answer
	 * text is one sentence mark; blanks are removed from the statements and the unfinished last one
	 * is dropped. When OutFullText is given it is replaced with the whole answer text.
	 */
	TALVANE_API void StreamStringToTextResponses(const FString& InStreamBody, TArray<FString>& OutStatements, FString* OutFullText = nullptr);

	/** As the statement form of StreamStringToTextResponses, from the reasoning texts. */
	TALVANE_API void StreamStringToReasoningTextResponses(const FString& InStreamBody, TArray<FString>& OutStatements, FString* OutFullText = nullptr);

	/** Appends the statements of a text, cut at every sentence-mark character; the unfinished last one is dropped. */
	TALVANE_API void SplitStreamStatementResponses(const FString& InText, TArray<FString>& OutStatements);

	/**
	 * Reports the statements that differ (ignoring case) from the cache entry at the same index:
	 * each is appended to the cache and to OutNewStatements. Unless bIncludeLastSentence, the last
	 * statement is held back until a later call in which it is no longer last.
	 */
	TALVANE_API void GetDifferentChatContent(TArray<FString>& InOutStatementCache, const TArray<FString>& InStatements,
		TArray<FString>& OutNewStatements, bool bIncludeLastSentence);

	/** Splits the text received so far into statements and reports those not in the cache yet (see GetDifferentChatContent). */
	TALVANE_API void HandleStreamStatementResponses(const FString& InOriginalStreamStatement, TArray<FString>& InStatementCache,
		TArray<FString>& OutDifferentStatement, bool bIncludeLastSentence);
}
