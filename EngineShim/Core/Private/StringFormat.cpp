#include "Containers/StringConv.h"
#include "Containers/UnrealString.h"

#include <cstdio>
#include <string>

// Engine printf formatting: standard conversions, where %s takes a TCHAR string, %hs an ANSI
// (UTF-8) one, and length modifiers only choose how an integer is printed.

namespace
{
	using UE::Core::Private::FFormatArg;

	struct FSpec
	{
		std::string Flags;
		int Width = -1;
		int Precision = -1;
		bool bAnsiString = false;
		bool bWide64 = false;
		char Conversion = 0;
	};

	int ReadNumber(const TCHAR*& Cursor)
	{
		int Value = 0;
		while (*Cursor >= u'0' && *Cursor <= u'9')
		{
			Value = Value * 10 + (*Cursor++ - u'0');
		}
		return Value;
	}

	/** Reads the part of a conversion after '%'; returns false for a malformed one. */
	bool ReadSpec(const TCHAR*& Cursor, FSpec& Spec, const FFormatArg* Args, int32 NumArgs, int32& ArgIndex)
	{
		while (*Cursor == u'-' || *Cursor == u'+' || *Cursor == u' ' || *Cursor == u'#' || *Cursor == u'0')
		{
			Spec.Flags.push_back(static_cast<char>(*Cursor++));
		}
		if (*Cursor == u'*')
		{
			++Cursor;
			Spec.Width = ArgIndex < NumArgs ? static_cast<int>(Args[ArgIndex++].Signed) : 0;
		}
		else if (*Cursor >= u'0' && *Cursor <= u'9')
		{
			Spec.Width = ReadNumber(Cursor);
		}
		if (*Cursor == u'.')
		{
			++Cursor;
			if (*Cursor == u'*')
			{
				++Cursor;
				Spec.Precision = ArgIndex < NumArgs ? static_cast<int>(Args[ArgIndex++].Signed) : 0;
			}
			else
			{
				Spec.Precision = ReadNumber(Cursor);
			}
		}
		while (*Cursor == u'h' || *Cursor == u'l' || *Cursor == u'z' || *Cursor == u'j' || *Cursor == u't' || *Cursor == u'L' || *Cursor == u'I')
		{
			Spec.bAnsiString = Spec.bAnsiString || *Cursor == u'h';
			Spec.bWide64 = Spec.bWide64 || (*Cursor == u'l' && Cursor[1] == u'l') || *Cursor == u'j' || *Cursor == u'z' || *Cursor == u'I';
			++Cursor;
			if (Cursor[-1] == u'I')
			{
				while (*Cursor >= u'0' && *Cursor <= u'9')
				{
					++Cursor;
				}
			}
		}
		if (*Cursor == 0 || *Cursor > 127)
		{
			return false;
		}
		Spec.Conversion = static_cast<char>(*Cursor++);
		return true;
	}

	std::string NarrowFormat(const FSpec& Spec, const char* Length, const char Conversion)
	{
		std::string Format = "%" + Spec.Flags;
		if (Spec.Width >= 0)
		{
			Format += std::to_string(Spec.Width);
		}
		if (Spec.Precision >= 0)
		{
			Format += "." + std::to_string(Spec.Precision);
		}
		return Format + Length + Conversion;
	}

	template <typename T>
	void AppendNarrow(std::u16string& Out, const std::string& Format, const T Value)
	{
		char Buffer[512];
		const int Written = std::snprintf(Buffer, sizeof(Buffer), Format.c_str(), Value);
		if (Written < 0)
		{
			return;
		}
		if (Written < static_cast<int>(sizeof(Buffer)))
		{
			UE::Core::Private::AppendUTF8ToUTF16(Buffer, Written, Out);
			return;
		}
		std::string Large(static_cast<SIZE_T>(Written) + 1, '\0');
		std::snprintf(Large.data(), Large.size(), Format.c_str(), Value);
		UE::Core::Private::AppendUTF8ToUTF16(Large.data(), Written, Out);
	}

