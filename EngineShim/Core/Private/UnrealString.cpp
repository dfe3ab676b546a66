#include "Containers/UnrealString.h"

#include <algorithm>

namespace
{
	int32 CompareRange(const TCHAR* A, const int32 LenA, const TCHAR* B, const int32 LenB, const ESearchCase::Type SearchCase)
	{
		const int32 Common = std::min(LenA, LenB);
		for (int32 Index = 0; Index < Common; ++Index)
		{
			TCHAR CharA = A[Index];
			TCHAR CharB = B[Index];
			if (SearchCase == ESearchCase::IgnoreCase)
			{
				CharA = FChar::ToLower(CharA);
				CharB = FChar::ToLower(CharB);
			}
			if (CharA != CharB)
			{
				return CharA < CharB ? -1 : 1;
			}
		}
		return LenA == LenB ? 0 : (LenA < LenB ? -1 : 1);
	}

	bool MatchesAt(const std::u16string& Text, const int32 Position, const FString& Pattern, const ESearchCase::Type SearchCase)
	{
		return CompareRange(Text.data() + Position, Pattern.Len(), *Pattern, Pattern.Len(), SearchCase) == 0;
	}
}

FString::FString(const TCHAR* Text)
{
	if (Text)
	{
		Data.assign(Text);
	}
}

FString::FString(const ANSICHAR* Text)
{
	if (Text)
	{
		for (const ANSICHAR* Char = Text; *Char; ++Char)
		{
			Data.push_back(static_cast<TCHAR>(static_cast<uint8>(*Char)));
		}
	}
}

FString::FString(const int32 Count, const TCHAR* Text)
{
	if (Text && Count > 0)
	{
		Data.assign(Text, static_cast<SIZE_T>(Count));
	}
}

void FString::Empty(const int32 Slack)
{
	std::u16string().swap(Data);
	Reserve(Slack);
}

void FString::Reset(const int32 NewReservedSize)
{
	Data.clear();
	Reserve(NewReservedSize);
}

void FString::Reserve(const int32 CharacterCount)
{
	if (CharacterCount > 0)
	{
		Data.reserve(static_cast<SIZE_T>(CharacterCount));
	}
}

FString& FString::Append(const FString& Text)
{
	Data.append(Text.Data);
	return *this;
}

FString& FString::Append(const TCHAR* Text)
{
	if (Text)
	{
		Data.append(Text);
	}
	return *this;
}

FString& FString::Append(const TCHAR* Text, const int32 Count)
{
	if (Text && Count > 0)
	{
		Data.append(Text, static_cast<SIZE_T>(Count));
	}
	return *this;
}

FString& FString::AppendChar(const TCHAR Character)
{
	Data.push_back(Character);
	return *this;
}

FString& FString::operator/=(const FString& Text)
{
	if (!Data.empty() && Data.back() != u'/' && !Text.StartsWith(TEXT("/")))
	{
		Data.push_back(u'/');
	}
	return Append(Text);
}

void FString::RemoveAt(const int32 Index, const int32 Count, const bool bAllowShrinking)
{
	const int32 First = std::clamp(Index, 0, Len());
	const int32 Last = std::clamp(First + std::max(Count, 0), First, Len());
	Data.erase(static_cast<SIZE_T>(First), static_cast<SIZE_T>(Last - First));
	if (bAllowShrinking)
	{
		Data.shrink_to_fit();
	}
}

void FString::InsertAt(const int32 Index, const FString& Text)
{
	Data.insert(static_cast<SIZE_T>(std::clamp(Index, 0, Len())), Text.Data);
}

void FString::InsertAt(const int32 Index, const TCHAR Character)
{
	Data.insert(Data.begin() + std::clamp(Index, 0, Len()), Character);
}

bool FString::Equals(const FString& Other, const ESearchCase::Type SearchCase) const
{
	return Len() == Other.Len() && Compare(Other, SearchCase) == 0;
}

int32 FString::Compare(const FString& Other, const ESearchCase::Type SearchCase) const
{
	return CompareRange(Data.data(), Len(), Other.Data.data(), Other.Len(), SearchCase);
}

bool FString::StartsWith(const FString& Prefix, const ESearchCase::Type SearchCase) const
{
	return !Prefix.IsEmpty() && Prefix.Len() <= Len() && MatchesAt(Data, 0, Prefix, SearchCase);
}

bool FString::EndsWith(const FString& Suffix, const ESearchCase::Type SearchCase) const
{
	return !Suffix.IsEmpty() && Suffix.Len() <= Len() && MatchesAt(Data, Len() - Suffix.Len(), Suffix, SearchCase);
}

