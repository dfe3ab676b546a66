#pragma once

// The engine's string: UTF-16 code units, case-insensitive equality, ordering and hashing,
// and the engine's names and clamping rules.

#include <string>
#include <type_traits>

#include "Containers/Array.h"
#include "CoreTypes.h"
#include "Misc/CString.h"
#include "Misc/Char.h"
#include "Templates/TypeHash.h"

namespace ESearchCase
{
	enum Type
	{
		CaseSensitive,
		IgnoreCase,
	};
}

namespace ESearchDir
{
	enum Type
	{
		FromStart,
		FromEnd,
	};
}

class FString;

namespace UE::Core::Private
{
	/** One argument of FString::Printf, kept by kind so the formatter never reads a wrong type. */
	struct FFormatArg
	{
		enum class EKind : uint8 { Signed, Unsigned, Double, WideString, AnsiString, Pointer };
		EKind Kind;
		int64 Signed = 0;
		uint64 Unsigned = 0;
		double Double = 0.0;
		const TCHAR* Wide = nullptr;
		const ANSICHAR* Ansi = nullptr;
		const void* Pointer = nullptr;

		template <typename T>
		static FFormatArg Make(const T& Value)
		{
			FFormatArg Arg{};
			if constexpr (std::is_same_v<T, bool>)
			{
				Arg.Kind = EKind::Signed;
				Arg.Signed = Value ? 1 : 0;
			}
			else if constexpr (std::is_enum_v<T>)
			{
				Arg.Kind = EKind::Signed;
				Arg.Signed = static_cast<int64>(Value);
			}
			else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
			{
				Arg.Kind = EKind::Signed;
				Arg.Signed = Value;
			}
			else if constexpr (std::is_integral_v<T>)
			{
				Arg.Kind = EKind::Unsigned;
				Arg.Unsigned = Value;
			}
			else if constexpr (std::is_floating_point_v<T>)
			{
				Arg.Kind = EKind::Double;
				Arg.Double = static_cast<double>(Value);
			}
			else if constexpr (std::is_convertible_v<T, const TCHAR*>)
			{
				Arg.Kind = EKind::WideString;
				Arg.Wide = Value;
			}
			else if constexpr (std::is_convertible_v<T, const ANSICHAR*>)
			{
				Arg.Kind = EKind::AnsiString;
				Arg.Ansi = Value;
			}
			else if constexpr (std::is_pointer_v<T>)
			{
				Arg.Kind = EKind::Pointer;
				Arg.Pointer = Value;
			}
			else
			{
				static_assert(!std::is_same_v<T, FString>, "Printf takes *String for %s, not an FString");
				static_assert(std::is_pointer_v<T>, "Printf argument of an unsupported type");
			}
			return Arg;
		}
	};

	CORE_API FString FormatString(const TCHAR* Format, const FFormatArg* Args, int32 NumArgs);
}

class CORE_API FString
{
public:
	using ElementType = TCHAR;

	FString() = default;
	FString(const TCHAR* Text);
	FString(const ANSICHAR* Text);
	FString(int32 Count, const TCHAR* Text);
	explicit FString(const std::u16string& Text) : Data(Text) {}
	explicit FString(std::u16string&& Text) : Data(MoveTemp(Text)) {}

	/** The characters, null-terminated; an empty string gives "". */
	FORCEINLINE const TCHAR* operator*() const { return Data.c_str(); }
	FORCEINLINE int32 Len() const { return static_cast<int32>(Data.size()); }
	FORCEINLINE bool IsEmpty() const { return Data.empty(); }
	FORCEINLINE bool IsValidIndex(const int32 Index) const { return Index >= 0 && Index < Len(); }
	FORCEINLINE TCHAR& operator[](const int32 Index) { check(IsValidIndex(Index)); return Data[static_cast<SIZE_T>(Index)]; }
	FORCEINLINE const TCHAR& operator[](const int32 Index) const { check(IsValidIndex(Index)); return Data[static_cast<SIZE_T>(Index)]; }
	FORCEINLINE SIZE_T GetAllocatedSize() const { return Data.capacity() * sizeof(TCHAR); }

	void Empty(int32 Slack = 0);
	void Reset(int32 NewReservedSize = 0);
	void Reserve(int32 CharacterCount);
	void Shrink() { Data.shrink_to_fit(); }

	FString& Append(const FString& Text);
	FString& Append(const TCHAR* Text);
	FString& Append(const TCHAR* Text, int32 Count);
	FString& AppendChar(TCHAR Character);
	FString& AppendChars(const TCHAR* Text, int32 Count) { return Append(Text, Count); }
	FString& operator+=(const FString& Text) { return Append(Text); }
	FString& operator+=(const TCHAR* Text) { return Append(Text); }
	FString& operator+=(TCHAR Character) { return AppendChar(Character); }
	FString& operator/=(const FString& Text);

	/** Removes Count characters from Index; the range is clamped to the string. */
	void RemoveAt(int32 Index, int32 Count = 1, bool bAllowShrinking = true);
	void InsertAt(int32 Index, const FString& Text);
	void InsertAt(int32 Index, TCHAR Character);

