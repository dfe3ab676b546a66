#include "TalvaneSSEByteDecoder.h"

// What the byte decoder needs to know of the data lines it has gathered for one event: whether
// they may still become one JSON document, so that a later data line belongs to them, or are a
// document already closed or something else (a keep-alive word), so that a later line may start an
// event of its own. Each gathered byte is looked at once.

void FTalvaneSSEByteDecoder::FGatheredShape::Reset()
{
	Kind = EKind::Blank;
	Depth = 0;
	bInString = false;
	bEscaped = false;
}

void FTalvaneSSEByteDecoder::FGatheredShape::Append(const uint8* InBytes, const int32 InLength)
{
	int32 Index = 0;
	if (Kind == EKind::Blank)
	{
		while (Index < InLength && IsJsonWhiteSpace(InBytes[Index]))
		{
			++Index;
		}
		if (Index == InLength)
		{
			return;
		}
		Kind = BeginsDocument(InBytes + Index, InLength - Index) ? EKind::OpenDocument : EKind::Other;
	}
	for (; Kind == EKind::ClosedDocument && Index < InLength; ++Index)
	{
		if (!IsJsonWhiteSpace(InBytes[Index]))
		{
			Kind = EKind::Other;
		}
	}
	for (; Kind == EKind::OpenDocument && Index < InLength; ++Index)
	{
		const uint8 Byte = InBytes[Index];
		if (bEscaped)
		{
			bEscaped = false;
		}
		else if (bInString)
		{
			bEscaped = Byte == '\\';
			bInString = Byte != '"';
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
			Kind = EKind::ClosedDocument;
			// Only white space may follow the closing bracket.
			Append(InBytes + Index + 1, InLength - Index - 1);
			return;
		}
	}
}

bool FTalvaneSSEByteDecoder::FGatheredShape::IsEndedBy(const uint8* InLine, const int32 InLength) const
{
	switch (Kind)
	{
	case EKind::ClosedDocument:
		// A closed document is whole: only blank lines can still belong to it.
		return !IsBlank(InLine, InLength);
	case EKind::Other:
		// Data that can never be JSON does not take a document that follows it.
		return BeginsDocument(InLine, InLength);
	default:
		// Blank data or an open document: the line may be the document or its next part.
		return false;
	}
}

bool FTalvaneSSEByteDecoder::FGatheredShape::IsBlank(const uint8* InBytes, const int32 InLength)
{
	for (int32 Index = 0; Index < InLength; ++Index)
	{
		if (!IsJsonWhiteSpace(InBytes[Index]))
		{
			return false;
		}
	}
	return true;
}

bool FTalvaneSSEByteDecoder::FGatheredShape::IsJsonWhiteSpace(const uint8 Byte)
{
	return Byte == ' ' || Byte == '\t' || Byte == '\n' || Byte == '\r';
}

bool FTalvaneSSEByteDecoder::FGatheredShape::BeginsDocument(const uint8* InBytes, const int32 InLength)
{
	int32 Index = 0;
	while (Index < InLength && IsJsonWhiteSpace(InBytes[Index]))
	{
		++Index;
	}
	return Index < InLength && (InBytes[Index] == '{' || InBytes[Index] == '[');
}
