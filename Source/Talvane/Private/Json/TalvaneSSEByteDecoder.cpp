#include "TalvaneSSEByteDecoder.h"

#include <cstring>

// The line and event rules of FTalvaneSSEDecoder (TalvaneSSEDecoder.cpp), on bytes. Its text is
// decoded from UTF-8 a line at a time and joined with LF; decoding keeps every ASCII byte as itself,
// so decoding the joined bytes gives the same text.

namespace
{
	const uint8 ByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

	/** Whether the bytes begin with the ASCII text InPrefix. */
	bool StartsWithAscii(const uint8* InBytes, const int32 InLength, const ANSICHAR* InPrefix, const int32 InPrefixLength)
	{
		if (InLength < InPrefixLength)
		{
			return false;
		}
		for (int32 Index = 0; Index < InPrefixLength; ++Index)
		{
			if (InBytes[Index] != static_cast<uint8>(InPrefix[Index]))
			{
				return false;
			}
		}
		return true;
	}

	bool IsJsonWhitespace(const uint8 Byte)
	{
		return Byte == ' ' || Byte == '\t' || Byte == '\n' || Byte == '\r';
	}

	/**
	 * Whether the bytes hold exactly one JSON object or array with balanced brackets outside of
	 * strings, and nothing but white space around it. Validity is left to the JSON reader: this
	 * only tells a document that is whole from one that goes on in the next data line.
	 */
	bool IsCompleteJsonDocument(const uint8* InBytes, const int32 InLength)
	{
		int32 Index = 0;
		while (Index < InLength && IsJsonWhitespace(InBytes[Index]))
		{
			++Index;
		}
		if (Index == InLength || (InBytes[Index] != '{' && InBytes[Index] != '['))
		{
			return false;
		}
		int32 Depth = 0;
		bool bInString = false;
		for (; Index < InLength; ++Index)
		{
			const uint8 Byte = InBytes[Index];
			if (bInString)
			{
				if (Byte == '\\')
				{
					++Index;
				}
				else if (Byte == '"')
				{
					bInString = false;
				}
			}
			else if (Byte == '"')
			{
				bInString = true;
			}
			else if (Byte == '{' || Byte == '[')
			{
				++Depth;
			}
			else if ((Byte == '}' || Byte == ']') && --Depth == 0)
			{
				++Index;
				break;
			}
		}
		if (Depth != 0 || bInString)
		{
			return false;
		}
		for (; Index < InLength; ++Index)
		{
			if (!IsJsonWhitespace(InBytes[Index]))
			{
				return false;
			}
		}
		return true;
	}

	bool IsEndMarker(const uint8* InBytes, const int32 InLength)
	{
		int32 First = 0;
		int32 Last = InLength;
		while (First < Last && IsJsonWhitespace(InBytes[First]))
		{
			++First;
		}
		while (Last > First && IsJsonWhitespace(InBytes[Last - 1]))
		{
			--Last;
		}
		return Last - First == 6 && StartsWithAscii(InBytes + First, 6, "[DONE]", 6);
	}

	/** FChar::IsWhitespace of the character an ASCII byte decodes to. */
	bool IsTextWhiteSpace(const uint8 Byte)
	{
		return Byte < 0x80 && FChar::IsWhitespace(static_cast<TCHAR>(Byte));
	}

	/** What FTalvaneSSEDecoder makes of data that begins or ends with a character outside ASCII: its own test on the text. */
	void ClassifyText(const uint8* InData, const int32 InLength, bool& bOutMarker, bool& bOutBlank)
	{
		const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(InData), InLength);
		const TCHAR* const Text = Converted.Get();
		int32 First = 0;
		int32 Last = Converted.Length();
		while (First < Last && FChar::IsWhitespace(Text[First]))
		{
			++First;
		}
		while (Last > First && FChar::IsWhitespace(Text[Last - 1]))
		{
			--Last;
		}
		bOutMarker = Last - First == 6 && FCString::Strncmp(Text + First, TEXT("[DONE]"), 6) == 0;
		bOutBlank = First == Last;
	}
}

