#pragma once

#include <cstddef>

#include "CoreMinimal.h"
#include "Policies/PrettyJsonPrintPolicy.h"
#include "Serialization/JsonTypes.h"

namespace UE::Json::Private
{
	// The value types TJsonWriter::WriteValueOnly takes, in step with it, so that WriteValue can be
	// constrained without reaching a protected member (which some compilers refuse in a constraint).
	void WritableJsonValue(bool);
	void WritableJsonValue(float);
	void WritableJsonValue(double);
	void WritableJsonValue(int32);
	void WritableJsonValue(int64);
	void WritableJsonValue(std::nullptr_t);
	void WritableJsonValue(const TCHAR*);
	void WritableJsonValue(const FString&);

	template <typename FValue>
	concept CWritableJsonValue = requires(FValue Value) { WritableJsonValue(Value); };
}

/**
 * Writes JSON text token by token, as the engine's writer does: the print policy decides the
 * white space; strings escape \" \\ \b \f \n \r \t and other characters below 0x20 as \u%04x
 * and keep everything else (slash, DEL, non-ASCII) raw; a float prints with %g, a double with
 * %.17g, integers in decimal. Writing in the wrong place (a named value inside an array, an end
 * without a start) is a programming error and stops the process, as in the engine.
 */
template <class CharType = TCHAR, class PrintPolicy = TPrettyJsonPrintPolicy<CharType>>
class TJsonWriter
{
public:
	virtual ~TJsonWriter() = default;

	int32 GetIndentLevel() const { return IndentLevel; }

	bool CanWriteValueWithoutIdentifier() const
	{
		return Stack.Num() <= 0 || Stack.Last() == EJson::Array || PreviousTokenWritten == EJsonToken::Identifier;
	}

	void WriteObjectStart()
	{
		check(CanWriteValueWithoutIdentifier());
		WriteValuePrefix();
		OpenScope(EJson::Object, CharType('{'), EJsonToken::CurlyOpen);
	}

	void WriteObjectStart(const FString& Identifier)
	{
		check(IsInObject());
		WriteIdentifier(Identifier);
		PrintPolicy::WriteLineTerminator(Stream);
		PrintPolicy::WriteTabs(Stream, IndentLevel);
		OpenScope(EJson::Object, CharType('{'), EJsonToken::CurlyOpen);
	}

	void WriteObjectEnd()
	{
		check(IsInObject());
		PrintPolicy::WriteLineTerminator(Stream);
		--IndentLevel;
		PrintPolicy::WriteTabs(Stream, IndentLevel);
		PrintPolicy::WriteChar(Stream, CharType('}'));
		Stack.Pop(false);
		PreviousTokenWritten = EJsonToken::CurlyClose;
	}

	void WriteArrayStart()
	{
		check(CanWriteValueWithoutIdentifier());
		WriteValuePrefix();
		OpenScope(EJson::Array, CharType('['), EJsonToken::SquareOpen);
	}

	void WriteArrayStart(const FString& Identifier)
	{
		check(IsInObject());
		WriteIdentifier(Identifier);
		PrintPolicy::WriteSpace(Stream);
		OpenScope(EJson::Array, CharType('['), EJsonToken::SquareOpen);
	}

	void WriteArrayEnd()
	{
		check(Stack.Num() > 0 && Stack.Last() == EJson::Array);
		--IndentLevel;
		if (PreviousTokenWritten == EJsonToken::SquareClose || PreviousTokenWritten == EJsonToken::CurlyClose
			|| PreviousTokenWritten == EJsonToken::String)
		{
			PrintPolicy::WriteLineTerminator(Stream);
			PrintPolicy::WriteTabs(Stream, IndentLevel);
		}
		else if (PreviousTokenWritten != EJsonToken::SquareOpen)
		{
			PrintPolicy::WriteSpace(Stream);
		}
		PrintPolicy::WriteChar(Stream, CharType(']'));
		Stack.Pop(false);
		PreviousTokenWritten = EJsonToken::SquareClose;
	}

