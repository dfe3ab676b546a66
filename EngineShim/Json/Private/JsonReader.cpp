#include "Serialization/JsonReader.h"

#include <string>

#include "JsonLexing.h"

// The reader works on the text in place with a cursor and an explicit stack of open objects and
// arrays, so deep input never deepens the call stack, and a string without escapes is copied
// once, straight into its FString.

using namespace UE::Json::Private;

namespace
{
	EJsonNotation TokenToNotation(const EJsonToken Token)
	{
		switch (Token)
		{
		case EJsonToken::CurlyOpen: return EJsonNotation::ObjectStart;
		case EJsonToken::CurlyClose: return EJsonNotation::ObjectEnd;
		case EJsonToken::SquareOpen: return EJsonNotation::ArrayStart;
		case EJsonToken::SquareClose: return EJsonNotation::ArrayEnd;
		case EJsonToken::String: return EJsonNotation::String;
		case EJsonToken::Number: return EJsonNotation::Number;
		case EJsonToken::True:
		case EJsonToken::False: return EJsonNotation::Boolean;
		case EJsonToken::Null: return EJsonNotation::Null;
		default: return EJsonNotation::Error;
		}
	}
}

template <class CharType>
void TJsonReader<CharType>::SetSource(const TCHAR* const InBegin, const int32 InLength)
{
	Begin = InBegin;
	Cursor = InBegin;
	End = InBegin + (InLength > 0 ? InLength : 0);
	bHasSource = InBegin != nullptr;
}

template <class CharType>
bool TJsonReader<CharType>::ReadNext(EJsonNotation& Notation)
{
	if (!ErrorMessage.IsEmpty())
	{
		Notation = EJsonNotation::Error;
		return false;
	}
	if (bFinishedReadingRootObject)
	{
		SkipWhiteSpace();
		if (Cursor == End)
		{
			return false;
		}
	}
	// Each error is reported once with Error and true; later reads return false.
	Notation = EJsonNotation::Error;
	if (!bHasSource)
	{
		return !Fail(TEXT("Null Stream"));
	}
	if (bFinishedReadingRootObject)
	{
		return !Fail(TEXT("Unexpected additional input found."));
	}
	if (Cursor == End)
	{
		return !Fail(TEXT("Improperly formatted."));
	}

	Identifier.Reset();
	const EJson State = ParseState.Num() > 0 ? ParseState.Last() : EJson::None;
	const bool bReadSuccess = State == EJson::Array ? ReadArrayValue(CurrentToken)
		: State == EJson::Object ? ReadObjectValue(CurrentToken)
		: ReadRoot(CurrentToken);
	if (!bReadSuccess)
	{
		if (ErrorMessage.IsEmpty())
		{
			Fail(TEXT("Unknown Error Occurred"));
		}
		return true;
	}
	Notation = TokenToNotation(CurrentToken);
	bFinishedReadingRootObject = ParseState.Num() == 0;
	return true;
}

template <class CharType>
bool TJsonReader<CharType>::ReadRoot(EJsonToken& OutToken)
{
	if (!NextToken(OutToken))
	{
		return false;
	}
	if (OutToken != EJsonToken::CurlyOpen && OutToken != EJsonToken::SquareOpen)
	{
		return Fail(TEXT("Open Curly or Square Brace token expected, but not found."));
	}
	return ReadValueToken(OutToken);
}

template <class CharType>
bool TJsonReader<CharType>::ReadArrayValue(EJsonToken& InOutToken)
{
	const bool bCommaPrepend = InOutToken != EJsonToken::SquareOpen;
	EJsonToken Token = EJsonToken::None;
	if (!NextToken(Token))
	{
		return false;
	}
	InOutToken = Token;
	if (Token == EJsonToken::SquareClose)
	{
		ParseState.Pop(false);
		return true;
	}
	if (bCommaPrepend)
	{
		if (Token != EJsonToken::Comma)
		{
			return Fail(TEXT("Comma token expected, but not found."));
		}
		if (!NextToken(InOutToken))
		{
			return false;
		}
	}
	return ReadValueToken(InOutToken);
}

