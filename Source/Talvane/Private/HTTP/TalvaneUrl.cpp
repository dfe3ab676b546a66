#include "HTTP/TalvaneUrl.h"

namespace TalvaneHttp
{
	namespace
	{
		bool IsKeptInPathSegment(const ANSICHAR InByte)
		{
			return (InByte >= 'A' && InByte <= 'Z') || (InByte >= 'a' && InByte <= 'z') || (InByte >= '0' && InByte <= '9')
				|| InByte == '-' || InByte == '_';
		}
	}

	FString EncodePathSegment(const FString& InSegment)
	{
		static const TCHAR HexDigits[] = TEXT("0123456789ABCDEF");
		const FTCHARToUTF8 Utf8(*InSegment, InSegment.Len());
		FString Encoded;
		Encoded.Reserve(Utf8.Length() * 3);
		for (int32 Index = 0; Index < Utf8.Length(); ++Index)
		{
			const ANSICHAR Byte = Utf8.Get()[Index];
			if (IsKeptInPathSegment(Byte))
			{
				Encoded.AppendChar(static_cast<TCHAR>(Byte));
				continue;
			}
			const uint8 Value = static_cast<uint8>(Byte);
			Encoded.AppendChar(TEXT('%'));
			Encoded.AppendChar(HexDigits[Value >> 4]);
			Encoded.AppendChar(HexDigits[Value & 0x0F]);
		}
		return Encoded;
	}
}