int32 FString::Find(const FString& SubStr, const ESearchCase::Type SearchCase, const ESearchDir::Type SearchDir,
	const int32 StartPosition) const
{
	if (SubStr.IsEmpty() || SubStr.Len() > Len())
	{
		return INDEX_NONE;
	}
	const int32 LastStart = Len() - SubStr.Len();
	if (SearchDir == ESearchDir::FromStart)
	{
		for (int32 Position = std::max(StartPosition, 0); Position <= LastStart; ++Position)
		{
			if (MatchesAt(Data, Position, SubStr, SearchCase))
			{
				return Position;
			}
		}
		return INDEX_NONE;
	}
	const int32 From = StartPosition == INDEX_NONE ? LastStart : std::min(StartPosition - SubStr.Len(), LastStart);
	for (int32 Position = From; Position >= 0; --Position)
	{
		if (MatchesAt(Data, Position, SubStr, SearchCase))
		{
			return Position;
		}
	}
	return INDEX_NONE;
}

bool FString::Contains(const FString& SubStr, const ESearchCase::Type SearchCase, const ESearchDir::Type SearchDir) const
{
	return Find(SubStr, SearchCase, SearchDir) != INDEX_NONE;
}

bool FString::FindChar(const TCHAR Character, int32& OutIndex) const
{
	const SIZE_T Found = Data.find(Character);
	OutIndex = Found == std::u16string::npos ? INDEX_NONE : static_cast<int32>(Found);
	return OutIndex != INDEX_NONE;
}

bool FString::FindLastChar(const TCHAR Character, int32& OutIndex) const
{
	const SIZE_T Found = Data.rfind(Character);
	OutIndex = Found == std::u16string::npos ? INDEX_NONE : static_cast<int32>(Found);
	return OutIndex != INDEX_NONE;
}

bool FString::Split(const FString& InS, FString* LeftS, FString* RightS, const ESearchCase::Type SearchCase,
	const ESearchDir::Type SearchDir) const
{
	const int32 Position = Find(InS, SearchCase, SearchDir);
	if (Position == INDEX_NONE)
	{
		return false;
	}
	const FString Left = Mid(0, Position);
	const FString Right = Mid(Position + InS.Len());
	if (LeftS)
	{
		*LeftS = Left;
	}
	if (RightS)
	{
		*RightS = Right;
	}
	return true;
}

int32 FString::ParseIntoArray(TArray<FString>& OutArray, const TCHAR* Delimiter, const bool bCullEmpty) const
{
	OutArray.Reset();
	const FString Separator(Delimiter);
	int32 Start = 0;
	while (!Separator.IsEmpty())
	{
		const int32 Found = Find(Separator, ESearchCase::CaseSensitive, ESearchDir::FromStart, Start);
		if (Found == INDEX_NONE)
		{
			break;
		}
		if (!bCullEmpty || Found > Start)
		{
			OutArray.Add(Mid(Start, Found - Start));
		}
		Start = Found + Separator.Len();
	}
	if (!bCullEmpty || Start < Len())
	{
		OutArray.Add(Mid(Start));
	}
	return OutArray.Num();
}

int32 FString::ParseIntoArrayLines(TArray<FString>& OutArray, const bool bCullEmpty) const
{
	OutArray.Reset();
	FString Line;
	for (const TCHAR Char : Data)
	{
		if (Char == u'\n' || Char == u'\r')
		{
			if (!bCullEmpty || !Line.IsEmpty())
			{
				OutArray.Add(Line);
			}
			Line.Reset();
			continue;
		}
		Line.AppendChar(Char);
	}
	if (!bCullEmpty || !Line.IsEmpty())
	{
		OutArray.Add(Line);
	}
	return OutArray.Num();
}

FString FString::Replace(const TCHAR* From, const TCHAR* To, const ESearchCase::Type SearchCase) const
{
	FString Result(*this);
	Result.ReplaceInline(From, To, SearchCase);
	return Result;
}

int32 FString::ReplaceInline(const TCHAR* From, const TCHAR* To, const ESearchCase::Type SearchCase)
{
	const FString Pattern(From);
	const FString Replacement(To);
	if (Pattern.IsEmpty() || IsEmpty())
	{
		return 0;
	}
	std::u16string Result;
	int32 Count = 0;
	int32 Position = 0;
	while (Position < Len())
	{
		if (Position + Pattern.Len() <= Len() && MatchesAt(Data, Position, Pattern, SearchCase))
		{
			Result.append(Replacement.Data);
			Position += Pattern.Len();
			++Count;
			continue;
		}
		Result.push_back(Data[static_cast<SIZE_T>(Position++)]);
	}
	Data = MoveTemp(Result);
	return Count;
}