template <class CharType>
bool TJsonReader<CharType>::ReadObjectValue(EJsonToken& InOutToken)
{
	const bool bCommaPrepend = InOutToken != EJsonToken::CurlyOpen;
	EJsonToken Token = EJsonToken::None;
	if (!NextToken(Token))
	{
		return false;
	}
	InOutToken = Token;
	if (Token == EJsonToken::CurlyClose)
	{
		ParseState.Pop(false);
		return true;
	}
	if (bCommaPrepend)
	{
		if (Token != EJsonToken::Comma)
		{
			return Fail(TEXT("Comma token expected, but not found."));
		}
		if (!NextToken(Token))
		{
			return false;
		}
	}
	if (Token != EJsonToken::String)
	{
		return Fail(TEXT("String token expected, but not found."));
	}
	Identifier = MoveTemp(StringValue);
	if (!NextToken(Token))
	{
		return false;
	}
	if (Token != EJsonToken::Colon)
	{
		return Fail(TEXT("Colon token expected, but not found."));
	}
	if (!NextToken(InOutToken))
	{
		return false;
	}
	return ReadValueToken(InOutToken);
}

template <class CharType>
bool TJsonReader<CharType>::ReadValueToken(EJsonToken& OutToken)
{
	switch (OutToken)
	{
	case EJsonToken::CurlyOpen:
	case EJsonToken::SquareOpen:
		if (ParseState.Num() >= MaxDepth)
		{
			return Fail(TEXT("Json nesting exceeds the reader's maximum depth."));
		}
		ParseState.Add(OutToken == EJsonToken::CurlyOpen ? EJson::Object : EJson::Array);
		return true;
	case EJsonToken::String:
	case EJsonToken::Number:
	case EJsonToken::True:
	case EJsonToken::False:
	case EJsonToken::Null:
		return true;
	default:
		return Fail(TEXT("Value token expected, but not found."));
	}
}

template <class CharType>
bool TJsonReader<CharType>::NextToken(EJsonToken& OutToken)
{
	SkipWhiteSpace();
	if (Cursor == End)
	{
		return Fail(TEXT("Invalid Json Token."));
	}
	switch (*Cursor)
	{
	case u'{': ++Cursor; OutToken = EJsonToken::CurlyOpen; return true;
	case u'}': ++Cursor; OutToken = EJsonToken::CurlyClose; return true;
	case u'[': ++Cursor; OutToken = EJsonToken::SquareOpen; return true;
	case u']': ++Cursor; OutToken = EJsonToken::SquareClose; return true;
	case u':': ++Cursor; OutToken = EJsonToken::Colon; return true;
	case u',': ++Cursor; OutToken = EJsonToken::Comma; return true;
	case u'"':
		++Cursor;
		OutToken = EJsonToken::String;
		return ParseStringToken(StringValue);
	case u't': case u'T': case u'f': case u'F': case u'n': case u'N':
		return ParseLiteralToken(OutToken);
	case u'\0':
		return Fail(TEXT("Invalid Json Token."));
	default:
		if (IsJsonNumberChar(*Cursor))
		{
			OutToken = EJsonToken::Number;
			return ParseNumberToken();
		}
		return Fail(TEXT("Invalid Json Token. Check that your member names have quotes around them!"));
	}
}

template <class CharType>
bool TJsonReader<CharType>::ParseStringToken(FString& OutString)
{
	const TCHAR* const Start = Cursor;
	for (; Cursor != End; ++Cursor)
	{
		if (*Cursor == u'"')
		{
			OutString = FString(static_cast<int32>(Cursor - Start), Start);
			++Cursor;
			return true;
		}
		if (*Cursor == u'\\' || *Cursor == u'\0')
		{
			return ParseEscapedString(Start, OutString);
		}
	}
	return Fail(TEXT("String Token Abruptly Ended."));
}

