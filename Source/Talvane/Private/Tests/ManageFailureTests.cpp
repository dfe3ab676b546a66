#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageFailureSpec, "Talvane.Manage.Failure", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
	std::unique_ptr<FTalvaneLogCapture> Log;

	/** Sends a streamed chat question through a scenario and ticks until it is reported. */
	FNimbrelChatRequest ChatThrough(const TCHAR* ScenarioName)
	{
		FNimbrelChatRequest Record = MakeChatRecord(true);
		Manager->NimbrelChatRequest(TEXT("q"), Record, Scenario(ScenarioName));
		TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
		return Record;
	}

	/** The manager's own error lines (the transport writes others of its own). */
	int32 ErrorLines(const FString& CodePrefix) const
	{
		return Log->Find(CodePrefix).Num();
	}
END_DEFINE_SPEC(FTalvaneManageFailureSpec)

void FTalvaneManageFailureSpec::Define()
{
	BeforeEach([this]()
	{
		Manager = MakeManager();
		Log = std::make_unique<FTalvaneLogCapture>();
	});

	AfterEach([this]()
	{
		Log.reset();
		Manager.reset();
		StopServer();
		ResetCloud();
	});

	Describe(TEXT("ErrorStatus"), [this]()
	{
		It(TEXT("ReportsTheRawBodyOnceWithTheProtocol"), [this]()
		{
			const FNimbrelChatRequest Record = ChatThrough(TEXT("status-401"));
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("no success"), Manager->Reports.Successes.Num(), 0);
			const FResponseReport& Failure = Manager->Reports.Failures[0];
			TestEqual(TEXT("protocol"), Failure.Protocol, ENimbrelProtocol::NIMBREL_CHAT);
			TestTrue(TEXT("message"), Failure.Msg.Equals(TEXT("Error"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("one text"), Failure.Data.Num(), 1);
			TestTrue(TEXT("the raw error body"), Failure.Data[0].StartsWith(TEXT("{\"error\":")));
			TestEqual(TEXT("no reasoning"), Failure.ReasoningData.Num(), 0);
			TestEqual(TEXT("logged once"), ErrorLines(TEXT("[code=401]")), 1);
			TestEqual(TEXT("conversation holds only the question"), Record.Messages.Num(), 1);
		});

		It(TEXT("ReportsABodyArrivingInSlicesOnceAndMakesNoProgressReport"), [this]()
		{
			ChatThrough(TEXT("status-500-slow"));
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("no progress"), Manager->Reports.Progress.Num(), 0);
			TestTrue(TEXT("the whole body"), Manager->Reports.Failures[0].Data[0].EndsWith(TEXT("}}")));
			TestEqual(TEXT("logged once"), ErrorLines(TEXT("[code=500]")), 1);
		});

		It(TEXT("NamesALocalChatFailureNone"), [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			Record.ChatID = TEXT("x");
			Manager->NimbrelLocalChatRequest(TEXT("q"), Record, Scenario(TEXT("status-503")));
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
			TestEqual(TEXT("protocol none"), Manager->Reports.Failures[0].Protocol, ENimbrelProtocol::NIMBREL_NONE);
		});
	});

	Describe(TEXT("ErrorInsideSuccess"), [this]()
	{
		It(TEXT("ReportsAnErrorEventInAStreamAsAFailureAndAppendsNothing"), [this]()
		{
			const FNimbrelChatRequest Record = ChatThrough(TEXT("error-event"));
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("no success"), Manager->Reports.Successes.Num(), 0);
			TestTrue(TEXT("the whole body"), Manager->Reports.Failures[0].Data[0].Contains(TEXT("stream interrupted")));
			TestTrue(TEXT("text before it was reported"), Manager->Reports.Progress.Num() > 0);
			TestEqual(TEXT("conversation holds only the question"), Record.Messages.Num(), 1);
			TestEqual(TEXT("logged with the success status"), ErrorLines(TEXT("[code=200]")), 1);
		});

		for (const bool bCombined : {true, false})
		{
			It(FString(TEXT("ReportsAStreamCutOffBeforeItsEndAsAFailureAndAppendsNothingIn")) + (bCombined ? TEXT("WholeMode") : TEXT("DeltaMode")),
				[this, bCombined]()
			{
				AddExpectedError(TEXT("The stream ended early: the connection closed after [0-9]+ characters"), EAutomationExpectedErrorFlags::Contains, 1);
				Manager->SetStreamCombinedReply(bCombined);
				const FNimbrelChatRequest Record = ChatThrough(TEXT("cut"));
				TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
				TestEqual(TEXT("no success"), Manager->Reports.Successes.Num(), 0);
				TestTrue(TEXT("the partial body"), Manager->Reports.Failures.Num() == 1
					&& Manager->Reports.Failures[0].Data[0].StartsWith(TEXT("data: "), ESearchCase::CaseSensitive)
					&& !Manager->Reports.Failures[0].Data[0].Contains(TEXT("[DONE]")));
				TestEqual(TEXT("conversation holds only the question"), Record.Messages.Num(), 1);
			});
		}

		It(TEXT("ReportsAnEmptyStreamedAnswerAsAFailure"), [this]()
		{
			AddExpectedError(TEXT("The stream ended early: the connection closed after 0 characters"), EAutomationExpectedErrorFlags::Contains, 1);
			const FNimbrelChatRequest Record = ChatThrough(TEXT("empty-stream"));
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("empty body"), Manager->Reports.Failures.Num() == 1 ? Manager->Reports.Failures[0].Data[0] : TEXT("<none>"), FString());
			TestEqual(TEXT("no progress"), Manager->Reports.Progress.Num(), 0);
			TestEqual(TEXT("conversation holds only the question"), Record.Messages.Num(), 1);
		});

		It(TEXT("KeepsAStreamWithAFinishReasonButNoEndMarkerASuccess"), [this]()
		{
			const FNimbrelChatRequest Record = ChatThrough(TEXT("no-done"));
			TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
			TestEqual(TEXT("answer appended"), Record.Messages.Num(), 2);
		});

		It(TEXT("ReportsALocalServersRefusalAsAFailure"), [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			Record.ChatID = TEXT("x");
			Record.bStream = false;
			Manager->NimbrelLocalChatRequest(TEXT("q"), Record, Scenario(TEXT("refusal")));
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestTrue(TEXT("its body"), Manager->Reports.Failures[0].Data[0].Contains(TEXT("chat refused")));
		});
	});

	Describe(TEXT("NoResponse"), [this]()
	{
		It(TEXT("ReportsACancelledRequestOnce"), [this]()
		{
			AddExpectedError(TEXT("Request error response is empty."), EAutomationExpectedErrorFlags::Contains, 1);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("q"), Record, Scenario(TEXT("stall")));
			Manager->CancelRequest(RequestID);
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
			TickUntil([]() { return false; }, 0.3);
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestFalse(TEXT("no longer in flight"), Manager->IsValidRequest(RequestID));
		});

		It(TEXT("ReportsAStalledServerAfterTheTimeOut"), [this]()
		{
			AddExpectedError(TEXT("Request error response is empty."), EAutomationExpectedErrorFlags::Contains, 1);
			ConfigureCloud(GetServerBaseURL(), 0.5);
			ChatThrough(TEXT("stall"));
			ConfigureCloud(GetServerBaseURL());
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
		});
	});
}

#endif
