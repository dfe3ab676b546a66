#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageFailureSpec, "Talvane.Manage.Failure", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
	std::unique_ptr<FTalvaneLogCapture> Log;
	TalvaneTestServer::FIniSnapshot RetrySettings;

	/** Retries on, with waits short enough for a test (a server's Retry-After of 1 s is capped too). */
	void EnableRetries(const int32 InMaxRetries)
	{
		GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), *FString::FromInt(InMaxRetries), GEngineIni);
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryBaseSeconds"), TEXT("0.01"), GEngineIni);
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("0.05"), GEngineIni);
	}

	/** Headers of a request that fails Times times with Status (then is answered), counted under a fresh key. */
	static TMap<FString, FString> FailingHeaders(const int32 Times, const int32 Status)
	{
		return {{TEXT("X-Talvane-Fail-Times"), FString::FromInt(Times)}, {TEXT("X-Talvane-Fail-Status"), FString::FromInt(Status)},
			{TEXT("X-Talvane-Fail-Key"), FGuid::NewGuid().ToString()}};
	}

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
		RetrySettings = TalvaneTestServer::FIniSnapshot(TEXT("Talvane"), {TEXT("MaxRetries"), TEXT("RetryBaseSeconds"), TEXT("RetryMaxSeconds")});
	});

	AfterEach([this]()
	{
		RetrySettings.Restore();
		Log.reset();
		Manager.reset();
		StopServer();
		ResetCloud();
	});

	Describe(TEXT("Retries"), [this]()
	{
		It(TEXT("SendsARateLimitedRequestAgainUnderItsGUIDAndReportsOnlyTheAnswer"), [this]()
		{
			EnableRetries(2);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("again"), Record, FailingHeaders(2, 429));
			bool bAlwaysValid = true;
			TestTrue(TEXT("reported"), TickUntil([this, RequestID, &bAlwaysValid]()
			{
				const bool bDone = Manager->Reports.Finished() > 0;
				bAlwaysValid = bAlwaysValid && (bDone || Manager->IsValidRequest(RequestID));
				return bDone;
			}));
			TestTrue(TEXT("the GUID stayed valid while waiting"), bAlwaysValid);
			TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
			TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
			TestEqual(TEXT("a log line per retry"), Log->Find(TEXT("Retrying request ") + RequestID.ToString(EGuidFormats::Digits)).Num(), 2);
			TestEqual(TEXT("question once, answer once"), Record.Messages.Num(), 2);
			TestEqual(TEXT("the answer"), Record.Messages.Last().Content, ExpectedAnswer(TEXT("again"), 1, 1));
			TestEqual(TEXT("no state left"), Manager->GetTrackedRequestCount(), 0);
		});

		It(TEXT("ReportsTheLastFailureOnceWhenTheRetriesRunOut"), [this]()
		{
			EnableRetries(1);
			FNimbrelChatRequest Record = MakeChatRecord(false);
			Manager->NimbrelChatRequest(TEXT("no luck"), Record, FailingHeaders(3, 503));
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
			TickUntil([]() { return false; }, 0.2);
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("one retry"), Log->Find(TEXT("Retrying request ")).Num(), 1);
			TestEqual(TEXT("logged once"), ErrorLines(TEXT("[code=503]")), 1);
		});

		It(TEXT("NeverRetriesByDefaultNorAStatusThatIsNotWorthIt"), [this]()
		{
			FNimbrelChatRequest First = MakeChatRecord(true);
			Manager->NimbrelChatRequest(TEXT("a"), First, FailingHeaders(1, 503));
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			EnableRetries(3);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			Manager->NimbrelChatRequest(TEXT("b"), Record, FailingHeaders(1, 401));
			TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			TestEqual(TEXT("two failures"), Manager->Reports.Failures.Num(), 2);
			TestEqual(TEXT("no retry"), Log->Find(TEXT("Retrying request ")).Num(), 0);
		});

		It(TEXT("NeverReplaysAStreamWhoseTextReachedTheGame"), [this]()
		{
			AddExpectedError(TEXT("\\[OnRequestComplete\\]"), EAutomationExpectedErrorFlags::Contains, 1);
			EnableRetries(3);
			ChatThrough(TEXT("drop"));
			TestTrue(TEXT("text arrived first"), Manager->Reports.Progress.Num() > 0);
			TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
			TestEqual(TEXT("no retry"), Log->Find(TEXT("Retrying request ")).Num(), 0);
		});

		It(TEXT("ReportsACancelDuringTheWaitOnceAndSendsNothingMore"), [this]()
		{
			EnableRetries(2);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("30"), GEngineIni);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("wait"), Record, FailingHeaders(1, 503));
			TestTrue(TEXT("waiting to retry"), TickUntil([this]() { return Log->Find(TEXT("Retrying request ")).Num() == 1; }));
			Manager->CancelRequest(RequestID);
			TestEqual(TEXT("one failure at once"), Manager->Reports.Failures.Num(), 1);
			TestFalse(TEXT("no longer valid"), Manager->IsValidRequest(RequestID));
			TickUntil([]() { return false; }, 0.2);
			TestEqual(TEXT("still one report"), Manager->Reports.Finished(), 1);
		});
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
