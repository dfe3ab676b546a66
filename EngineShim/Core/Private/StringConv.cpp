#include "Containers/StringConv.h"

namespace
{
	constexpr char16_t BogusChar = u'?';

	/** Length of the sequence a lead byte starts, or 0 for a byte that cannot lead one. */
	int32 SequenceLength(const uint8 Lead)
	{
		if (Lead < 0x80)
		{
			return 1;
		}
		if (Lead >= 0xC2 && Lead <= 0xDF)
		{
			return 2;
		}
		if (Lead >= 0xE0 && Lead <= 0xEF)
		{
			return 3;
		}
		if (Lead >= 0xF0 && Lead <= 0xF4)
		{
			return 4;
		}
		return 0;
	}

	/** Decodes one well-formed sequence, or returns false (overlong, surrogate, out of range, short). */
	bool DecodeSequence(const uint8* Bytes, const int32 Length, uint32& OutCodePoint)
	{
		uint32 CodePoint = Length == 2 ? (Bytes[0] & 0x1F) : Length == 3 ? (Bytes[0] & 0x0F) : (Bytes[0] & 0x07);
		for (int32 Index = 1; Index < Length; ++Index)
		{
			if ((Bytes[Index] & 0xC0) != 0x80)
			{
				return false;
			}
			CodePoint = (CodePoint << 6) | (Bytes[Index] & 0x3F);
		}
		const uint32 Minimum = Length == 2 ? 0x80 : Length == 3 ? 0x800 : 0x10000;
		if (CodePoint < Minimum || CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF))
		{
			return false;
		}
		OutCodePoint = CodePoint;
		return true;
	}
}

void UE::Core::Private::AppendUTF8ToUTF16(const ANSICHAR* Source, const int64 Count, std::u16string& Out)
{
	const uint8* Bytes = reinterpret_cast<const uint8*>(Source);
	Out.reserve(Out.size() + static_cast<SIZE_T>(Count));
	int64 Position = 0;
	while (Position < Count)
	{
		const uint8 Lead = Bytes[Position];
		if (Lead < 0x80)
		{
			Out.push_back(static_cast<char16_t>(Lead));
			++Position;
			continue;
		}
		const int32 Length = SequenceLength(Lead);
		uint32 CodePoint = 0;
		if (Length == 0 || Position + Length > Count || !DecodeSequence(Bytes + Position, Length, CodePoint))
		{
			Out.push_back(BogusChar);
			++Position;
			continue;
		}
		if (CodePoint >= 0x10000)
		{
			CodePoint -= 0x10000;
			Out.push_back(static_cast<char16_t>(0xD800 + (CodePoint >> 10)));
			Out.push_back(static_cast<char16_t>(0xDC00 + (CodePoint & 0x3FF)));
		}
		else
		{
			Out.push_back(static_cast<char16_t>(CodePoint));
		}
		Position += Length;
	}
}

void UE::Core::Private::AppendUTF16ToUTF8(const TCHAR* Source, const int64 Count, std::string& Out)
{
	Out.reserve(Out.size() + static_cast<SIZE_T>(Count));
	for (int64 Index = 0; Index < Count; ++Index)
	{
		uint32 CodePoint = Source[Index];
		if (CodePoint >= 0xD800 && CodePoint <= 0xDBFF && Index + 1 < Count && Source[Index + 1] >= 0xDC00 && Source[Index + 1] <= 0xDFFF)
		{
			CodePoint = 0x10000 + ((CodePoint - 0xD800) << 10) + (Source[Index + 1] - 0xDC00);
			++Index;
		}
		else if (CodePoint >= 0xD800 && CodePoint <= 0xDFFF)
		{
			CodePoint = '?';
		}
		if (CodePoint < 0x80)
		{
			Out.push_back(static_cast<char>(CodePoint));
		}
		else if (CodePoint < 0x800)
		{
			Out.push_back(static_cast<char>(0xC0 | (CodePoint >> 6)));
			Out.push_back(static_cast<char>(0x80 | (CodePoint & 0x3F)));
		}
		else if (CodePoint < 0x10000)
		{
			Out.push_back(static_cast<char>(0xE0 | (CodePoint >> 12)));
			Out.push_back(static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F)));
			Out.push_back(static_cast<char>(0x80 | (CodePoint & 0x3F)));
		}
		else
		{
			Out.push_back(static_cast<char>(0xF0 | (CodePoint >> 18)));
			Out.push_back(static_cast<char>(0x80 | ((CodePoint >> 12) & 0x3F)));
			Out.push_back(static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F)));
			Out.push_back(static_cast<char>(0x80 | (CodePoint & 0x3F)));
		}
	}
}