	/**
	 * Writes a named value: FString, const TCHAR*, bool, float, double, int32 or int64 (smaller
	 * integers promote to int32). As in the engine there is no overload for uint32 or uint64, so
	 * such an argument does not compile.
	 */
	template <class FValue>
		requires UE::Json::Private::CWritableJsonValue<FValue>
	void WriteValue(const FString& Identifier, FValue Value)
	{
		check(IsInObject());
		WriteIdentifier(Identifier);
		PrintPolicy::WriteSpace(Stream);
		PreviousTokenWritten = WriteValueOnly(Value);
	}

	/** Writes a value inside an array (or as the whole text). */
	template <class FValue>
		requires UE::Json::Private::CWritableJsonValue<FValue>
	void WriteValue(FValue Value)
	{
		check(CanWriteValueWithoutIdentifier());
		WriteCommaIfNeeded();
		if (PreviousTokenWritten == EJsonToken::SquareOpen || EJsonToken_IsShortValue(PreviousTokenWritten))
		{
			PrintPolicy::WriteSpace(Stream);
		}
		else
		{
			PrintPolicy::WriteLineTerminator(Stream);
			PrintPolicy::WriteTabs(Stream, IndentLevel);
		}
		PreviousTokenWritten = WriteValueOnly(Value);
	}

	void WriteNull(const FString& Identifier) { WriteValue(Identifier, nullptr); }
	void WriteNull() { WriteValue(nullptr); }

	/** Inserts text that must already be valid JSON, unchecked. */
	void WriteRawJSONValue(const FString& Identifier, const FString& Value)
	{
		check(IsInObject());
		WriteIdentifier(Identifier);
		PrintPolicy::WriteSpace(Stream);
		PrintPolicy::WriteString(Stream, Value);
		PreviousTokenWritten = EJsonToken::String;
	}

	/** Finishes writing; true when the text is complete (every object and array closed). */
	virtual bool Close()
	{
		return (PreviousTokenWritten == EJsonToken::None || PreviousTokenWritten == EJsonToken::CurlyClose
				|| PreviousTokenWritten == EJsonToken::SquareClose)
			&& Stack.Num() == 0;
	}

protected:
	TJsonWriter(FString* const InStream, const int32 InitialIndentLevel)
		: Stream(InStream)
		, IndentLevel(InitialIndentLevel)
	{
	}

	bool IsInObject() const { return Stack.Num() > 0 && Stack.Last() == EJson::Object; }

	void WriteCommaIfNeeded()
	{
		if (PreviousTokenWritten != EJsonToken::CurlyOpen && PreviousTokenWritten != EJsonToken::SquareOpen
			&& PreviousTokenWritten != EJsonToken::Identifier)
		{
			PrintPolicy::WriteChar(Stream, CharType(','));
		}
	}

	/** The comma and line break before an unnamed object or array that is not the root. */
	void WriteValuePrefix()
	{
		if (PreviousTokenWritten != EJsonToken::None)
		{
			WriteCommaIfNeeded();
			PrintPolicy::WriteLineTerminator(Stream);
			PrintPolicy::WriteTabs(Stream, IndentLevel);
		}
	}

	void OpenScope(const EJson Type, const CharType Bracket, const EJsonToken Token)
	{
		PrintPolicy::WriteChar(Stream, Bracket);
		++IndentLevel;
		Stack.Add(Type);
		PreviousTokenWritten = Token;
	}

	void WriteIdentifier(const FString& Identifier)
	{
		WriteCommaIfNeeded();
		PrintPolicy::WriteLineTerminator(Stream);
		PrintPolicy::WriteTabs(Stream, IndentLevel);
		WriteStringValue(Identifier);
		PrintPolicy::WriteChar(Stream, CharType(':'));
	}

	EJsonToken WriteValueOnly(const bool Value)
	{
		PrintPolicy::WriteString(Stream, Value ? TEXT("true") : TEXT("false"), Value ? 4 : 5);
		return Value ? EJsonToken::True : EJsonToken::False;
	}

	EJsonToken WriteValueOnly(const float Value)
	{
		PrintPolicy::WriteFloat(Stream, Value);
		return EJsonToken::Number;
	}

	EJsonToken WriteValueOnly(const double Value)
	{
		PrintPolicy::WriteDouble(Stream, Value);
		return EJsonToken::Number;
	}

	EJsonToken WriteValueOnly(const int32 Value)
	{
		return WriteValueOnly(static_cast<int64>(Value));
	}

