#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

// The reference server's "trickle" pauses Delay after every event of a stream (every 64 bytes of a whole
// answer), so it fixes lower bounds on the times a request can take. The tests check the timings
// against that pacing and against each other; they never bound how fast the plugin is.

BEGIN_DEFINE_SPEC(FTalvaneManageTimingsSpec, "Talvane.Manage.Timings", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
	/** The timings each outcome carried, and those read through GetRequestTimings inside the delegates. */
	TArray<FTalvaneRequestOutcome> Outcomes;
	TArray<FTalvaneRequestTimings> ReadInDelegate;

	static constexpr float DelaySeconds = 0.2f;

	static TMap<FString, FString> Trickle()
	{
		return {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}, {TEXT("X-Talvane-Delay-Ms"), TEXT("200")}};
	}

	/** Sends a chat question with a listener and ticks until its outcome arrives. */
	FGuid Ask(FNimbrelChatRequest& Record, const TMap<FString, FString>& Headers)
	{
		const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("How long?"), Record, Headers);
		FTalvaneRequestListener Listener;
		Listener.OnComplete.BindLambda([this](const FTalvaneRequestOutcome& InOutcome) { Outcomes.Add(InOutcome); });
		Manager->SetRequestListener(RequestID, Listener);
		const auto ReadTimings = [this, RequestID](ENimbrelProtocol, const TArray<FString>&, const TArray<FString>&, const FString&,
			const FNimbrelContextInfo&)
		{
			FTalvaneRequestTimings Timings;
			TestTrue(TEXT("readable while the report is delivered"), Manager->GetRequestTimings(RequestID, Timings));
			ReadInDelegate.Add(Timings);
		};
		Manager->SuccessDelegate.BindLambda(ReadTimings);
		Manager->FailureDelegate.BindLambda(ReadTimings);
		TestTrue(TEXT("an outcome"), TickUntil([this]() { return Outcomes.Num() > 0; }));
		return RequestID;
	}

	/** What holds for every finished request: the order of the points in time and a sane upper end. */
	void ExpectOrdered(const FTalvaneRequestTimings& Timings)
	{
		TestTrue(TEXT("ended"), Timings.SecondsToCompletion >= 0.0f && Timings.SecondsToCompletion < 120.0f);
		TestTrue(TEXT("the first byte before the end"), Timings.SecondsToFirstByte >= 0.0f && Timings.SecondsToFirstByte <= Timings.SecondsToCompletion);
		if (Timings.SecondsToFirstText >= 0.0f)
		{
			TestTrue(TEXT("the first text after the first byte"), Timings.SecondsToFirstText >= Timings.SecondsToFirstByte);
			TestTrue(TEXT("the first text before the end"), Timings.SecondsToFirstText <= Timings.SecondsToCompletion);
		}
	}
END_DEFINE_SPEC(FTalvaneManageTimingsSpec)

