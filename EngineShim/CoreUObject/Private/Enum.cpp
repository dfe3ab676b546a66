#include "UObject/Class.h"

FName UEnum::GetNameByIndex(const int32 Index) const
{
	return Names.IsValidIndex(Index) ? Names[Index].Key : FName(NAME_None);
}

FString UEnum::GetNameStringByIndex(const int32 Index) const
{
	if (!Names.IsValidIndex(Index))
	{
		return FString();
	}
	FString Name = Names[Index].Key.ToString();
	if (CppForm != ECppForm::Regular)
	{
		const int32 ScopeIndex = Name.Find(TEXT("::"), ESearchCase::CaseSensitive);
		if (ScopeIndex != INDEX_NONE)
		{
			Name.RightChopInline(ScopeIndex + 2);
		}
	}
	return Name;
}

int64 UEnum::GetValueByIndex(const int32 Index) const
{
	check(Names.IsValidIndex(Index));
	return Names[Index].Value;
}

int32 UEnum::GetIndexByValue(const int64 InValue) const
{
	for (int32 Index = 0; Index < Names.Num(); ++Index)
	{
		if (Names[Index].Value == InValue)
		{
			return Index;
		}
	}
	return INDEX_NONE;
}

FName UEnum::GetNameByValue(const int64 InValue) const
{
	return GetNameByIndex(GetIndexByValue(InValue));
}

FString UEnum::GetNameStringByValue(const int64 InValue) const
{
	return GetNameStringByIndex(GetIndexByValue(InValue));
}

FText UEnum::GetDisplayNameTextByIndex(const int32 NameIndex) const
{
	const FString RawName = GetNameStringByIndex(NameIndex);
	if (RawName.IsEmpty())
	{
		return FText::GetEmpty();
	}
#if WITH_EDITORONLY_DATA
	if (HasMetaData(TEXT("DisplayName"), NameIndex))
	{
		return FText::FromString(GetMetaData(TEXT("DisplayName"), NameIndex));
	}
#endif
	return FText::FromString(RawName);
}

FText UEnum::GetDisplayNameTextByValue(const int64 InValue) const
{
	return GetDisplayNameTextByIndex(GetIndexByValue(InValue));
}

int64 UEnum::GetMaxEnumValue() const
{
	int64 MaxValue = Names.Num() > 0 ? Names[0].Value : 0;
	for (const TPair<FName, int64>& Entry : Names)
	{
		MaxValue = Entry.Value > MaxValue ? Entry.Value : MaxValue;
	}
	return MaxValue;
}

FString UEnum::MetaDataKey(const TCHAR* Key, const int32 NameIndex) const
{
	return NameIndex == INDEX_NONE ? FString(Key) : GetNameStringByIndex(NameIndex) + TEXT(".") + Key;
}

#if WITH_EDITORONLY_DATA
FString UEnum::GetMetaData(const TCHAR* Key, const int32 NameIndex, bool) const
{
	const FString* Found = FindMetaData(FName(MetaDataKey(Key, NameIndex)));
	return Found ? *Found : FString();
}

bool UEnum::HasMetaData(const TCHAR* Key, const int32 NameIndex) const
{
	return FindMetaData(FName(MetaDataKey(Key, NameIndex))) != nullptr;
}
#endif

void UEnum::SetMetaData(const TCHAR* Key, const TCHAR* InValue, const int32 NameIndex)
{
	UField::SetMetaData(*MetaDataKey(Key, NameIndex), InValue);
}

FString UEnum::GenerateEnumPrefix() const
{
	FString Prefix;
	if (Names.Num() > 0)
	{
		Prefix = Names[0].Key.ToString();
		for (int32 NameIndex = 1; NameIndex < Names.Num(); ++NameIndex)
		{
			const FString ItemName = Names[NameIndex].Key.ToString();
			int32 Common = 0;
			while (Common < Prefix.Len() && Common < ItemName.Len() && Prefix[Common] == ItemName[Common])
			{
				++Common;
			}
			Prefix.LeftInline(Common);
		}
		const int32 UnderscoreIndex = Prefix.Find(TEXT("_"), ESearchCase::CaseSensitive, ESearchDir::FromEnd);
		if (UnderscoreIndex > 0)
		{
			Prefix.LeftInline(UnderscoreIndex);
		}
		else
		{
			// No underscore: the names do not follow the PREFIX_NAME convention, so the type name is used.
			Prefix.Empty();
		}
	}
	return Prefix.IsEmpty() ? GetName() : Prefix;
}

bool UEnum::SetEnums(TArray<TPair<FName, int64>>& InNames, const ECppForm InCppForm, const EEnumFlags InFlags,
	const bool bAddMaxKeyIfMissing)
{
	Names = InNames;
	CppForm = InCppForm;
	EnumFlags = InFlags;
	if (bAddMaxKeyIfMissing)
	{
		FString MaxName = GenerateEnumPrefix() + TEXT("_MAX");
		if (CppForm != ECppForm::Regular && !MaxName.Contains(TEXT("::"), ESearchCase::CaseSensitive))
		{
			MaxName = GetName() + TEXT("::") + MaxName;
		}
		const FName MaxKey(MaxName);
		const bool bHasMax = Names.ContainsByPredicate([&MaxKey](const TPair<FName, int64>& Entry) { return Entry.Key == MaxKey; });
		if (!bHasMax)
		{
			Names.Emplace(MaxKey, GetMaxEnumValue() + 1);
		}
	}
	return true;
}