	bool Equals(const FString& Other, ESearchCase::Type SearchCase = ESearchCase::CaseSensitive) const;
	int32 Compare(const FString& Other, ESearchCase::Type SearchCase = ESearchCase::CaseSensitive) const;
	bool StartsWith(const FString& Prefix, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase) const;
	bool EndsWith(const FString& Suffix, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase) const;
	int32 Find(const FString& SubStr, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase,
		ESearchDir::Type SearchDir = ESearchDir::FromStart, int32 StartPosition = INDEX_NONE) const;
	bool Contains(const FString& SubStr, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase,
		ESearchDir::Type SearchDir = ESearchDir::FromStart) const;
	bool FindChar(TCHAR Character, int32& OutIndex) const;
	bool FindLastChar(TCHAR Character, int32& OutIndex) const;

	/** Splits at the first (or last) InS; the separator goes to neither side. Not found: false, outputs untouched. */
	bool Split(const FString& InS, FString* LeftS, FString* RightS, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase,
		ESearchDir::Type SearchDir = ESearchDir::FromStart) const;
	int32 ParseIntoArray(TArray<FString>& OutArray, const TCHAR* Delimiter, bool bCullEmpty = true) const;
	int32 ParseIntoArrayLines(TArray<FString>& OutArray, bool bCullEmpty = true) const;

	FString Replace(const TCHAR* From, const TCHAR* To, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase) const;
	int32 ReplaceInline(const TCHAR* From, const TCHAR* To, ESearchCase::Type SearchCase = ESearchCase::IgnoreCase);

	FString Left(int32 Count) const;
	FString LeftChop(int32 Count) const;
	FString Right(int32 Count) const;
	FString RightChop(int32 Count) const;
	FString Mid(int32 Start, int32 Count = 0x7fffffff) const;
	void LeftInline(int32 Count, bool bAllowShrinking = true);
	void LeftChopInline(int32 Count, bool bAllowShrinking = true);
	void RightChopInline(int32 Count, bool bAllowShrinking = true);
	void MidInline(int32 Start, int32 Count = 0x7fffffff, bool bAllowShrinking = true);

	FString ToLower() const&;
	FString ToLower() &&;
	FString ToUpper() const&;
	FString ToUpper() &&;
	void ToLowerInline();
	void ToUpperInline();

	FString TrimStart() const&;
	FString TrimEnd() const&;
	FString TrimStartAndEnd() const&;
	void TrimStartInline();
	void TrimEndInline();
	void TrimStartAndEndInline();

	bool IsNumeric() const;

	static FString FromInt(int32 Number);
	static FString SanitizeFloat(double Number, int32 MinFractionalDigits = 1);
	static FString Chr(TCHAR Character);
	static FString ChrN(int32 Count, TCHAR Character);
	static FString Join(const TArray<FString>& Items, const TCHAR* Separator);

	/**
	 * Formats with the engine's printf rules: %s takes a const TCHAR*, %hs a char*, %d an int32. As in
	 * the engine, the format must be a TCHAR array (a TEXT literal): a format held in an FString does
	 * not compile.
	 */
	template <typename FmtType, typename... ArgTypes>
	static FString Printf(const FmtType& Format, const ArgTypes&... Args)
	{
		static_assert(std::is_array_v<FmtType> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<FmtType>>, TCHAR>,
			"Formatting string must be a TCHAR array.");
		if constexpr (sizeof...(ArgTypes) == 0)
		{
			return UE::Core::Private::FormatString(Format, nullptr, 0);
		}
		else
		{
			const UE::Core::Private::FFormatArg Packed[] = {UE::Core::Private::FFormatArg::Make(Args)...};
			return UE::Core::Private::FormatString(Format, Packed, static_cast<int32>(sizeof...(ArgTypes)));
		}
	}

	/** Case-insensitive, as the engine's operators are. */
	friend bool operator==(const FString& A, const FString& B) { return A.Equals(B, ESearchCase::IgnoreCase); }
	friend bool operator!=(const FString& A, const FString& B) { return !(A == B); }
	friend bool operator<(const FString& A, const FString& B) { return A.Compare(B, ESearchCase::IgnoreCase) < 0; }
	friend bool operator==(const FString& A, const TCHAR* B) { return A.Equals(FString(B), ESearchCase::IgnoreCase); }
	friend bool operator!=(const FString& A, const TCHAR* B) { return !(A == B); }
	friend bool operator==(const TCHAR* A, const FString& B) { return B == A; }
	friend bool operator!=(const TCHAR* A, const FString& B) { return !(B == A); }

	friend FString operator+(const FString& A, const FString& B) { FString R(A); R.Append(B); return R; }
	friend FString operator+(FString&& A, const FString& B) { A.Append(B); return MoveTemp(A); }
	friend FString operator+(const FString& A, const TCHAR* B) { FString R(A); R.Append(B); return R; }
	friend FString operator+(FString&& A, const TCHAR* B) { A.Append(B); return MoveTemp(A); }
	friend FString operator+(const TCHAR* A, const FString& B) { FString R(A); R.Append(B); return R; }
	friend FString operator/(const FString& A, const FString& B) { FString R(A); R /= B; return R; }

	/** Case-insensitive hash, so TMap<FString, ...> keys ignore case. */
	friend CORE_API uint32 GetTypeHash(const FString& Text);

	TArray<TCHAR> GetCharArray() const;
	const std::u16string& GetStdString() const { return Data; }

	auto begin() { return Data.begin(); }
	auto end() { return Data.end(); }
	auto begin() const { return Data.begin(); }
	auto end() const { return Data.end(); }

private:
	std::u16string Data;
};

FORCEINLINE FString LexToString(const FString& Value) { return Value; }
