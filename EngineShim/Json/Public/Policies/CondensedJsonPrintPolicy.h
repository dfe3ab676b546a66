#pragma once

#include "Policies/JsonPrintPolicy.h"

/** Prints JSON without any white space. */
template <class CharType>
struct TCondensedJsonPrintPolicy : public TJsonPrintPolicy<CharType>
{
	static inline void WriteLineTerminator(FString*) {}
	static inline void WriteTabs(FString*, int32) {}
	static inline void WriteSpace(FString*) {}
};
