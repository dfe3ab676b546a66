#pragma once

#include <type_traits>

#include "CoreMinimal.h"
#include "Serialization/JsonTypes.h"

class FJsonSerializer;

/**
 * Reads JSON text one notation at a time: the start and end of each object and array, and each
 * value with its field name. The rules are the engine's: the root is an object or an array;
 * white space is space, tab, LF and CR; true, false and null ignore case; numbers follow the
 * JSON grammar; strings take the escapes \" \\ \/ \b \f \n \r \t and \uXXXX (one UTF-16 unit
 * each) and raw control characters; after the root only white space may follow.
 *
 * The stand-in reads TCHAR text only, and fails on nesting deeper than MaxDepth (the engine has
 * no limit), so that no tree built from text is too deep to destroy or write back.
 */
template <class CharType = TCHAR>
class JSON_API TJsonReader
{
	static_assert(std::is_same_v<CharType, TCHAR>, "The stand-in's JSON reader reads TCHAR text only");

public:
	/** The deepest nesting of objects and arrays the reader accepts. */
	static constexpr int32 MaxDepth = 512;

	virtual ~TJsonReader() = default;

	/**
	 * Reads the next notation. Returns false when the text is done or after an error; an error
	 * gives EJsonNotation::Error (returning true the first time) and sets the error message.
	 */
	bool ReadNext(EJsonNotation& Notation);

	/** The field name of the value just read; empty inside arrays. */
	const FString& GetIdentifier() const { return Identifier; }
	const FString& GetValueAsString() const
	{
		check(CurrentToken == EJsonToken::String);
		return StringValue;
	}
	double GetValueAsNumber() const
	{
		check(CurrentToken == EJsonToken::Number);
		return NumberValue;
	}
	bool GetValueAsBoolean() const
	{
		check(CurrentToken == EJsonToken::True || CurrentToken == EJsonToken::False);
		return CurrentToken == EJsonToken::True;
	}
	/** Empty until an error; then the reason with its line and character. */
	const FString& GetErrorMessage() const { return ErrorMessage; }

protected:
	TJsonReader() = default;

	/** Points the reader at text that outlives it; without a source every read fails. */
	void SetSource(const TCHAR* InBegin, int32 InLength);

private:
	friend class FJsonSerializer;

	bool ReadRoot(EJsonToken& OutToken);
	bool ReadArrayValue(EJsonToken& InOutToken);
	bool ReadObjectValue(EJsonToken& InOutToken);
	bool ReadValueToken(EJsonToken& OutToken);
	bool NextToken(EJsonToken& OutToken);
	bool ParseStringToken(FString& OutString);
	bool ParseEscapedString(const TCHAR* Start, FString& OutString);
	bool ParseNumberToken();
	bool ParseLiteralToken(EJsonToken& OutToken);
	void SkipWhiteSpace();
	bool Fail(const TCHAR* Message);

	const TCHAR* Begin = nullptr;
	const TCHAR* Cursor = nullptr;
	const TCHAR* End = nullptr;
	bool bHasSource = false;
	bool bFinishedReadingRootObject = false;
	TArray<EJson> ParseState;
	EJsonToken CurrentToken = EJsonToken::None;
	FString Identifier;
	FString StringValue;
	double NumberValue = 0.0;
	FString ErrorMessage;
};

/** A reader over a copy of a string. */
class JSON_API FJsonStringReader : public TJsonReader<TCHAR>
{
public:
	static TSharedRef<FJsonStringReader> Create(const FString& JsonString);
	static TSharedRef<FJsonStringReader> Create(FString&& JsonString);

	const FString& GetSourceString() const { return Content; }

private:
	explicit FJsonStringReader(FString&& InContent);

	FString Content;
};

template <class CharType = TCHAR>
class TJsonReaderFactory
{
public:
	static TSharedRef<TJsonReader<TCHAR>> Create(const FString& JsonString)
	{
		return FJsonStringReader::Create(JsonString);
	}

	static TSharedRef<TJsonReader<TCHAR>> Create(FString&& JsonString)
	{
		return FJsonStringReader::Create(MoveTemp(JsonString));
	}
};
