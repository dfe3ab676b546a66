#pragma once

#include "Policies/JsonPrintPolicy.h"

/** Prints JSON with line breaks, tab indentation and a space after each colon, as the engine does. */
template <class CharType>
struct TPrettyJsonPrintPolicy : public TJsonPrintPolicy<CharType>
{
	static inline void WriteLineTerminator(FString* Stream)
	{
		TJsonPrintPolicy<CharType>::WriteChar(Stream, CharType('\n'));
	}

	static inline void WriteTabs(FString* Stream, const int32 Count)
	{
		for (int32 Index = 0; Index < Count; ++Index)
		{
			TJsonPrintPolicy<CharType>::WriteChar(Stream, CharType('\t'));
		}
	}

	static inline void WriteSpace(FString* Stream)
	{
		TJsonPrintPolicy<CharType>::WriteChar(Stream, CharType(' '));
	}
};
