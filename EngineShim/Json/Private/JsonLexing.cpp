#include "JsonLexing.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace
{
	int32 HexDigitValue(const TCHAR Char)
	{
		if (Char >= u'0' && Char <= u'9')
		{
			return Char - u'0';
		}
		if (Char >= u'a' && Char <= u'f')
		{
			return Char - u'a' + 10;
		}
		if (Char >= u'A' && Char <= u'F')
		{
			return Char - u'A' + 10;
		}
		return -1;
	}
}

bool UE::Json::Private::MatchesNumberGrammar(const TCHAR* Start, const TCHAR* const Stop)
{
	if (Start != Stop && *Start == u'-')
	{
		++Start;
	}
	if (Start == Stop || !IsDigit(*Start))
	{
		return false;
	}
	if (*Start++ != u'0')
	{
		while (Start != Stop && IsDigit(*Start))
		{
			++Start;
		}
	}
	if (Start != Stop && *Start == u'.')
	{
		const TCHAR* const FractionStart = ++Start;
		while (Start != Stop && IsDigit(*Start))
		{
			++Start;
		}
		if (Start == FractionStart)
		{
			return false;
		}
	}
	if (Start != Stop && (*Start == u'e' || *Start == u'E'))
	{
		++Start;
		if (Start != Stop && (*Start == u'+' || *Start == u'-'))
		{
			++Start;
		}
		const TCHAR* const ExponentStart = Start;
		while (Start != Stop && IsDigit(*Start))
		{
			++Start;
		}
		if (Start == ExponentStart)
		{
			return false;
		}
	}
	return Start == Stop;
}

double UE::Json::Private::ConvertNumber(const TCHAR* const Start, const TCHAR* const Stop)
{
	char Small[64];
	std::string Large;
	const SIZE_T Length = static_cast<SIZE_T>(Stop - Start);
	char* Narrow = Small;
	if (Length >= sizeof(Small))
	{
		Large.resize(Length);
		Narrow = Large.data();
	}
	for (SIZE_T Index = 0; Index < Length; ++Index)
	{
		Narrow[Index] = static_cast<char>(Start[Index]);
	}
	double Value = 0.0;
	const std::from_chars_result Result = std::from_chars(Narrow, Narrow + Length, Value);
	if (Result.ec == std::errc::result_out_of_range)
	{
		// Only over- and underflow land here; strtod gives them the engine's results (inf, 0).
		static const locale_t CLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
		Narrow[Length] = '\0';
		Value = strtod_l(Narrow, nullptr, CLocale);
	}
	return Value;
}

bool UE::Json::Private::EqualsLiteral(const TCHAR* Text, const int32 Length, const char* const Literal)
{
	int32 Index = 0;
	for (; Index < Length && Literal[Index]; ++Index)
	{
		if (FChar::ToLower(Text[Index]) != static_cast<TCHAR>(Literal[Index]))
		{
			return false;
		}
	}
	return Index == Length && Literal[Index] == '\0';
}

const TCHAR* UE::Json::Private::ReadEscape(const TCHAR*& Cursor, const TCHAR* const End, std::u16string& Text)
{
	if (Cursor == End)
	{
		return TEXT("String Token Abruptly Ended.");
	}
	switch (const TCHAR Escaped = *Cursor++)
	{
	case u'"': case u'\\': case u'/': Text.push_back(Escaped); return nullptr;
	case u'f': Text.push_back(u'\f'); return nullptr;
	case u'r': Text.push_back(u'\r'); return nullptr;
	case u'n': Text.push_back(u'\n'); return nullptr;
	case u'b': Text.push_back(u'\b'); return nullptr;
	case u't': Text.push_back(u'\t'); return nullptr;
	case u'u': break;
	default: return TEXT("Bad Json escaped char.");
	}
	// Four hex digits make one UTF-16 unit; pairs are not combined, and a zero unit is dropped.
	int32 Unit = 0;
	for (int32 Digit = 0; Digit < 4; ++Digit, ++Cursor)
	{
		if (Cursor == End)
		{
			return TEXT("String Token Abruptly Ended.");
		}
		const int32 Value = HexDigitValue(*Cursor);
		if (Value < 0)
		{
			return TEXT("Invalid Hexadecimal digit parsed.");
		}
		Unit = Unit * 16 + Value;
	}
	if (Unit != 0)
	{
		Text.push_back(static_cast<TCHAR>(Unit));
	}
	return nullptr;
}