	void AppendString(std::u16string& Out, const FSpec& Spec, std::u16string Text)
	{
		if (Spec.Precision >= 0 && static_cast<int>(Text.size()) > Spec.Precision)
		{
			Text.resize(static_cast<SIZE_T>(Spec.Precision));
		}
		const int Padding = Spec.Width > static_cast<int>(Text.size()) ? Spec.Width - static_cast<int>(Text.size()) : 0;
		const bool bLeft = Spec.Flags.find('-') != std::string::npos;
		if (!bLeft)
		{
			Out.append(static_cast<SIZE_T>(Padding), u' ');
		}
		Out.append(Text);
		if (bLeft)
		{
			Out.append(static_cast<SIZE_T>(Padding), u' ');
		}
	}

	void AppendStringArg(std::u16string& Out, const FSpec& Spec, const FFormatArg& Arg)
	{
		std::u16string Text;
		if (Arg.Kind == FFormatArg::EKind::WideString)
		{
			Text = Arg.Wide ? Arg.Wide : u"(null)";
		}
		else if (Arg.Kind == FFormatArg::EKind::AnsiString && Arg.Ansi)
		{
			UE::Core::Private::AppendUTF8ToUTF16(Arg.Ansi, static_cast<int64>(std::char_traits<char>::length(Arg.Ansi)), Text);
		}
		else
		{
			Text = u"(null)";
		}
		AppendString(Out, Spec, MoveTemp(Text));
	}

	void AppendArg(std::u16string& Out, const FSpec& Spec, const FFormatArg& Arg)
	{
		const bool bIntegerArg = Arg.Kind == FFormatArg::EKind::Signed || Arg.Kind == FFormatArg::EKind::Unsigned;
		const int64 AsSigned = Arg.Kind == FFormatArg::EKind::Unsigned ? static_cast<int64>(Arg.Unsigned)
			: Arg.Kind == FFormatArg::EKind::Double ? (Arg.Double > -9.2e18 && Arg.Double < 9.2e18 ? static_cast<int64>(Arg.Double) : 0) : Arg.Signed;
		// Without a 64-bit length modifier an unsigned conversion sees 32 bits, as with C's int promotion.
		const uint64 AsUnsigned = Spec.bWide64 || Arg.Kind == FFormatArg::EKind::Unsigned
			? static_cast<uint64>(AsSigned) : static_cast<uint64>(static_cast<uint32>(AsSigned));
		const double AsDouble = bIntegerArg ? static_cast<double>(AsSigned) : Arg.Double;
		switch (Spec.Conversion)
		{
		case 'd':
		case 'i':
			AppendNarrow(Out, NarrowFormat(Spec, "ll", 'd'), static_cast<long long>(AsSigned));
			break;
		case 'u':
		case 'x':
		case 'X':
		case 'o':
			AppendNarrow(Out, NarrowFormat(Spec, "ll", Spec.Conversion), static_cast<unsigned long long>(AsUnsigned));
			break;
		case 'f':
		case 'F':
		case 'e':
		case 'E':
		case 'g':
		case 'G':
		case 'a':
		case 'A':
			AppendNarrow(Out, NarrowFormat(Spec, "", Spec.Conversion), AsDouble);
			break;
		case 'c':
			AppendString(Out, Spec, std::u16string(1, static_cast<char16_t>(AsSigned)));
			break;
		case 'p':
			AppendNarrow(Out, "%p", Arg.Pointer);
			break;
		case 's':
		case 'S':
			AppendStringArg(Out, Spec, Arg);
			break;
		default:
			break;
		}
	}
}

FString UE::Core::Private::FormatString(const TCHAR* Format, const FFormatArg* Args, const int32 NumArgs)
{
	std::u16string Out;
	if (!Format)
	{
		return FString();
	}
	int32 ArgIndex = 0;
	for (const TCHAR* Cursor = Format; *Cursor;)
	{
		if (*Cursor != u'%')
		{
			Out.push_back(*Cursor++);
			continue;
		}
		const TCHAR* Start = Cursor++;
		if (*Cursor == u'%')
		{
			Out.push_back(u'%');
			++Cursor;
			continue;
		}
		FSpec Spec;
		if (!ReadSpec(Cursor, Spec, Args, NumArgs, ArgIndex) || ArgIndex >= NumArgs)
		{
			// A conversion without an argument is written as it stands rather than reading garbage.
			Out.append(Start, static_cast<SIZE_T>(Cursor - Start));
			continue;
		}
		AppendArg(Out, Spec, Args[ArgIndex++]);
	}
	return FString(MoveTemp(Out));
}
