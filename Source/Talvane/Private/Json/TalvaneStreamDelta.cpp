#include "TalvaneStreamDelta.h"

#include <cstring>

using namespace TalvaneJson::StreamDelta;

namespace
{
	/** Whether the bytes hold the ASCII text; the tree path scans the decoded text the same way, case-sensitively. */
	bool ContainsAscii(const uint8* const InData, const int32 InLength, const ANSICHAR* const InText, const int32 InTextLength)
	{
		const uint8* Cursor = InData;
		const uint8* const Last = InData + InLength - InTextLength;
		while (Cursor <= Last)
		{
			const void* const First = std::memchr(Cursor, InText[0], static_cast<SIZE_T>(Last - Cursor + 1));
			if (First == nullptr)
			{
				return false;
			}
			Cursor = static_cast<const uint8*>(First);
			if (std::memcmp(Cursor, InText, static_cast<SIZE_T>(InTextLength)) == 0)
			{
				return true;
			}
			++Cursor;
		}
		return false;
	}

	int32 HexValue(const uint8 Byte)
	{
		return Byte <= '9' ? Byte - '0' : (Byte | 0x20) - 'a' + 10;
	}

	/** Decodes one well-formed UTF-8 sequence at Cursor; false for anything the engine would not decode as such. */
	bool DecodeSequence(const uint8*& Cursor, const uint8* const End, TCHAR*& Write)
	{
		const uint8 Lead = *Cursor;
		const int32 Length = Lead >= 0xC2 && Lead <= 0xDF ? 2 : Lead >= 0xE0 && Lead <= 0xEF ? 3 : Lead >= 0xF0 && Lead <= 0xF4 ? 4 : 0;
		if (Length == 0 || End - Cursor < Length)
		{
			return false;
		}
		uint32 CodePoint = Lead & (Length == 2 ? 0x1F : Length == 3 ? 0x0F : 0x07);
		for (int32 Index = 1; Index < Length; ++Index)
		{
			if ((Cursor[Index] & 0xC0) != 0x80)
			{
				return false;
			}
			CodePoint = (CodePoint << 6) | (Cursor[Index] & 0x3F);
		}
		const uint32 Minimum = Length == 2 ? 0x80 : Length == 3 ? 0x800 : 0x10000;
		if (CodePoint < Minimum || CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF))
		{
			return false;
		}
		if (CodePoint >= 0x10000)
		{
			*Write++ = static_cast<TCHAR>(0xD800 + ((CodePoint - 0x10000) >> 10));
			*Write++ = static_cast<TCHAR>(0xDC00 + ((CodePoint - 0x10000) & 0x3FF));
		}
		else
		{
			*Write++ = static_cast<TCHAR>(CodePoint);
		}
		Cursor += Length;
		return true;
	}

	/**
	 * Bytes that are not well-formed go through the engine's own converter, up to the next ASCII
	 * byte: its '?' for each bad byte is then exactly what the tree path's text holds.
	 */
	void ConvertMalformed(const uint8*& Cursor, const uint8* const End, TCHAR*& Write)
	{
		const uint8* Stop = Cursor;
		while (Stop < End && *Stop >= 0x80)
		{
			++Stop;
		}
		const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Cursor), static_cast<int32>(Stop - Cursor));
		std::memcpy(Write, Converted.Get(), static_cast<SIZE_T>(Converted.Length()) * sizeof(TCHAR));
		Write += Converted.Length();
		Cursor = Stop;
	}

	/** The escape after a backslash, already checked by the scan. A \u0000 is dropped, as the engine's string drops it. */
	void DecodeEscape(const uint8*& Cursor, TCHAR*& Write)
	{
		const uint8 Escaped = Cursor[1];
		Cursor += 2;
		switch (Escaped)
		{
		case 'b': *Write++ = TEXT('\b'); return;
		case 'f': *Write++ = TEXT('\f'); return;
		case 'n': *Write++ = TEXT('\n'); return;
		case 'r': *Write++ = TEXT('\r'); return;
		case 't': *Write++ = TEXT('\t'); return;
		case 'u': break;
		default: *Write++ = static_cast<TCHAR>(Escaped); return;
		}
		const int32 Unit = (HexValue(Cursor[0]) << 12) | (HexValue(Cursor[1]) << 8) | (HexValue(Cursor[2]) << 4) | HexValue(Cursor[3]);
		Cursor += 4;
		if (Unit != 0)
		{
			*Write++ = static_cast<TCHAR>(Unit);
		}
	}
}

void TalvaneJson::StreamDelta::DecodeString(const uint8* const InData, const FValueSpan& InSpan, TArray<TCHAR>& Scratch, FString& OutText)
{
	OutText.Reset();
	const int32 Count = InSpan.End - InSpan.Begin;
	if (Count <= 0)
	{
		return;
	}
	// No text is longer in UTF-16 units than in bytes, escapes included.
	if (Scratch.Num() < Count)
	{
		Scratch.SetNumUninitialized(Count, false);
	}
	const uint8* Cursor = InData + InSpan.Begin;
	const uint8* const End = InData + InSpan.End;
	TCHAR* const Start = Scratch.GetData();
	TCHAR* Write = Start;
	while (Cursor < End)
	{
		const uint8 Byte = *Cursor;
		if (Byte >= 0x80)
		{
			if (!DecodeSequence(Cursor, End, Write))
			{
				ConvertMalformed(Cursor, End, Write);
			}
		}
		else if (Byte == '\\')
		{
			DecodeEscape(Cursor, Write);
		}
		else
		{
			// A NUL inside a string is dropped, as the engine's reader drops it.
			if (Byte != 0)
			{
				*Write++ = static_cast<TCHAR>(Byte);
			}
			++Cursor;
		}
	}
	OutText.AppendChars(Start, static_cast<int32>(Write - Start));
}

