// Sentence marks and statements of a growing answer text.

#include "TalvaneJsonStream.h"

bool TalvaneJson::IsSplit(const FString& InText)
{
	static const TCHAR* const Marks[] = {
		TEXT("."), TEXT("。"), TEXT("!"), TEXT("！"), TEXT("？"), TEXT("?"), TEXT("；"), TEXT("..."), TEXT(";")};
	for (const TCHAR* const Mark : Marks)
	{
		if (InText.Equals(Mark, ESearchCase::CaseSensitive))
		{
			return true;
		}
	}
	return false;
}

bool TalvaneJson::IsSplit(const TCHAR& InCharacter)
{
	switch (InCharacter)
	{
	case TEXT('.'):
	case TEXT('!'):
	case TEXT('?'):
	case TEXT(';'):
	case TEXT('。'):
	case TEXT('！'):
	case TEXT('？'):
	case TEXT('；'):
		return true;
	default:
		return false;
	}
}

void TalvaneJson::RemoveStartWrapInLine(FString& InOutText)
{
	int32 Count = 0;
	while (Count < InOutText.Len() && (InOutText[Count] == TEXT('\n') || InOutText[Count] == TEXT('\r')))
	{
		++Count;
	}
	if (Count > 0)
	{
		InOutText.RemoveAt(0, Count);
	}
}

void TalvaneJson::SplitStreamStatementResponses(const FString& InText, TArray<FString>& OutStatements)
{
	int32 StatementStart = 0;
	for (int32 Index = 0; Index < InText.Len(); ++Index)
	{
		if (IsSplit(InText[Index]))
		{
			OutStatements.Add(InText.Mid(StatementStart, Index - StatementStart));
			StatementStart = Index + 1;
		}
	}
}

void TalvaneJson::GetDifferentChatContent(TArray<FString>& InOutStatementCache, const TArray<FString>& InStatements,
	TArray<FString>& OutNewStatements, const bool bIncludeLastSentence)
{
	const int32 Count = InStatements.Num();
	for (int32 Index = 0; Index < Count; ++Index)
	{
		const FString& Statement = InStatements[Index];
		if (InOutStatementCache.IsValidIndex(Index) && InOutStatementCache[Index] == Statement)
		{
			continue;
		}
		if (bIncludeLastSentence || Index != Count - 1)
		{
			InOutStatementCache.Add(Statement);
			OutNewStatements.Add(Statement);
		}
	}
}

void TalvaneJson::HandleStreamStatementResponses(const FString& InOriginalStreamStatement, TArray<FString>& InStatementCache,
	TArray<FString>& OutDifferentStatement, const bool bIncludeLastSentence)
{
	TArray<FString> Statements;
	SplitStreamStatementResponses(InOriginalStreamStatement, Statements);
	GetDifferentChatContent(InStatementCache, Statements, OutDifferentStatement, bIncludeLastSentence);
}
