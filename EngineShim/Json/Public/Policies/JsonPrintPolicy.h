#pragma once

#include <charconv>
#include <cstdio>

#include "CoreMinimal.h"

/**
 * How a JSON writer prints characters, strings and numbers. The stand-in has no FArchive: a
 * writer's stream is the text it builds.
 */
template <class CharType>
struct TJsonPrintPolicy
{
	static inline void WriteChar(FString* Stream, const CharType Char)
	{
		Stream->AppendChar(Char);
	}

	static inline void WriteString(FString* Stream, const FString& String)
	{
		Stream->Append(String);
	}

	static inline void WriteString(FString* Stream, const TCHAR* String, const int32 Length)
	{
		Stream->Append(String, Length);
	}

	/** Printed as the engine's FString::Printf(TEXT("%g")) prints it (0.7f as 0.7, nan and inf as C prints them). */
	static inline void WriteFloat(FString* Stream, const float Value)
	{
		WriteNarrow(Stream, "%g", static_cast<double>(Value));
	}

	/** Seventeen significant digits, so that every double reads back exactly (0.7 as 0.69999999999999996). */
	static inline void WriteDouble(FString* Stream, const double Value)
	{
		WriteNarrow(Stream, "%.17g", Value);
	}

	static inline void WriteInteger(FString* Stream, const int64 Value)
	{
		char Buffer[24];
		const std::to_chars_result Result = std::to_chars(Buffer, Buffer + sizeof(Buffer), Value);
		AppendAscii(Stream, Buffer, static_cast<int32>(Result.ptr - Buffer));
	}

private:
	static inline void WriteNarrow(FString* Stream, const char* Format, const double Value)
	{
		char Buffer[40];
		const int Written = std::snprintf(Buffer, sizeof(Buffer), Format, Value);
		AppendAscii(Stream, Buffer, Written > 0 && Written < static_cast<int>(sizeof(Buffer)) ? Written : 0);
	}

	static inline void AppendAscii(FString* Stream, const char* Text, const int32 Length)
	{
		TCHAR Wide[40];
		for (int32 Index = 0; Index < Length; ++Index)
		{
			Wide[Index] = static_cast<TCHAR>(Text[Index]);
		}
		Stream->Append(Wide, Length);
	}
};
