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
			TestEqual(TEXT("Mixed breaks"), WithoutLeadingBreaks(TEXT("\r\n\nText\n")), TEXT("Text\n"));
			TestEqual(TEXT("A blank first"), WithoutLeadingBreaks(TEXT(" \nText")), TEXT(" \nText"));
			TestEqual(TEXT("Only breaks"), WithoutLeadingBreaks(TEXT("\n\r\r")), TEXT(""));
		});
	});

	Describe(TEXT("Split"), [this]()
	{
		It(TEXT("CutsAtEveryMarkCharacterAndDropsTheOpenLast"), [this]()
		{
			TestEqual(TEXT("Latin"), Split(TEXT("Hello. World! Bye")), TEXT("Hello| World"));
			TestEqual(TEXT("Consecutive marks"), Split(TEXT("A..B.")), TEXT("A||B"));
			TestEqual(TEXT("Chinese"), Split(TEXT("你好。再见！还有")), TEXT("你好|再见"));
			TestEqual(TEXT("No mark"), Split(TEXT("Nothing closed")), TEXT(""));
		});
	});

	Describe(TEXT("Different"), [this]()
	{
		It(TEXT("HoldsTheLastStatementBackUntilItIsNoLongerLast"), [this]()
		{
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, false);
			TestEqual(TEXT("First call reports"), Joined(Reported), TEXT("A"));
			TestEqual(TEXT("First call caches"), Joined(Cache), TEXT("A"));
			Reported.Reset();
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B"), TEXT("C")}, Reported, false);
			TestEqual(TEXT("Second call reports"), Joined(Reported), TEXT("B"));
			TestEqual(TEXT("Second call caches"), Joined(Cache), TEXT("A|B"));
		});

		It(TEXT("ReportsTheLastStatementWhenAskedTo"), [this]()
		{
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, true);
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B"), TEXT("C")}, Reported, true);
			TestEqual(TEXT("Reported"), Joined(Reported), TEXT("A|B|C"));
		});

		It(TEXT("AppendsAStatementThatDiffersFromItsEntryAtTheEnd"), [this]()
		{
			Cache.Add(TEXT("X"));
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("A"), TEXT("B")}, Reported, true);
			TestEqual(TEXT("Reported"), Joined(Reported), TEXT("A|B"));
			TestEqual(TEXT("Cache"), Joined(Cache), TEXT("X|A|B"));
		});

		It(TEXT("IgnoresTheCaseOfLetters"), [this]()
		{
			Cache.Add(TEXT("hello"));
			TalvaneJson::GetDifferentChatContent(Cache, {TEXT("HELLO"), TEXT("x")}, Reported, true);
			TestEqual(TEXT("Reported"), Joined(Reported), TEXT("x"));
		});

		It(TEXT("ReportsEachStatementOnceAsTheTextGrows"), [this]()
		{
			const FString Answer = TEXT("One. Two! Three? Four");
			for (int32 Length = 0; Length <= Answer.Len(); ++Length)
			{
				TalvaneJson::HandleStreamStatementResponses(Answer.Left(Length), Cache, Reported, false);
			}
			TestEqual(TEXT("Reported"), Joined(Reported), TEXT("One| Two"));
			TalvaneJson::HandleStreamStatementResponses(Answer, Cache, Reported, true);
			TestEqual(TEXT("With the last"), Joined(Reported), TEXT("One| Two| Three"));
		});
	});
}

#endif
