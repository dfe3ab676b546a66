#pragma once

#include "CoreMinimal.h"

// The scanning half of FStreamDeltaReader: checks one JSON document against the engine reader's
// rules and notes where the values a progress report needs lie, without converting anything.

namespace TalvaneJson::StreamDelta
{
	enum class EValueKind : uint8
	{
		None,
		Null,
		String,
		Number,
		True,
		False,
		Object,
		Array,
	};

	/** Where a value lies in the bytes: a string between its quotes, a number or literal as written. */
	struct FValueSpan
	{
		int32 Begin = 0;
		int32 End = 0;
		EValueKind Kind = EValueKind::None;
		/** A string with no escape, no NUL and no byte outside ASCII: its bytes are its text. */
		bool bPlain = true;
	};

	struct FMessageSpans
	{
		FValueSpan Content;
		FValueSpan ReasoningContent;
	};

	struct FChoiceSpans
	{
		FValueSpan FinishReason;
		FValueSpan Text;
		/** "message" and "delta"; Kind None unless the last of each key is an object. */
		FMessageSpans Message;
		FMessageSpans Delta;
	};

	/** The last value of each key that counts, as FJsonObject keeps the last of repeated keys. */
	struct FDocumentSpans
	{
		FValueSpan Error;
		FValueSpan Code;
		FValueSpan Message;
		bool bHasChoices = false;
		/** The object elements of the last "choices", when that is an array. */
		TArray<FChoiceSpans> Choices;

		void Reset();
	};

	/** Whether the value converts to text as FJsonValue::TryGetString does (string, number, true, false). */
	inline bool IsText(const FValueSpan& InSpan)
	{
		return InSpan.Kind == EValueKind::String || InSpan.Kind == EValueKind::Number || InSpan.Kind == EValueKind::True
			|| InSpan.Kind == EValueKind::False;
	}

	/** The text of a string span the way the engine reader decodes it; Scratch is working memory. */
	void DecodeString(const uint8* InData, const FValueSpan& InSpan, TArray<TCHAR>& Scratch, FString& OutText);

	/**
	 * Scans a whole document. Returns false when the engine reader would fail on it; otherwise
	 * OutSpans holds the spans and bOutRootIsObject says whether the root is an object.
	 */
	bool ScanDocument(const uint8* InData, int32 InLength, TArray<TCHAR>& Scratch, FDocumentSpans& OutSpans, bool& bOutRootIsObject);
}