FString FString::Left(const int32 Count) const
{
	return FString(std::clamp(Count, 0, Len()), Data.data());
}

FString FString::LeftChop(const int32 Count) const
{
	return Left(Len() - std::clamp(Count, 0, Len()));
}

FString FString::Right(const int32 Count) const
{
	const int32 Keep = std::clamp(Count, 0, Len());
	return FString(Keep, Data.data() + (Len() - Keep));
}

FString FString::RightChop(const int32 Count) const
{
	return Right(Len() - std::clamp(Count, 0, Len()));
}

FString FString::Mid(const int32 Start, const int32 Count) const
{
	const int64 First = std::clamp<int64>(Start, 0, Len());
	const int64 Last = std::clamp<int64>(static_cast<int64>(Start) + std::max(Count, 0), First, Len());
	return FString(static_cast<int32>(Last - First), Data.data() + First);
}

void FString::LeftInline(const int32 Count, const bool) { *this = Left(Count); }
void FString::LeftChopInline(const int32 Count, const bool) { *this = LeftChop(Count); }
void FString::RightChopInline(const int32 Count, const bool) { *this = RightChop(Count); }
void FString::MidInline(const int32 Start, const int32 Count, const bool) { *this = Mid(Start, Count); }

FString FString::ToLower() const&
{
	FString Result(*this);
	Result.ToLowerInline();
	return Result;
}

FString FString::ToLower() &&
{
	ToLowerInline();
	return MoveTemp(*this);
}

FString FString::ToUpper() const&
{
	FString Result(*this);
	Result.ToUpperInline();
	return Result;
}

FString FString::ToUpper() &&
{
	ToUpperInline();
	return MoveTemp(*this);
}

void FString::ToLowerInline()
{
	for (TCHAR& Char : Data)
	{
		Char = FChar::ToLower(Char);
	}
}

void FString::ToUpperInline()
{
	for (TCHAR& Char : Data)
	{
		Char = FChar::ToUpper(Char);
	}
}

FString FString::TrimStart() const&
{
	FString Result(*this);
	Result.TrimStartInline();
	return Result;
}

FString FString::TrimEnd() const&
{
	FString Result(*this);
	Result.TrimEndInline();
	return Result;
}

FString FString::TrimStartAndEnd() const&
{
	FString Result(*this);
	Result.TrimStartAndEndInline();
	return Result;
}

void FString::TrimStartInline()
{
	SIZE_T First = 0;
	while (First < Data.size() && FChar::IsWhitespace(Data[First]))
	{
		++First;
	}
	Data.erase(0, First);
}

void FString::TrimEndInline()
{
	while (!Data.empty() && FChar::IsWhitespace(Data.back()))
	{
		Data.pop_back();
	}
}

void FString::TrimStartAndEndInline()
{
	TrimEndInline();
	TrimStartInline();
}

bool FString::IsNumeric() const
{
	return FCString::IsNumeric(**this);
}

FString FString::FromInt(const int32 Number)
{
	return Printf(TEXT("%d"), Number);
}

FString FString::SanitizeFloat(const double Number, const int32 MinFractionalDigits)
{
	FString Result = Printf(TEXT("%f"), Number);
	int32 Dot = INDEX_NONE;
	if (!Result.FindChar(u'.', Dot))
	{
		return Result;
	}
	int32 Keep = Result.Len();
	while (Keep > Dot + 1 + MinFractionalDigits && Result[Keep - 1] == u'0')
	{
		--Keep;
	}
	if (Keep == Dot + 1 && MinFractionalDigits == 0)
	{
		--Keep;
	}
	return Result.Left(Keep);
}

FString FString::Chr(const TCHAR Character)
{
	return FString(1, &Character);
}

FString FString::ChrN(const int32 Count, const TCHAR Character)
{
	return FString(std::u16string(static_cast<SIZE_T>(std::max(Count, 0)), Character));
}

FString FString::Join(const TArray<FString>& Items, const TCHAR* Separator)
{
	FString Result;
	for (int32 Index = 0; Index < Items.Num(); ++Index)
	{
		if (Index > 0)
		{
			Result.Append(Separator);
		}
		Result.Append(Items[Index]);
	}
	return Result;
}

TArray<TCHAR> FString::GetCharArray() const
{
	TArray<TCHAR> Chars(Data.c_str(), Len() + 1);
	return Chars;
}

uint32 GetTypeHash(const FString& Text)
{
	// FNV-1a over the lower-cased units, so keys that differ only in case share a bucket.
	uint32 Hash = 2166136261u;
	for (const TCHAR Char : Text.Data)
	{
		Hash = (Hash ^ FChar::ToLower(Char)) * 16777619u;
	}
	return Hash;
}
