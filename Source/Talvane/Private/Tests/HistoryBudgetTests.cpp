#include "HTTP/TalvaneHttp.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "TalvaneType.h"
#include "Tests/TalvaneTestServer.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneHistoryBudgetSpec, "Talvane.HistoryBudget", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TalvaneTestServer::FIniSnapshot Settings;

	/**
	 * One letter per message (S system, U user, A assistant, T tool); each text is the letter, its index
	 * and dots up to 10 characters, so every message counts 10.
	 */
	static TArray<FNimbrelContextMessage> Make(const FString& Roles)
	{
		TArray<FNimbrelContextMessage> Result;
		for (int32 Index = 0; Index < Roles.Len(); ++Index)
		{
			FNimbrelContextMessage& Message = Result.AddDefaulted_GetRef();
			const TCHAR Letter = Roles[Index];
			Message.Role = Letter == TEXT('U') ? ENimbrelRole::NIMBREL_USER
				: Letter == TEXT('A') ? ENimbrelRole::NIMBREL_ASSISTANT
				: Letter == TEXT('T') ? ENimbrelRole::NIMBREL_TOOL
				: ENimbrelRole::NIMBREL_SYSTEM;
			Message.Content = FString::Chr(Letter) + FString::FromInt(Index);
			Message.Content += FString::ChrN(10 - Message.Content.Len(), TEXT('.'));
		}
		return Result;
	}

	/** The letters and original indices of what is left, "S0 U5 A6". */
	static FString Show(const TArray<FNimbrelContextMessage>& InMessages)
	{
		TArray<FString> Parts;
		for (const FNimbrelContextMessage& Message : InMessages)
		{
			FString Part = Message.Content;
			Part.ReplaceInline(TEXT("."), TEXT(""));
			Parts.Add(Part);
		}
		return FString::Join(Parts, TEXT(" "));
	}

	void ExpectTrim(const FString& Roles, const int32 Budget, const TCHAR* Expected, const int32 ExpectedTurns)
	{
		TArray<FNimbrelContextMessage> Messages = Make(Roles);
		const int32 Turns = TalvaneHttp::FHTTP::TrimHistory(Messages, Budget);
		TestEqual(*FString::Printf(TEXT("%s within %d"), *Roles, Budget), Show(Messages), FString(Expected));
		TestEqual(TEXT("turns removed"), Turns, ExpectedTurns);
	}
END_DEFINE_SPEC(FTalvaneHistoryBudgetSpec)

void FTalvaneHistoryBudgetSpec::Define()
{
	BeforeEach([this]()
	{
		Settings = TalvaneTestServer::FIniSnapshot(TEXT("Talvane"), {TEXT("MaxHistoryCharacters")});
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("MaxHistoryCharacters"), GEngineIni);
	});

	AfterEach([this]()
	{
		Settings.Restore();
	});

	Describe(TEXT("Trimming"), [this]()
	{
		It(TEXT("LeavesAConversationThatFitsAsItIs"), [this]()
		{
			ExpectTrim(TEXT("SUAUAU"), 60, TEXT("S0 U1 A2 U3 A4 U5"), 0);
			ExpectTrim(TEXT("SUAUAU"), 0, TEXT("S0 U1 A2 U3 A4 U5"), 0);
			ExpectTrim(TEXT(""), 5, TEXT(""), 0);
		});

		It(TEXT("RemovesTheOldestWholeTurnsAndKeepsTheSystemMessage"), [this]()
		{
			ExpectTrim(TEXT("SUAUAUAU"), 59, TEXT("S0 U5 A6 U7"), 2);
			ExpectTrim(TEXT("SUAUAUAU"), 60, TEXT("S0 U3 A4 U5 A6 U7"), 1);
		});

		It(TEXT("NeverSplitsAToolCallTurnFromItsResults"), [this]()
		{
			// The first turn holds a tool call, two results and the answer: it goes whole or not at all.
			ExpectTrim(TEXT("UATTAUAU"), 29, TEXT("U7"), 2);
			ExpectTrim(TEXT("UATTAUAU"), 60, TEXT("U5 A6 U7"), 1);
		});

		It(TEXT("KeepsTheLastTurnWithItsToolResultsWhateverItCosts"), [this]()
		{
			ExpectTrim(TEXT("UAUAT"), 10, TEXT("U2 A3 T4"), 1);
		});

		It(TEXT("KeepsSystemMessagesAnywhereAndTheQuestionWhenTheyAloneExceedTheBudget"), [this]()
		{
			ExpectTrim(TEXT("SUASUAU"), 5, TEXT("S0 S3 U6"), 2);
		});

		It(TEXT("RemovesAMessageBeforeTheFirstQuestionAsATurnOfItsOwn"), [this]()
		{
			ExpectTrim(TEXT("AUAU"), 30, TEXT("U1 A2 U3"), 1);
		});

		It(TEXT("SaysInOneLineHowManyTurnsWent"), [this]()
		{
			AddExpectedMessage(TEXT("History budget of 59 characters: 2 oldest turns \\(4 messages\\) removed"), ELogVerbosity::Log,
				EAutomationExpectedMessageFlags::Contains, 1);
			TArray<FNimbrelContextMessage> Messages = Make(TEXT("SUAUAUAU"));
			TalvaneHttp::FHTTP::TrimHistory(Messages, 59);
		});
	});

	Describe(TEXT("Settings"), [this]()
	{
		It(TEXT("TakesTheIniDefaultWhenTheRecordSetsNone"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("MaxHistoryCharacters"), TEXT("59"), GEngineIni);
			ExpectTrim(TEXT("SUAUAUAU"), 0, TEXT("S0 U5 A6 U7"), 2);
			ExpectTrim(TEXT("SUAUAUAU"), 60, TEXT("S0 U3 A4 U5 A6 U7"), 1);
			ExpectTrim(TEXT("SUAUAUAU"), -1, TEXT("S0 U1 A2 U3 A4 U5 A6 U7"), 0);
		});

		It(TEXT("TakesNoLimitFromAnIniValueOfZeroOrBelow"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("MaxHistoryCharacters"), TEXT("-30"), GEngineIni);
			ExpectTrim(TEXT("SUAUAUAU"), 0, TEXT("S0 U1 A2 U3 A4 U5 A6 U7"), 0);
		});
	});

	Describe(TEXT("ALongConversation"), [this]()
	{
		It(TEXT("Of500TurnsKeepsTheNewestThatFit"), [this]()
		{
			FString Roles = TEXT("S");
			for (int32 Turn = 0; Turn < 500; ++Turn)
			{
				Roles += TEXT("UA");
			}
			Roles += TEXT("U");
			TArray<FNimbrelContextMessage> Messages = Make(Roles);
			TestEqual(TEXT("turns removed"), TalvaneHttp::FHTTP::TrimHistory(Messages, 2000), 401);
			int32 Characters = 0;
			for (const FNimbrelContextMessage& Message : Messages)
			{
				Characters += Message.Content.Len() + Message.Name.Len();
			}
			TestTrue(TEXT("within the budget"), Characters <= 2000);
			TestEqual(TEXT("system, 99 turns, the question"), Messages.Num(), 1 + 2 * 99 + 1);
			TestEqual(TEXT("system first"), Messages[0].Role, ENimbrelRole::NIMBREL_SYSTEM);
			TestEqual(TEXT("a question after the system message"), Messages[1].Role, ENimbrelRole::NIMBREL_USER);
			TestEqual(TEXT("the question last"), Messages.Last().Content, Make(Roles).Last().Content);
		});
	});
}

#endif
