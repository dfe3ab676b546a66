#pragma once

#include "CoreTypes.h"

/** C-string helpers for TCHAR text; numbers parse like strtol/strtod (0 when nothing parses). */
struct CORE_API FCString
{
	static int32 Strlen(const TCHAR* String);
	static int32 Strcmp(const TCHAR* A, const TCHAR* B);
	static int32 Stricmp(const TCHAR* A, const TCHAR* B);
	static int32 Strncmp(const TCHAR* A, const TCHAR* B, SIZE_T Count);
	static int32 Strnicmp(const TCHAR* A, const TCHAR* B, SIZE_T Count);
	static int32 Atoi(const TCHAR* String);
	static int64 Atoi64(const TCHAR* String);
	static float Atof(const TCHAR* String);
	static double Atod(const TCHAR* String);
	static bool IsNumeric(const TCHAR* String);
};
