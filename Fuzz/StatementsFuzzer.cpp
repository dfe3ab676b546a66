// The statement functions: a text cuts into one statement per mark character, leading line breaks
// go and nothing else does, and every statement reported is cached exactly once.

#include "FuzzSupport.h"
#include "TalvaneJsonStream.h"

namespace
{
	void CheckSplit(const FString& Text)
	{
		TArray<FString> Statements;
		TalvaneJson::SplitStreamStatementResponses(Text, Statements);
		// The text up to its last mark is every statement followed by one mark character.
		int32 Position = 0;
		for (const FString& Statement : Statements)
		{
			if (!Text.Mid(Position, Statement.Len()).Equals(Statement, ESearchCase::CaseSensitive))
			{
				TalvaneFuzz::Fail("a statement is not the text between two marks");
			}
			Position += Statement.Len();
			if (!Text.IsValidIndex(Position) || !TalvaneJson::IsSplit(Text[Position]))
			{
				TalvaneFuzz::Fail("a statement does not end at a mark");
			}
			for (const TCHAR Character : Statement)
			{
				if (TalvaneJson::IsSplit(Character))
				{
					TalvaneFuzz::Fail("a statement holds a mark");
				}
			}
			++Position;
		}
		for (; Position < Text.Len(); ++Position)
		{
			if (TalvaneJson::IsSplit(Text[Position]))
			{
				TalvaneFuzz::Fail("a mark after the last statement");
			}
		}
	}

	void CheckLeadingBreaks(const FString& Text)
	{
		FString Stripped = Text;
		TalvaneJson::RemoveStartWrapInLine(Stripped);
		if (!Text.Right(Stripped.Len()).Equals(Stripped, ESearchCase::CaseSensitive) || (!Stripped.IsEmpty() && (Stripped[0] == TEXT('\n') || Stripped[0] == TEXT('\r'))))
		{
			TalvaneFuzz::Fail("leading line breaks");
		}
		for (int32 Index = 0; Index < Text.Len() - Stripped.Len(); ++Index)
		{
			if (Text[Index] != TEXT('\n') && Text[Index] != TEXT('\r'))
			{
				TalvaneFuzz::Fail("removed more than line breaks");
			}
		}
	}

	void CheckGrowingText(const FString& Text, const bool bIncludeLastSentence)
	{
		TArray<FString> Cache;
		TArray<FString> Reported;
		// At most 64 steps, so one input costs a bounded multiple of its length.
		const int32 Step = Text.Len() / 64 + 1;
		for (int32 Length = 0; Length < Text.Len() + Step; Length += Step)
		{
			TalvaneJson::HandleStreamStatementResponses(Text.Left(Length), Cache, Reported, bIncludeLastSentence);
			if (Cache.Num() != Reported.Num())
			{
				TalvaneFuzz::Fail("every reported statement is cached once");
			}
		}
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size > 1 << 16)
	{
		return 0;
	}
	const FString Text = TalvaneFuzz::TextOf(Data, Size);
	TalvaneJson::IsSplit(Text);
	CheckSplit(Text);
	CheckLeadingBreaks(Text);
	CheckGrowingText(Text, Size % 2 == 0);
	return 0;
}