void FTalvaneSSEByteDecoder::Feed(const uint8* InBytes, const int32 InCount, TArray<FTalvaneSSEEventRange>& OutEvents)
{
	EventBytes.Reset();
	if (InBytes == nullptr || InCount <= 0)
	{
		return;
	}
	if (bStreamEnded)
	{
		ClearStreamState();
	}
	BytesFed += InCount;
	int32 Offset = 0;
	if (!bStartChecked)
	{
		while (Offset < InCount && MarkBytesMatched < 3 && InBytes[Offset] == ByteOrderMark[MarkBytesMatched])
		{
			++MarkBytesMatched;
			++Offset;
		}
		if (MarkBytesMatched < 3 && Offset == InCount)
		{
			// All bytes so far may still begin a byte-order mark: wait for the next one.
			return;
		}
		bStartChecked = true;
		if (MarkBytesMatched < 3)
		{
			// Not a mark after all: what matched of it is text.
			ConsumeBytes(ByteOrderMark, MarkBytesMatched, OutEvents);
		}
	}
	ConsumeBytes(InBytes + Offset, InCount - Offset, OutEvents);
}

void FTalvaneSSEByteDecoder::Finish(TArray<FTalvaneSSEEventRange>& OutEvents)
{
	EventBytes.Reset();
	if (!bStartChecked)
	{
		ConsumeBytes(ByteOrderMark, MarkBytesMatched, OutEvents);
	}
	if (PendingLine.Num() > 0)
	{
		// The body ended inside a line: it ends there.
		TArray<uint8> LastLine = MoveTemp(PendingLine);
		PendingLine.Reset();
		HandleLine(LastLine.GetData(), LastLine.Num(), OutEvents);
	}
	DispatchGathered(OutEvents);
	if (!bSawDataLine && WholeBody.Num() > 0)
	{
		// No data line at all: a whole answer was sent where a stream was expected.
		AddEvent(WholeBody.GetData(), WholeBody.Num(), OutEvents);
	}
	// What the ended stream held stays readable until the next stream starts.
	const bool bEndedWithData = bSawDataLine;
	const bool bEndedWithMarker = bSawEndMarker;
	ClearStreamState();
	bSawDataLine = bEndedWithData;
	bSawEndMarker = bEndedWithMarker;
	bStreamEnded = true;
}

void FTalvaneSSEByteDecoder::Reset()
{
	ClearStreamState();
	EventBytes.Empty();
	BytesFed = 0;
}

void FTalvaneSSEByteDecoder::ConsumeBytes(const uint8* InBytes, const int32 InCount, TArray<FTalvaneSSEEventRange>& OutEvents)
{
	if (InCount <= 0)
	{
		return;
	}
	if (!bSawDataLine)
	{
		WholeBody.Append(InBytes, InCount);
	}
	int32 Index = 0;
	if (bSkipNextLineFeed)
	{
		bSkipNextLineFeed = false;
		Index = InBytes[0] == '\n' ? 1 : 0;
	}
	int32 LineStart = Index;
	for (; Index < InCount; ++Index)
	{
		const uint8 Byte = InBytes[Index];
		if (Byte != '\n' && Byte != '\r')
		{
			continue;
		}
		if (PendingLine.Num() > 0)
		{
			PendingLine.Append(InBytes + LineStart, Index - LineStart);
			HandleLine(PendingLine.GetData(), PendingLine.Num(), OutEvents);
			PendingLine.Reset();
		}
		else
		{
			HandleLine(InBytes + LineStart, Index - LineStart, OutEvents);
		}
		if (Byte == '\r')
		{
			if (Index + 1 == InCount)
			{
				bSkipNextLineFeed = true;
			}
			else if (InBytes[Index + 1] == '\n')
			{
				++Index;
			}
		}
		LineStart = Index + 1;
	}
	PendingLine.Append(InBytes + LineStart, InCount - LineStart);
}