void FTalvaneManageTimingsSpec::Define()
{
	BeforeEach([this]()
	{
		Manager = MakeManager();
		Outcomes.Reset();
		ReadInDelegate.Reset();
	});

	AfterEach([this]()
	{
		Manager.reset();
		ResetCloud();
	});

	It(TEXT("FollowTheTricklesPaceForAStreamedAnswer"), [this]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(true);
		Record.StreamOptions.bIncludeUsage = true;
		const FGuid RequestID = Ask(Record, Trickle());
		if (!TestEqual(TEXT("one outcome"), Outcomes.Num(), 1))
		{
			return;
		}
		const FTalvaneRequestTimings& Timings = Outcomes[0].Timings;
		TestTrue(TEXT("a success"), Outcomes[0].bSucceeded);
		ExpectOrdered(Timings);
		// The role event comes at once, the first text one pause later, and at least three more events
		// (text, the finish reason, the usage, the end marker) each after a pause.
		TestTrue(TEXT("the first text after one pause"), Timings.SecondsToFirstText >= 0.9f * DelaySeconds);
		TestTrue(TEXT("the end after several pauses"), Timings.SecondsToCompletion >= 3 * 0.9f * DelaySeconds);
		const FString Answer = ExpectedAnswer(TEXT("How long?"), 1, 1);
		TestEqual(TEXT("the answer's characters"), Timings.AnswerCharacters, Answer.Len());
		const float Streaming = Timings.SecondsToCompletion - Timings.SecondsToFirstText;
		const float Characters = Timings.CharactersPerSecond * Streaming;
		TestTrue(TEXT("characters per second, from the first text to the end"),
			Streaming > 0.0f && Characters >= 0.95f * Answer.Len() && Characters <= 1.05f * Answer.Len());
		TestTrue(TEXT("the usage the server sent"), Timings.bHasUsage && Timings.Usage.PromptTokens > 0 && Timings.Usage.TotalTokens > Timings.Usage.PromptTokens);
		if (TestEqual(TEXT("read once inside the success delegate"), ReadInDelegate.Num(), 1))
		{
			TestEqual(TEXT("the same end"), ReadInDelegate[0].SecondsToCompletion, Timings.SecondsToCompletion);
		}
		FTalvaneRequestTimings After;
		TestFalse(TEXT("gone once the report was delivered"), Manager->GetRequestTimings(RequestID, After));
	});

	It(TEXT("ShowWhatIsKnownWhileTheAnswerArrives"), [this]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(true);
		const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("Still there?"), Record, Trickle());
		TestTrue(TEXT("text arrived"), TickUntil([this, RequestID]() { return Manager->Reports.ProgressOf(RequestID).Num() > 0; }));
		FTalvaneRequestTimings Timings;
		if (TestTrue(TEXT("known while in flight"), Manager->GetRequestTimings(RequestID, Timings)))
		{
			TestTrue(TEXT("a first byte"), Timings.SecondsToFirstByte >= 0.0f);
			TestTrue(TEXT("no end yet"), Timings.SecondsToCompletion < 0.0f);
			TestEqual(TEXT("no rate before the end"), Timings.CharactersPerSecond, 0.0f);
		}
		FTalvaneRequestTimings Unknown;
		TestFalse(TEXT("an unknown GUID"), Manager->GetRequestTimings(FGuid::NewGuid(), Unknown));
		TickUntil([this]() { return Manager->Reports.Finished() > 0; });
	});

	It(TEXT("GiveAWholeAnswerItsTextAtTheEnd"), [this]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(false);
		Ask(Record, Trickle());
		if (!TestEqual(TEXT("one outcome"), Outcomes.Num(), 1))
		{
			return;
		}
		const FTalvaneRequestTimings& Timings = Outcomes[0].Timings;
		ExpectOrdered(Timings);
		TestEqual(TEXT("the text came with the end"), Timings.SecondsToFirstText, Timings.SecondsToCompletion);
		// The whole body comes in slices of 64 bytes, a pause after each.
		TestTrue(TEXT("the end after the body's pauses"), Timings.SecondsToCompletion >= 2 * 0.9f * DelaySeconds);
		TestEqual(TEXT("no streaming rate"), Timings.CharactersPerSecond, 0.0f);
		TestTrue(TEXT("a whole answer always carries its usage"), Timings.bHasUsage && Timings.Usage.TotalTokens > 0);
	});

	It(TEXT("ComeWithAFailureToo"), [this]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(true);
		Ask(Record, Scenario(TEXT("status-500")));
		if (!TestEqual(TEXT("one outcome"), Outcomes.Num(), 1))
		{
			return;
		}
		const FTalvaneRequestTimings& Timings = Outcomes[0].Timings;
		TestFalse(TEXT("a failure"), Outcomes[0].bSucceeded);
		ExpectOrdered(Timings);
		TestTrue(TEXT("no answer text"), Timings.SecondsToFirstText < 0.0f && Timings.AnswerCharacters == 0);
		TestFalse(TEXT("no usage"), Timings.bHasUsage);
		TestEqual(TEXT("read inside the failure delegate"), ReadInDelegate.Num(), 1);
	});
}

#endif
