#include "Misc/AutomationTest.h"
#include "TalvaneJsonStream.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneStatementSpec, "Talvane.Statement", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TArray<FString> Cache;
	TArray<FString> Reported;

	FString Joined(const TArray<FString>& Items) const
	{
		return FString::Join(Items, TEXT("|"));
	}

	FString Split(const FString& Text) const
	{
		TArray<FString> Statements;
		TalvaneJson::SplitStreamStatementResponses(Text, Statements);
		return Joined(Statements);
	}

	FString WithoutLeadingBreaks(FString Text) const
	{
		TalvaneJson::RemoveStartWrapInLine(Text);
		return Text;
	}
END_DEFINE_SPEC(FTalvaneStatementSpec)

void FTalvaneStatementSpec::Define()
{
	BeforeEach([this]()
	{
		Cache.Reset();
		Reported.Reset();
	});

	Describe(TEXT("Marks"), [this]()
	{
		It(TEXT("AreWholeMarkStringsOnly"), [this]()
		{
			for (const TCHAR* const Mark : {TEXT("."), TEXT("。"), TEXT("!"), TEXT("！"), TEXT("？"), TEXT("?"), TEXT("；"), TEXT("..."), TEXT(";")})
			{
				TestTrue(*FString::Printf(TEXT("\"%s\" is a mark"), Mark), TalvaneJson::IsSplit(FString(Mark)));
			}
			for (const TCHAR* const Other : {TEXT(".."), TEXT(". "), TEXT("。\n"), TEXT(""), TEXT("，"), TEXT("....")})
			{
				TestFalse(*FString::Printf(TEXT("\"%s\" is no mark"), Other), TalvaneJson::IsSplit(FString(Other)));
			}
		});

		It(TEXT("AreEightCharacters"), [this]()
		{
			const FString Marks = TEXT(".!?;。！？；");
			const FString Others = TEXT(",，:、…\n ");
			for (const TCHAR Character : Marks)
			{
				TestTrue(TEXT("A mark character"), TalvaneJson::IsSplit(Character));
			}
			for (const TCHAR Character : Others)
			{
				TestFalse(TEXT("Another character"), TalvaneJson::IsSplit(Character));
			}
		});

		It(TEXT("RemoveStartWrapInLineStripsLeadingLineBreaksOnly"), [this]()
		{
			TestTrue(TEXT("Mixed breaks"), FString(WithoutLeadingBreaks(TEXT("\r\n\nText\n"))).Equals(TEXT("Text\n"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("A blank first"), FString(WithoutLeadingBreaks(TEXT(" \nText"))).Equals(TEXT(" \nText"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Only breaks"), FString(WithoutLeadingBreaks(TEXT("\n\r\r"))).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("Split"), [this]()
	{
		It(TEXT("CutsAtEveryMarkCharacterAndDropsTheOpenLast"), [this]()
		{
			TestTrue(TEXT("Latin"), FString(Split(TEXT("Hello. World! Bye"))).Equals(TEXT("Hello| World"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Consecutive marks"), FString(Split(TEXT("A..B."))).Equals(TEXT("A||B"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Chinese"), FString(Split(TEXT("你好。再见！还有"))).Equals(TEXT("你好|再见"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("No mark"), FString(Split(TEXT("Nothing closed"))).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("Different"), [this]()
	{
		It(TEXT("HoldsTheLastStatementBackUntilItIsNoLongerLast"), [this]()
		{
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, false);
			TestTrue(TEXT("First call reports"), Joined(Reported).Equals(TEXT("A"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("First call caches"), Joined(Cache).Equals(TEXT("A"), ESearchCase::CaseSensitive));
			Reported.Reset();
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B"), TEXT("C")}, Reported, false);
			TestTrue(TEXT("Second call reports"), Joined(Reported).Equals(TEXT("B"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Second call caches"), Joined(Cache).Equals(TEXT("A|B"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReportsTheLastStatementWhenAskedTo"), [this]()
		{
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, true);
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B"), TEXT("C")}, Reported, true);
			TestTrue(TEXT("Reported"), Joined(Reported).Equals(TEXT("A|B|C"), ESearchCase::CaseSensitive));
		});

		It(TEXT("AppendsAStatementThatDiffersFromItsEntryAtTheEnd"), [this]()
		{
			Cache.Add(TEXT("X"));
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, true);
			TestTrue(TEXT("Reported"), Joined(Reported).Equals(TEXT("A|B"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Cache"), Joined(Cache).Equals(TEXT("X|A|B"), ESearchCase::CaseSensitive));
		});

		It(TEXT("IgnoresTheCaseOfLetters"), [this]()
		{
			Cache.Add(TEXT("hello"));
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("HELLO"), TEXT("x")}, Reported, true);
			TestTrue(TEXT("Reported"), Joined(Reported).Equals(TEXT("x"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReportsEachStatementOnceAsTheTextGrows"), [this]()
		{
			const FString Answer = TEXT("One. Two! Three? Four");
			for (int32 Length = 0; Length <= Answer.Len(); ++Length)
			{
				TalvaneJson::HandleStreamStatementResponses(Answer.Left(Length), Cache, Reported, false);
			}
			TestTrue(TEXT("Reported"), Joined(Reported).Equals(TEXT("One| Two"), ESearchCase::CaseSensitive));
			TalvaneJson::HandleStreamStatementResponses(Answer, Cache, Reported, true);
			TestTrue(TEXT("With the last"), Joined(Reported).Equals(TEXT("One| Two| Three"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
