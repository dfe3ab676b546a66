#pragma once

// The small lexical pieces of the JSON reader: character classes, the number grammar and
// conversion, literal matching and escapes.

#include <string>

#include "CoreMinimal.h"

namespace UE::Json::Private
{
	FORCEINLINE bool IsJsonWhiteSpace(const TCHAR Char)
	{
		return Char == u' ' || Char == u'\t' || Char == u'\n' || Char == u'\r';
	}

	FORCEINLINE bool IsJsonNumberChar(const TCHAR Char)
	{
		return (Char >= u'0' && Char <= u'9') || Char == u'-' || Char == u'.' || Char == u'+' || Char == u'e' || Char == u'E';
	}

	FORCEINLINE bool IsDigit(const TCHAR Char)
	{
		return Char >= u'0' && Char <= u'9';
	}

	/** Whether [Start, Stop) is exactly one number of the JSON grammar. */
	bool MatchesNumberGrammar(const TCHAR* Start, const TCHAR* Stop);

	/** Converts a number already checked against the grammar, as strtod would (huge values become infinite). */
	double ConvertNumber(const TCHAR* Start, const TCHAR* Stop);

	/** Whether the Length characters at Text spell Literal (lower-case ASCII), ignoring case. */
	bool EqualsLiteral(const TCHAR* Text, int32 Length, const char* Literal);

	/** Reads the escape after a backslash into Text; returns the engine's error text, or null when it is valid. */
	const TCHAR* ReadEscape(const TCHAR*& Cursor, const TCHAR* End, std::u16string& Text);
}
