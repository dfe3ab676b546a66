#pragma once

#include "CoreTypes.h"

/** Character helpers; case mapping covers ASCII and Latin-1, as FString's case-insensitive compare needs. */
struct FChar
{
	static FORCEINLINE TCHAR ToLower(const TCHAR Char)
	{
		if ((Char >= u'A' && Char <= u'Z') || (Char >= 0xC0 && Char <= 0xDE && Char != 0xD7))
		{
			return static_cast<TCHAR>(Char + 32);
		}
		return Char;
	}
	static FORCEINLINE TCHAR ToUpper(const TCHAR Char)
	{
		if ((Char >= u'a' && Char <= u'z') || (Char >= 0xE0 && Char <= 0xFE && Char != 0xF7))
		{
			return static_cast<TCHAR>(Char - 32);
		}
		return Char;
	}
	static FORCEINLINE bool IsWhitespace(const TCHAR Char)
	{
		return Char == u' ' || Char == u'\t' || Char == u'\n' || Char == u'\r' || Char == u'\v' || Char == u'\f';
	}
	static FORCEINLINE bool IsDigit(const TCHAR Char) { return Char >= u'0' && Char <= u'9'; }
	static FORCEINLINE bool IsHexDigit(const TCHAR Char)
	{
		return IsDigit(Char) || (Char >= u'a' && Char <= u'f') || (Char >= u'A' && Char <= u'F');
	}
	static FORCEINLINE bool IsAlpha(const TCHAR Char) { return (Char >= u'a' && Char <= u'z') || (Char >= u'A' && Char <= u'Z'); }
	static FORCEINLINE bool IsAlnum(const TCHAR Char) { return IsAlpha(Char) || IsDigit(Char); }
};