TalvaneJson::EStreamDeltaKind TalvaneJson::FStreamDeltaReader::Read(const uint8* const InData, const int32 InLength,
	const ENimbrelProtocol InProtocol)
{
	NumChoices = 0;
	bool bRootIsObject = false;
	if (!ScanDocument(InData, InLength, Scratch, Spans, bRootIsObject) || !bRootIsObject)
	{
		return EStreamDeltaKind::NotAnObject;
	}
	if (IsErrorDocument(InData, InLength, InProtocol == ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
	{
		return EStreamDeltaKind::Error;
	}
	ReadChoices(InData, InProtocol);
	return EStreamDeltaKind::Answer;
}

TalvaneJson::EStreamDeltaKind TalvaneJson::FStreamDeltaReader::Read(const FString& InData, const ENimbrelProtocol InProtocol)
{
	const FTCHARToUTF8 Converted(*InData, InData.Len());
	return Read(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length(), InProtocol);
}

bool TalvaneJson::FStreamDeltaReader::IsErrorDocument(const uint8* const InData, const int32 InLength, const bool bLocalRefusal)
{
	// The tree path parses only an event that names the keys in lower case; the same gate keeps its answers.
	const bool bMayHoldError = ContainsAscii(InData, InLength, "\"error\"", 7);
	const bool bMayBeRefusal = bLocalRefusal && ContainsAscii(InData, InLength, "\"code\"", 6);
	if (!bMayHoldError && !bMayBeRefusal)
	{
		return false;
	}
	if (Spans.Error.Kind != EValueKind::None && Spans.Error.Kind != EValueKind::Null)
	{
		return true;
	}
	double Code = 0.0;
	return bLocalRefusal && TryGetNumber(InData, Spans.Code, Code) && Code != 0.0 && IsText(Spans.Message) && !Spans.bHasChoices;
}

bool TalvaneJson::FStreamDeltaReader::TryGetNumber(const uint8* const InData, const FValueSpan& InSpan, double& OutNumber)
{
	switch (InSpan.Kind)
	{
	case EValueKind::True:
	case EValueKind::False:
		OutNumber = InSpan.Kind == EValueKind::True ? 1.0 : 0.0;
		return true;
	case EValueKind::Number:
		OutNumber = NumberOf(InData, InSpan);
		return true;
	case EValueKind::String:
		// As FJsonValueString::TryGetNumber: only a numeric string is a number.
		DecodeString(InData, InSpan, Scratch, NumberText);
		if (!NumberText.IsNumeric())
		{
			return false;
		}
		OutNumber = FCString::Atod(*NumberText);
		return true;
	default:
		return false;
	}
}

double TalvaneJson::FStreamDeltaReader::NumberOf(const uint8* const InData, const FValueSpan& InSpan)
{
	NumberText.Reset();
	for (int32 Index = InSpan.Begin; Index < InSpan.End; ++Index)
	{
		NumberText.AppendChar(static_cast<TCHAR>(InData[Index]));
	}
	return FCString::Atod(*NumberText);
}

void TalvaneJson::FStreamDeltaReader::ReadChoices(const uint8* const InData, const ENimbrelProtocol InProtocol)
{
	NumChoices = Spans.Choices.Num();
	while (Choices.Num() < NumChoices)
	{
		Choices.AddDefaulted();
	}
	const bool bFIM = InProtocol == ENimbrelProtocol::NIMBREL_FIM;
	for (int32 Index = 0; Index < NumChoices; ++Index)
	{
		const FChoiceSpans& Found = Spans.Choices[Index];
		FStreamDeltaChoice& Choice = Choices[Index];
		ReadText(InData, Found.FinishReason, Choice.FinishReason);
		// The tree path reads "message" first and lets "delta" replace what it has.
		ReadText(InData, bFIM ? FValueSpan() : IsText(Found.Delta.Content) ? Found.Delta.Content : Found.Message.Content, Choice.Content);
		ReadText(InData, bFIM ? FValueSpan() : IsText(Found.Delta.ReasoningContent) ? Found.Delta.ReasoningContent : Found.Message.ReasoningContent,
			Choice.ReasoningContent);
		ReadText(InData, bFIM ? Found.Text : FValueSpan(), Choice.Text);
	}
}

void TalvaneJson::FStreamDeltaReader::ReadText(const uint8* const InData, const FValueSpan& InSpan, FString& OutText)
{
	switch (InSpan.Kind)
	{
	case EValueKind::String:
		DecodeString(InData, InSpan, Scratch, OutText);
		return;
	case EValueKind::Number:
	{
		// As FJsonValueNumber::TryGetString, which never prints a negative zero.
		const double Number = NumberOf(InData, InSpan);
		OutText = FString::SanitizeFloat(Number == 0.0 ? 0.0 : Number, 0);
		return;
	}
	case EValueKind::True:
	case EValueKind::False:
		OutText.Reset();
		OutText.Append(InSpan.Kind == EValueKind::True ? TEXT("true") : TEXT("false"));
		return;
	default:
		OutText.Reset();
		return;
	}
}