template <class CharType>
bool TJsonReader<CharType>::ParseEscapedString(const TCHAR* const Start, FString& OutString)
{
	// The closing quote bounds the decoded length, so one allocation holds the whole string.
	const TCHAR* Close = Cursor;
	while (Close != End && *Close != u'"')
	{
		Close += (*Close == u'\\' && Close + 1 != End) ? 2 : 1;
	}
	std::u16string Text;
	Text.reserve(static_cast<SIZE_T>(Close - Start));
	Text.append(Start, Cursor);
	while (Cursor != End)
	{
		const TCHAR* const Run = Cursor;
		while (Cursor != End && *Cursor != u'"' && *Cursor != u'\\' && *Cursor != u'\0')
		{
			++Cursor;
		}
		Text.append(Run, Cursor);
		if (Cursor == End)
		{
			break;
		}
		const TCHAR Char = *Cursor++;
		if (Char == u'"')
		{
			OutString = FString(MoveTemp(Text));
			return true;
		}
		// The engine's FString drops a NUL appended to it, raw or escaped, so a raw one is skipped.
		if (Char == u'\\')
		{
			if (const TCHAR* const Error = ReadEscape(Cursor, End, Text))
			{
				return Fail(Error);
			}
		}
	}
	return Fail(TEXT("String Token Abruptly Ended."));
}

template <class CharType>
bool TJsonReader<CharType>::ParseNumberToken()
{
	const TCHAR* const Start = Cursor;
	while (Cursor != End && IsJsonNumberChar(*Cursor))
	{
		++Cursor;
	}
	if (Cursor == End)
	{
		return Fail(TEXT("Number Token Abruptly Ended."));
	}
	if (!MatchesNumberGrammar(Start, Cursor))
	{
		return Fail(TEXT("Poorly formed Json Number Token."));
	}
	NumberValue = ConvertNumber(Start, Cursor);
	return true;
}

template <class CharType>
bool TJsonReader<CharType>::ParseLiteralToken(EJsonToken& OutToken)
{
	const TCHAR* const Start = Cursor;
	while (Cursor != End && FChar::IsAlnum(*Cursor))
	{
		++Cursor;
	}
	const int32 Length = static_cast<int32>(Cursor - Start);
	if (EqualsLiteral(Start, Length, "true"))
	{
		OutToken = EJsonToken::True;
		return true;
	}
	if (EqualsLiteral(Start, Length, "false"))
	{
		OutToken = EJsonToken::False;
		return true;
	}
	if (EqualsLiteral(Start, Length, "null"))
	{
		OutToken = EJsonToken::Null;
		return true;
	}
	return Fail(TEXT("Invalid Json Token. Check that your member names have quotes around them!"));
}

template <class CharType>
void TJsonReader<CharType>::SkipWhiteSpace()
{
	while (Cursor != End && IsJsonWhiteSpace(*Cursor))
	{
		++Cursor;
	}
}

template <class CharType>
bool TJsonReader<CharType>::Fail(const TCHAR* const Message)
{
	// Lines and characters are counted only now, so reading pays nothing for them.
	uint32 LineNumber = 1;
	const TCHAR* LineStart = Begin;
	for (const TCHAR* Char = Begin; Char != nullptr && Char < Cursor; ++Char)
	{
		if (*Char == u'\n')
		{
			++LineNumber;
			LineStart = Char + 1;
		}
	}
	const uint32 CharacterNumber = static_cast<uint32>(Cursor - LineStart);
	ErrorMessage = FString::Printf(TEXT("%s Line: %u Ch: %u"), Message, LineNumber, CharacterNumber);
	return false;
}

template class TJsonReader<TCHAR>;

TSharedRef<FJsonStringReader> FJsonStringReader::Create(const FString& JsonString)
{
	return MakeShareable(new FJsonStringReader(FString(JsonString)));
}

TSharedRef<FJsonStringReader> FJsonStringReader::Create(FString&& JsonString)
{
	return MakeShareable(new FJsonStringReader(MoveTemp(JsonString)));
}

FJsonStringReader::FJsonStringReader(FString&& InContent)
	: Content(MoveTemp(InContent))
{
	// An empty text has no stream in the engine either, so its first read fails.
	if (!Content.IsEmpty())
	{
		SetSource(*Content, Content.Len());
	}
}
