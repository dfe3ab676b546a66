#pragma once

// UTF-8 <-> UTF-16 conversion. Invalid input never fails: an invalid UTF-8 sequence or a lone
// surrogate becomes '?', as in the engine.

#include <string>

#include "CoreTypes.h"

namespace UE::Core::Private
{
	/** Appends the UTF-16 form of Count bytes of UTF-8. */
	CORE_API void AppendUTF8ToUTF16(const ANSICHAR* Source, int64 Count, std::u16string& Out);
	/** Appends the UTF-8 form of Count UTF-16 units. */
	CORE_API void AppendUTF16ToUTF8(const TCHAR* Source, int64 Count, std::string& Out);
}

/** Converts TCHAR text to UTF-8 for the lifetime of this object. */
class FTCHARToUTF8
{
public:
	explicit FTCHARToUTF8(const TCHAR* Source) : FTCHARToUTF8(Source, Source ? static_cast<int32>(std::char_traits<TCHAR>::length(Source)) : 0) {}
	FTCHARToUTF8(const TCHAR* Source, const int32 SourceLen)
	{
		if (Source && SourceLen > 0)
		{
			UE::Core::Private::AppendUTF16ToUTF8(Source, SourceLen, Converted);
		}
	}
	const ANSICHAR* Get() const { return Converted.c_str(); }
	int32 Length() const { return static_cast<int32>(Converted.size()); }

private:
	std::string Converted;
};

/** Converts UTF-8 text to TCHAR for the lifetime of this object. */
class FUTF8ToTCHAR
{
public:
	explicit FUTF8ToTCHAR(const ANSICHAR* Source) : FUTF8ToTCHAR(Source, Source ? static_cast<int32>(std::char_traits<ANSICHAR>::length(Source)) : 0) {}
	FUTF8ToTCHAR(const ANSICHAR* Source, const int32 SourceLen)
	{
		if (Source && SourceLen > 0)
		{
			UE::Core::Private::AppendUTF8ToUTF16(Source, SourceLen, Converted);
		}
	}
	const TCHAR* Get() const { return Converted.c_str(); }
	int32 Length() const { return static_cast<int32>(Converted.size()); }

private:
	std::u16string Converted;
};

typedef FTCHARToUTF8 FTCHARToANSI;

/** The engine's conversion helper: StringCast<ANSICHAR>(TcharText) or StringCast<TCHAR>(Utf8Text). */
template <typename To, typename From>
auto StringCast(const From* Source)
{
	if constexpr (std::is_same_v<To, TCHAR> && std::is_same_v<From, ANSICHAR>)
	{
		return FUTF8ToTCHAR(Source);
	}
	else
	{
		static_assert(std::is_same_v<From, TCHAR>, "StringCast supports UTF-8 <-> TCHAR only");
		return FTCHARToUTF8(Source);
	}
}

template <typename To, typename From>
auto StringCast(const From* Source, const int32 Len)
{
	if constexpr (std::is_same_v<To, TCHAR> && std::is_same_v<From, ANSICHAR>)
	{
		return FUTF8ToTCHAR(Source, Len);
	}
	else
	{
		static_assert(std::is_same_v<From, TCHAR>, "StringCast supports UTF-8 <-> TCHAR only");
		return FTCHARToUTF8(Source, Len);
	}
}

#define TCHAR_TO_UTF8(Str) (ANSICHAR*)FTCHARToUTF8((const TCHAR*)(Str)).Get()
#define UTF8_TO_TCHAR(Str) (TCHAR*)FUTF8ToTCHAR((const ANSICHAR*)(Str)).Get()
#define TCHAR_TO_ANSI(Str) TCHAR_TO_UTF8(Str)
#define ANSI_TO_TCHAR(Str) UTF8_TO_TCHAR(Str)
