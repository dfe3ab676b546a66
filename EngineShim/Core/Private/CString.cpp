#include "Misc/CString.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "Containers/StringConv.h"
#include "Misc/Char.h"

namespace
{
	std::string ToNarrow(const TCHAR* String)
	{
		std::string Narrow;
		if (String)
		{
			UE::Core::Private::AppendUTF16ToUTF8(String, FCString::Strlen(String), Narrow);
		}
		return Narrow;
	}
}

int32 FCString::Strlen(const TCHAR* String)
{
	return String ? static_cast<int32>(std::char_traits<TCHAR>::length(String)) : 0;
}

int32 FCString::Strcmp(const TCHAR* A, const TCHAR* B)
{
	return Strncmp(A, B, static_cast<SIZE_T>(-1));
}

int32 FCString::Stricmp(const TCHAR* A, const TCHAR* B)
{
	return Strnicmp(A, B, static_cast<SIZE_T>(-1));
}

int32 FCString::Strncmp(const TCHAR* A, const TCHAR* B, SIZE_T Count)
{
	for (; Count > 0; --Count, ++A, ++B)
	{
		if (*A != *B || *A == 0)
		{
			return static_cast<int32>(*A) - static_cast<int32>(*B);
		}
	}
	return 0;
}

int32 FCString::Strnicmp(const TCHAR* A, const TCHAR* B, SIZE_T Count)
{
	for (; Count > 0; --Count, ++A, ++B)
	{
		const TCHAR LowerA = FChar::ToLower(*A);
		const TCHAR LowerB = FChar::ToLower(*B);
		if (LowerA != LowerB || LowerA == 0)
		{
			return static_cast<int32>(LowerA) - static_cast<int32>(LowerB);
		}
	}
	return 0;
}

int32 FCString::Atoi(const TCHAR* String)
{
	return static_cast<int32>(std::strtol(ToNarrow(String).c_str(), nullptr, 10));
}

int64 FCString::Atoi64(const TCHAR* String)
{
	return static_cast<int64>(std::strtoll(ToNarrow(String).c_str(), nullptr, 10));
}

float FCString::Atof(const TCHAR* String)
{
	return static_cast<float>(Atod(String));
}

double FCString::Atod(const TCHAR* String)
{
	return std::strtod(ToNarrow(String).c_str(), nullptr);
}

bool FCString::IsNumeric(const TCHAR* String)
{
	if (!String || !*String)
	{
		return false;
	}
	if (*String == u'-' || *String == u'+')
	{
		++String;
	}
	bool bHasDot = false;
	bool bHasDigit = false;
	for (; *String; ++String)
	{
		if (*String == u'.' && !bHasDot)
		{
			bHasDot = true;
		}
		else if (FChar::IsDigit(*String))
		{
			bHasDigit = true;
		}
		else
		{
			return false;
		}
	}
	return bHasDigit;
}
