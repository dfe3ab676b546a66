#include "CurlDebugLog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "Containers/StringConv.h"
#include "HttpLog.h"

namespace
{
	/** The engine cuts every debug text at this many bytes (a buffer size libcurl uses). */
	constexpr size_t MaxDebugTextBytes = 1023;

	/** The text as the engine logs it: up to its first NUL, without line breaks. */
	FString ToLogText(const char* Data, const size_t Size)
	{
		std::string Text(Data, Size);
		Text.erase(std::remove_if(Text.begin(), Text.end(), [](const char Character) { return Character == '\r' || Character == '\n'; }),
			Text.end());
		return FString(UTF8_TO_TCHAR(Text.c_str()));
	}

	/** libcurl may pass NUL bytes inside an info text; the engine stops at the first. */
	size_t TextLength(const char* Data, const size_t Size)
	{
		const size_t Limited = Size < MaxDebugTextBytes ? Size : MaxDebugTextBytes;
		const void* Nul = std::memchr(Data, 0, Limited);
		return Nul ? static_cast<size_t>(static_cast<const char*>(Nul) - Data) : Limited;
	}

	/** The header block without any body bytes that share the callback: up to the blank line. */
	size_t HeaderBlockLength(const char* Data, const size_t Size)
	{
		const size_t Limited = Size < MaxDebugTextBytes ? Size : MaxDebugTextBytes;
		for (size_t Index = 0; Index + 4 <= Limited; ++Index)
		{
			if (std::memcmp(Data + Index, "\r\n\r\n", 4) == 0)
			{
				return Index;
			}
		}
		return Limited;
	}

	bool IsPrintable(const char* Data, const size_t Size)
	{
		for (size_t Index = 0; Index < Size; ++Index)
		{
			const unsigned char Character = static_cast<unsigned char>(Data[Index]);
			if (!std::isprint(Character) && !std::isspace(Character))
			{
				return false;
			}
		}
		return true;
	}

	void LogSentHeader(const void* RequestAddress, const char* Data, const size_t Size)
	{
		const size_t Length = HeaderBlockLength(Data, Size);
		if (IsPrintable(Data, Length))
		{
			UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Sent header (%d bytes) - %s"), RequestAddress, static_cast<int32>(Length),
				*ToLogText(Data, Length));
		}
		else
		{
			UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Sent header (%d bytes) - contains binary data"), RequestAddress, static_cast<int32>(Length));
		}
	}
}

FString ToCurlInfoText(const char* Data, const size_t Size)
{
	return ToLogText(Data, TextLength(Data, Size));
}

void LogCurlDebugInfo(const void* RequestAddress, const curl_infotype Type, const char* Data, const size_t Size)
{
	if (!UE_LOG_ACTIVE(LogHttp, VeryVerbose))
	{
		return;
	}
	const int32 Bytes = static_cast<int32>(Size);
	switch (Type)
	{
	case CURLINFO_TEXT:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: '%s'"), RequestAddress, *ToCurlInfoText(Data, Size));
		break;
	case CURLINFO_HEADER_IN:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Received header (%d bytes)"), RequestAddress, Bytes);
		break;
	case CURLINFO_HEADER_OUT:
		LogSentHeader(RequestAddress, Data, Size);
		break;
	case CURLINFO_DATA_IN:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Received data (%d bytes)"), RequestAddress, Bytes);
		break;
	case CURLINFO_DATA_OUT:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Sent data (%d bytes)"), RequestAddress, Bytes);
		break;
	case CURLINFO_SSL_DATA_IN:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Received SSL data (%d bytes)"), RequestAddress, Bytes);
		break;
	case CURLINFO_SSL_DATA_OUT:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: Sent SSL data (%d bytes)"), RequestAddress, Bytes);
		break;
	default:
		UE_LOG(LogHttp, VeryVerbose, TEXT("%p: DebugCallback: Unknown DebugInfoType=%d (DebugInfoSize: %d bytes)"), RequestAddress,
			static_cast<int32>(Type), Bytes);
		break;
	}
}
