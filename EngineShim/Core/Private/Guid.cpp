#include "Misc/Guid.h"

#include <mutex>
#include <random>

namespace
{
	bool ReadHex(const FString& Text, const int32 Start, const int32 Count, uint32& OutValue)
	{
		uint32 Value = 0;
		for (int32 Index = Start; Index < Start + Count; ++Index)
		{
			const TCHAR Char = Text[Index];
			if (!FChar::IsHexDigit(Char))
			{
				return false;
			}
			const uint32 Digit = FChar::IsDigit(Char) ? Char - u'0' : FChar::ToLower(Char) - u'a' + 10;
			Value = (Value << 4) | Digit;
		}
		OutValue = Value;
		return true;
	}

	/** Reads a hyphenated form starting at Offset: 8-4-4-4-12 digits. */
	bool ReadHyphenated(const FString& Text, const int32 Offset, FGuid& OutGuid)
	{
		const int32 Hyphens[] = {8, 13, 18, 23};
		for (const int32 Hyphen : Hyphens)
		{
			if (Text[Offset + Hyphen] != u'-')
			{
				return false;
			}
		}
		uint32 B1 = 0, B2 = 0, C1 = 0, C2 = 0;
		FGuid Guid;
		if (!ReadHex(Text, Offset, 8, Guid.A) || !ReadHex(Text, Offset + 9, 4, B1) || !ReadHex(Text, Offset + 14, 4, B2)
			|| !ReadHex(Text, Offset + 19, 4, C1) || !ReadHex(Text, Offset + 24, 4, C2) || !ReadHex(Text, Offset + 28, 8, Guid.D))
		{
			return false;
		}
		Guid.B = (B1 << 16) | B2;
		Guid.C = (C1 << 16) | C2;
		OutGuid = Guid;
		return true;
	}
}

FGuid FGuid::NewGuid()
{
	static std::mutex Mutex;
	static std::mt19937_64 Generator{std::random_device{}()};
	const std::lock_guard<std::mutex> Lock(Mutex);
	FGuid Guid;
	do
	{
		const uint64 High = Generator();
		const uint64 Low = Generator();
		Guid = FGuid(static_cast<uint32>(High >> 32), static_cast<uint32>(High), static_cast<uint32>(Low >> 32), static_cast<uint32>(Low));
	}
	while (!Guid.IsValid());
	return Guid;
}

bool FGuid::Parse(const FString& GuidString, FGuid& OutGuid)
{
	switch (GuidString.Len())
	{
	case 32:
		return ParseExact(GuidString, EGuidFormats::Digits, OutGuid);
	case 36:
		return ParseExact(GuidString, EGuidFormats::DigitsWithHyphens, OutGuid);
	case 38:
		return ParseExact(GuidString, GuidString[0] == u'(' ? EGuidFormats::DigitsWithHyphensInParentheses
			: EGuidFormats::DigitsWithHyphensInBraces, OutGuid);
	default:
		return false;
	}
}

bool FGuid::ParseExact(const FString& GuidString, const EGuidFormats Format, FGuid& OutGuid)
{
	switch (Format)
	{
	case EGuidFormats::Digits:
	case EGuidFormats::DigitsLower:
	{
		FGuid Guid;
		if (GuidString.Len() != 32 || !ReadHex(GuidString, 0, 8, Guid.A) || !ReadHex(GuidString, 8, 8, Guid.B)
			|| !ReadHex(GuidString, 16, 8, Guid.C) || !ReadHex(GuidString, 24, 8, Guid.D))
		{
			return false;
		}
		OutGuid = Guid;
		return true;
	}
	case EGuidFormats::DigitsWithHyphens:
	case EGuidFormats::DigitsWithHyphensLower:
		return GuidString.Len() == 36 && ReadHyphenated(GuidString, 0, OutGuid);
	case EGuidFormats::DigitsWithHyphensInBraces:
		return GuidString.Len() == 38 && GuidString[0] == u'{' && GuidString[37] == u'}' && ReadHyphenated(GuidString, 1, OutGuid);
	case EGuidFormats::DigitsWithHyphensInParentheses:
		return GuidString.Len() == 38 && GuidString[0] == u'(' && GuidString[37] == u')' && ReadHyphenated(GuidString, 1, OutGuid);
	default:
		return false;
	}
}

FString FGuid::ToString(const EGuidFormats Format) const
{
	switch (Format)
	{
	case EGuidFormats::DigitsLower:
		return FString::Printf(TEXT("%08x%08x%08x%08x"), A, B, C, D);
	case EGuidFormats::DigitsWithHyphens:
		return FString::Printf(TEXT("%08X-%04X-%04X-%04X-%04X%08X"), A, B >> 16, B & 0xFFFF, C >> 16, C & 0xFFFF, D);
	case EGuidFormats::DigitsWithHyphensLower:
		return FString::Printf(TEXT("%08x-%04x-%04x-%04x-%04x%08x"), A, B >> 16, B & 0xFFFF, C >> 16, C & 0xFFFF, D);
	case EGuidFormats::DigitsWithHyphensInBraces:
		return FString::Printf(TEXT("{%08X-%04X-%04X-%04X-%04X%08X}"), A, B >> 16, B & 0xFFFF, C >> 16, C & 0xFFFF, D);
	case EGuidFormats::DigitsWithHyphensInParentheses:
		return FString::Printf(TEXT("(%08X-%04X-%04X-%04X-%04X%08X)"), A, B >> 16, B & 0xFFFF, C >> 16, C & 0xFFFF, D);
	default:
		return FString::Printf(TEXT("%08X%08X%08X%08X"), A, B, C, D);
	}
}