void FTalvaneSSEByteDecoder::HandleLine(const uint8* InLine, const int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents)
{
	if (InLength == 0)
	{
		DispatchGathered(OutEvents);
		return;
	}
	const bool bDataWithValue = StartsWithAscii(InLine, InLength, "data:", 5);
	const bool bDataWithoutValue = InLength == 4 && StartsWithAscii(InLine, InLength, "data", 4);
	if (!bDataWithValue && !bDataWithoutValue)
	{
		// A comment (':' first) or a field that carries no text.
		return;
	}
	if (!bSawDataLine)
	{
		bSawDataLine = true;
		WholeBody.Empty();
	}
	int32 ValueStart = bDataWithValue ? 5 : 4;
	if (ValueStart < InLength && InLine[ValueStart] == ' ')
	{
		++ValueStart;
	}
	HandleDataValue(InLine + ValueStart, InLength - ValueStart, OutEvents);
}

void FTalvaneSSEByteDecoder::HandleDataValue(const uint8* InValue, const int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents)
{
	if (bGathering)
	{
		// The end marker, a line after a closed document, or a document after a stray line ("ping")
		// ends the gathered event, so no line that is not JSON takes the answer's next events with it.
		// Inside a document still open every line belongs to it.
		if (!IsEndMarker(InValue, InLength) && !GatheredShape.IsEndedBy(InValue, InLength))
		{
			const uint8 LineFeed = '\n';
			GatheredData.Add(LineFeed);
			GatheredData.Append(InValue, InLength);
			GatheredShape.Append(&LineFeed, 1);
			GatheredShape.Append(InValue, InLength);
			return;
		}
		DispatchGathered(OutEvents);
	}
	if (IsCompleteJsonDocument(InValue, InLength) || IsEndMarker(InValue, InLength))
	{
		bSawEndMarker |= AddEvent(InValue, InLength, OutEvents);
		return;
	}
	bGathering = true;
	GatheredData.Append(InValue, InLength);
	GatheredShape.Reset();
	GatheredShape.Append(InValue, InLength);
}

void FTalvaneSSEByteDecoder::DispatchGathered(TArray<FTalvaneSSEEventRange>& OutEvents)
{
	if (!bGathering)
	{
		return;
	}
	bGathering = false;
	bSawEndMarker |= AddEvent(GatheredData.GetData(), GatheredData.Num(), OutEvents);
	GatheredData.Reset();
}

void FTalvaneSSEByteDecoder::ClearStreamState()
{
	PendingLine.Empty();
	WholeBody.Empty();
	GatheredData.Empty();
	GatheredShape.Reset();
	MarkBytesMatched = 0;
	bStartChecked = false;
	bGathering = false;
	bSawDataLine = false;
	bSawEndMarker = false;
	bStreamEnded = false;
	bSkipNextLineFeed = false;
}

bool FTalvaneSSEByteDecoder::AddEvent(const uint8* const InData, const int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents)
{
	int32 First = 0;
	int32 Last = InLength;
	while (First < Last && IsTextWhiteSpace(InData[First]))
	{
		++First;
	}
	while (Last > First && IsTextWhiteSpace(InData[Last - 1]))
	{
		--Last;
	}
	bool bMarker = Last - First == 6 && std::memcmp(InData + First, "[DONE]", 6) == 0;
	bool bBlank = First == Last;
	if (!bBlank && (InData[First] >= 0x80 || InData[Last - 1] >= 0x80))
	{
		// The text decoder trims white space of any kind the engine knows, not only ASCII.
		ClassifyText(InData + First, Last - First, bMarker, bBlank);
	}
	if (bMarker)
	{
		return true;
	}
	if (!bBlank)
	{
		FTalvaneSSEEventRange& Range = OutEvents.AddDefaulted_GetRef();
		Range.Offset = EventBytes.Num();
		Range.Length = InLength;
		EventBytes.Append(InData, InLength);
	}
	return false;
}