	EJsonToken WriteValueOnly(const int64 Value)
	{
		PrintPolicy::WriteInteger(Stream, Value);
		return EJsonToken::Number;
	}

	EJsonToken WriteValueOnly(std::nullptr_t)
	{
		PrintPolicy::WriteString(Stream, TEXT("null"), 4);
		return EJsonToken::Null;
	}

	EJsonToken WriteValueOnly(const TCHAR* Value)
	{
		WriteStringValue(FString(Value));
		return EJsonToken::String;
	}

	EJsonToken WriteValueOnly(const FString& Value)
	{
		WriteStringValue(Value);
		return EJsonToken::String;
	}

	/** Writes the string in quotes with the engine's escapes. */
	virtual void WriteStringValue(const FString& String)
	{
		const TCHAR* const Text = *String;
		const int32 Length = String.Len();
		PrintPolicy::WriteChar(Stream, CharType('"'));
		int32 RunStart = 0;
		for (int32 Index = 0; Index < Length; ++Index)
		{
			const TCHAR Char = Text[Index];
			if (Char >= 32 && Char != u'"' && Char != u'\\')
			{
				continue;
			}
			PrintPolicy::WriteString(Stream, Text + RunStart, Index - RunStart);
			RunStart = Index + 1;
			WriteEscape(Char);
		}
		PrintPolicy::WriteString(Stream, Text + RunStart, Length - RunStart);
		PrintPolicy::WriteChar(Stream, CharType('"'));
	}

	FString* const Stream;
	TArray<EJson> Stack;
	EJsonToken PreviousTokenWritten = EJsonToken::None;
	int32 IndentLevel = 0;

private:
	void WriteEscape(const TCHAR Char)
	{
		static constexpr TCHAR HexDigits[] = u"0123456789abcdef";
		TCHAR Escape[6] = {u'\\', 0, 0, 0, 0, 0};
		int32 EscapeLength = 2;
		switch (Char)
		{
		case u'"': Escape[1] = u'"'; break;
		case u'\\': Escape[1] = u'\\'; break;
		case u'\b': Escape[1] = u'b'; break;
		case u'\t': Escape[1] = u't'; break;
		case u'\n': Escape[1] = u'n'; break;
		case u'\f': Escape[1] = u'f'; break;
		case u'\r': Escape[1] = u'r'; break;
		default:
			Escape[1] = u'u';
			Escape[2] = u'0';
			Escape[3] = u'0';
			Escape[4] = HexDigits[(Char >> 4) & 0xF];
			Escape[5] = HexDigits[Char & 0xF];
			EscapeLength = 6;
			break;
		}
		PrintPolicy::WriteString(Stream, Escape, EscapeLength);
	}
};

/** A writer that builds a string and puts it in the caller's FString on Close, replacing its content. */
template <class PrintPolicy = TPrettyJsonPrintPolicy<TCHAR>>
class TJsonStringWriter : public TJsonWriter<TCHAR, PrintPolicy>
{
public:
	static TSharedRef<TJsonStringWriter> Create(FString* const InStream, const int32 InitialIndent = 0)
	{
		return MakeShareable(new TJsonStringWriter(InStream, InitialIndent));
	}

	bool Close() override
	{
		if (OutString != nullptr)
		{
			*OutString = Buffer;
		}
		return TJsonWriter<TCHAR, PrintPolicy>::Close();
	}

protected:
	TJsonStringWriter(FString* const InOutString, const int32 InitialIndent)
		: TJsonWriter<TCHAR, PrintPolicy>(&Buffer, InitialIndent)
		, OutString(InOutString)
	{
	}

private:
	FString Buffer;
	FString* OutString;
};

template <class CharType = TCHAR, class PrintPolicy = TPrettyJsonPrintPolicy<CharType>>
class TJsonWriterFactory
{
public:
	/** A writer into Stream; the text lands in Stream only when the writer is closed. */
	static TSharedRef<TJsonWriter<TCHAR, PrintPolicy>> Create(FString* const Stream, const int32 InitialIndentLevel = 0)
	{
		return TJsonStringWriter<PrintPolicy>::Create(Stream, InitialIndentLevel);
	}
};
