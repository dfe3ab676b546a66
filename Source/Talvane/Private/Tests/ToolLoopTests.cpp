#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"
#include "TalvaneToolLoop.h"
#include "UObject/UObjectGlobals.h"
#include "ToolLoopTestTypes.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneToolLoopSpec, "Talvane.Manage.ToolLoop", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
	UTalvaneTestTavern* Tavern = nullptr;
	TArray<FName> Listed;
	TArray<FTalvaneToolCallReport> Calls;
	TArray<FTalvaneToolLoopOutcome> Outcomes;
	FString Progress;
	/** The loop a spec cancels from its first tool-call report. */
	TSharedPtr<FTalvaneToolLoop> Running;
	bool bCancelOnCall = false;
	/** The record a spec sends a newer question on from its first tool-call report. */
	FNimbrelChatRequest* AskOnCall = nullptr;

	FTalvaneToolLoopListener MakeListener()
	{
		FTalvaneToolLoopListener Listener;
		Listener.OnToolCall.BindLambda([this](const FTalvaneToolCallReport& Report)
		{
			Calls.Add(Report);
			if (bCancelOnCall && Running.IsValid())
			{
				Running->Cancel();
			}
			if (AskOnCall && Calls.Num() == 1)
			{
				Manager->NimbrelChatRequest(TEXT("second"), *AskOnCall, {});
			}
		});
		Listener.OnComplete.BindLambda([this](const FTalvaneToolLoopOutcome& Outcome) { Outcomes.Add(Outcome); });
		Listener.OnProgress.BindLambda([this](ENimbrelProtocol, const FString& Text, const FString&, const FNimbrelContextInfo&, int32, int32)
			{ Progress += Text; });
		return Listener;
	}

	/** Starts a loop; bInSlow: the server waits 300 ms before each answer, so the request is surely in flight meanwhile. */
	TSharedPtr<FTalvaneToolLoop> Start(FNimbrelChatRequest& Record, const TCHAR* InScenario, const int32 InMaxSteps = 0, const bool bInSlow = false)
	{
		FString Error;
		TMap<FString, FString> Headers = Scenario(InScenario);
		if (bInSlow)
		{
			Headers.Add(TEXT("X-Talvane-Delay-Ms"), TEXT("300"));
		}
		TSharedPtr<FTalvaneToolLoop> Loop = FTalvaneToolLoop::Start(*Manager, TEXT("What does the tavern say?"), Record, Tavern, Listed,
			InMaxSteps, Headers, MakeListener(), Error);
		TestTrue(*(TEXT("started: ") + Error), Loop.IsValid());
		return Loop;
	}

	/** Waits for the loop's one outcome, and a while longer for a second that must not come. */
	bool WaitForOutcome()
	{
		const bool bEnded = TickUntil([this]() { return Outcomes.Num() > 0; });
		TickUntil([]() { return false; }, 0.3);
		TestEqual(TEXT("exactly one outcome"), Outcomes.Num(), 1);
		return bEnded && Outcomes.Num() == 1;
	}

	/** Every assistant turn with tool calls is followed by exactly one result per call, in order, with its call id. */
	void ExpectEveryTurnAnswered(const TArray<FNimbrelContextMessage>& Messages)
	{
		for (int32 Index = 0; Index < Messages.Num(); ++Index)
		{
			const FNimbrelContextMessage& Turn = Messages[Index];
			TestFalse(TEXT("no result without its turn"), Turn.Role == ENimbrelRole::NIMBREL_TOOL && Index == 0);
			for (int32 Call = 0; Call < Turn.ToolCalls.Num(); ++Call)
			{
				const int32 At = Index + 1 + Call;
				if (TestTrue(TEXT("a result for each call"), At < Messages.Num() && Messages[At].Role == ENimbrelRole::NIMBREL_TOOL))
				{
					TestEqual(TEXT("the result names its call"), Messages[At].ToolCallID, Turn.ToolCalls[Call].ID);
				}
			}
		}
	}

	void DefineLoop(bool bStream);
	void DefineEnds(bool bStream);
END_DEFINE_SPEC(FTalvaneToolLoopSpec)

void FTalvaneToolLoopSpec::Define()
{
	BeforeEach([this]()
	{
		Tavern = NewObject<UTalvaneTestTavern>();
		// Rooted: the engine may collect garbage between the steps of a spec.
		Tavern->AddToRoot();
		Listed = {TEXT("RollDie"), TEXT("PriceOf")};
		Calls.Reset();
		Outcomes.Reset();
		Progress.Reset();
		Running.Reset();
		bCancelOnCall = false;
		AskOnCall = nullptr;
	});

	AfterEach([this]()
	{
		Running.Reset();
		Manager.reset();
		if (Tavern)
		{
			Tavern->RemoveFromRoot();
		}
		Tavern = nullptr;
		ResetCloud();
	});

	for (const bool bStream : {false, true})
	{
		for (const bool bCombined : {true, false})
		{
			const FString Mode = FString(bStream ? TEXT("Streamed") : TEXT("Whole")) + (bCombined ? TEXT("Combined") : TEXT("Delta"));
			Describe(Mode, [this, bStream, bCombined]()
			{
				BeforeEach([this, bCombined]() { Manager = MakeManager(bCombined); });
				DefineLoop(bStream);
				DefineEnds(bStream);
			});
		}
	}

	It(TEXT("RefusesAListItCannotOfferAndSendsNothing"), [this]()
	{
		Manager = MakeManager();
		AddExpectedError(TEXT("NoSuchFunction"), EAutomationExpectedErrorFlags::Contains, 0);
		FNimbrelChatRequest Record = MakeChatRecord(false);
		Listed.Add(TEXT("NoSuchFunction"));
		FString Error;
		const TSharedPtr<FTalvaneToolLoop> Loop = FTalvaneToolLoop::Start(*Manager, TEXT("Hello"), Record, Tavern, Listed, 0,
			Scenario(TEXT("tools")), MakeListener(), Error);
		TestFalse(TEXT("no loop"), Loop.IsValid());
		TestTrue(TEXT("the error names the function"), Error.Contains(TEXT("NoSuchFunction")));
		TestEqual(TEXT("the record is untouched"), Record.Messages.Num(), 0);
		TestEqual(TEXT("no request"), Manager->GetTrackedRequestCount(), 0);
		TestEqual(TEXT("no outcome"), Outcomes.Num(), 0);
	});
}

void FTalvaneToolLoopSpec::DefineLoop(const bool bStream)
{
	It(TEXT("CallsTwoGameFunctionsAndEndsWithAnAnswerThatQuotesThem"), [this, bStream]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools"));
		if (!WaitForOutcome())
		{
			return;
		}
		const FTalvaneToolLoopOutcome& Outcome = Outcomes[0];
		TestTrue(*(TEXT("succeeded: ") + Outcome.Message), Outcome.bSucceeded);
		TestEqual(TEXT("two requests"), Outcome.Steps, 2);
		TestEqual(TEXT("both functions ran once"), Tavern->Calls, 2);
		if (TestEqual(TEXT("two calls reported"), Calls.Num(), 2))
		{
			TestEqual(TEXT("the die"), Calls[0].Name, FString(TEXT("RollDie")));
			TestEqual(TEXT("its result"), Calls[0].Result, FString(TEXT(R"({"ReturnValue":4})")));
			TestEqual(TEXT("the price list"), Calls[1].Name, FString(TEXT("PriceOf")));
			TestEqual(TEXT("its result"), Calls[1].Result, FString(TEXT(R"({"ReturnValue":13})")));
			TestTrue(TEXT("the answer quotes the roll"), Outcome.Text.Contains(Calls[0].Result));
			TestTrue(TEXT("the answer quotes the price"), Outcome.Text.Contains(Calls[1].Result));
		}
		// Question, the turn with its two calls, their results, the answer.
		if (TestEqual(TEXT("five messages"), Record.Messages.Num(), 5))
		{
			TestEqual(TEXT("the question"), Record.Messages[0].Role, ENimbrelRole::NIMBREL_USER);
			TestEqual(TEXT("the turn calls both"), Record.Messages[1].ToolCalls.Num(), 2);
			TestEqual(TEXT("a result"), Record.Messages[2].Content, FString(TEXT(R"({"ReturnValue":4})")));
			TestEqual(TEXT("a result"), Record.Messages[3].Content, FString(TEXT(R"({"ReturnValue":13})")));
			TestEqual(TEXT("the answer"), Record.Messages[4].Content, Outcome.Text);
			TestEqual(TEXT("answered by the assistant"), Record.Messages[4].Role, ENimbrelRole::NIMBREL_ASSISTANT);
		}
		ExpectEveryTurnAnswered(Record.Messages);
		TestTrue(TEXT("the record's own tools are back"), Record.Tools.Num() == 0 && Record.ToolChoice == ENimbrelToolChoice::NB_NONE);
	});

	It(TEXT("LeavesARecordTheNextQuestionWorksOn"), [this, bStream]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools"));
		if (!WaitForOutcome())
		{
			return;
		}
		Manager->NimbrelChatRequest(TEXT("And now?"), Record, {});
		TestTrue(TEXT("answered"), TickUntil([this]() { return Manager->Reports.Finished() >= 3; }));
		TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
		if (bStream)
		{
			// A streamed answer enters the record as today; a whole one is the caller's to record.
			TestEqual(TEXT("question and answer added"), Record.Messages.Num(), 7);
		}
		TestEqual(TEXT("the next question"), Record.Messages[5].Content, FString(TEXT("And now?")));
		ExpectEveryTurnAnswered(Record.Messages);
	});
}

void FTalvaneToolLoopSpec::DefineEnds(const bool bStream)
{
	It(TEXT("StopsAtItsStepLimitWithEveryRecordedTurnAnswered"), [this, bStream]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools-endless"), 3);
		if (!WaitForOutcome())
		{
			return;
		}
		TestFalse(TEXT("failed"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("says why"), Outcomes[0].Message, FTalvaneToolLoop::MakeStepLimitMessage(3));
		TestEqual(TEXT("three requests"), Outcomes[0].Steps, 3);
		TestEqual(TEXT("the calls of two answers ran"), Tavern->Calls, 4);
		// The question, then two turns of two calls each with their results; the third answer's calls never ran.
		TestEqual(TEXT("seven messages"), Record.Messages.Num(), 7);
		ExpectEveryTurnAnswered(Record.Messages);
	});

	It(TEXT("GivesAnUnlistedFunctionAnErrorAndCallsNothing"), [this, bStream]()
	{
		AddExpectedError(TEXT("not made"), EAutomationExpectedErrorFlags::Contains, 1);
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools-unlisted"));
		if (!WaitForOutcome())
		{
			return;
		}
		TestTrue(TEXT("the model heard the error and answered"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("nothing ran"), Tavern->Calls, 0);
		if (TestEqual(TEXT("one call"), Calls.Num(), 1))
		{
			TestFalse(TEXT("refused"), Calls[0].bRan);
			TestTrue(TEXT("an error result"), Calls[0].Result.StartsWith(TEXT("Error:")));
			TestTrue(TEXT("quoted back"), Outcomes[0].Text.Contains(Calls[0].Result));
		}
		ExpectEveryTurnAnswered(Record.Messages);
	});

	It(TEXT("GivesMalformedArgumentsAnErrorAndCallsNothing"), [this, bStream]()
	{
		AddExpectedError(TEXT("not made"), EAutomationExpectedErrorFlags::Contains, 1);
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools-malformed"));
		if (!WaitForOutcome())
		{
			return;
		}
		TestTrue(TEXT("answered"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("nothing ran"), Tavern->Calls, 0);
		TestTrue(TEXT("an error result"), Calls.Num() == 1 && !Calls[0].bRan && Calls[0].Result.StartsWith(TEXT("Error:")));
		ExpectEveryTurnAnswered(Record.Messages);
	});

	It(TEXT("GivesEveryCallOnADestroyedTargetAnError"), [this, bStream]()
	{
		AddExpectedError(TEXT("the game object behind this tool is gone"), EAutomationExpectedErrorFlags::Contains, 0);
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools"));
		// The engine refuses to mark a rooted object as garbage; the collection between steps frees it.
		Tavern->RemoveFromRoot();
		Tavern->MarkAsGarbage();
		Tavern = nullptr;
		if (!WaitForOutcome())
		{
			return;
		}
		TestTrue(TEXT("the model heard the errors and answered"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("two refused calls"), Calls.Num(), 2);
		for (const FTalvaneToolCallReport& Call : Calls)
		{
			TestTrue(TEXT("an error result"), !Call.bRan && Call.Result.StartsWith(TEXT("Error: the game object behind this tool is gone")));
		}
		ExpectEveryTurnAnswered(Record.Messages);
	});

	It(TEXT("EndsOnceWhenCancelledWhileARequestIsInFlight"), [this, bStream]()
	{
		AddExpectedError(TEXT("\\[OnRequestComplete\\]|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		const TSharedPtr<FTalvaneToolLoop> Loop = Start(Record, TEXT("tools"), 0, true);
		if (Loop.IsValid())
		{
			Loop->Cancel();
			Loop->Cancel();
		}
		if (!WaitForOutcome())
		{
			return;
		}
		TestFalse(TEXT("failed"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("says why"), Outcomes[0].Message, FString(TEXT("The tool loop was cancelled.")));
		TestEqual(TEXT("nothing ran"), Tavern->Calls, 0);
		TestEqual(TEXT("only the question"), Record.Messages.Num(), 1);
	});

	It(TEXT("EndsOnceWhenCancelledAsACallIsReported"), [this, bStream]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Running = Start(Record, TEXT("tools-endless"));
		bCancelOnCall = true;
		if (!WaitForOutcome())
		{
			return;
		}
		TestFalse(TEXT("failed"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("says why"), Outcomes[0].Message, FString(TEXT("The tool loop was cancelled.")));
		TestEqual(TEXT("one request"), Outcomes[0].Steps, 1);
		// The turn and both its results were written before the calls were reported.
		TestEqual(TEXT("question, turn, two results"), Record.Messages.Num(), 4);
		ExpectEveryTurnAnswered(Record.Messages);
		TestFalse(TEXT("ended"), Running.IsValid() && Running->IsRunning());
	});

	It(TEXT("IsSupersededByANewerQuestionOnItsRecord"), [this, bStream]()
	{
		AddExpectedError(TEXT("\\[OnRequestComplete\\]|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		Start(Record, TEXT("tools"), 0, true);
		Manager->NimbrelChatRequest(TEXT("second"), Record, {});
		if (!WaitForOutcome())
		{
			return;
		}
		TestFalse(TEXT("failed"), Outcomes[0].bSucceeded);
		TestEqual(TEXT("says why"), Outcomes[0].Message, FTalvaneManage::GetSupersededMessage());
		TestTrue(TEXT("the newer question answered"), TickUntil([this]() { return Manager->Reports.Successes.Num() > 0; }));
		TestEqual(TEXT("nothing ran"), Tavern->Calls, 0);
		TestTrue(TEXT("the newest question"), Record.Messages.Num() > 0 && Record.Messages[0].Content == TEXT("second"));
		ExpectEveryTurnAnswered(Record.Messages);
	});

	It(TEXT("IsSupersededByAQuestionSentFromAToolCallReport"), [this, bStream]()
	{
		FNimbrelChatRequest Record = MakeChatRecord(bStream);
		AskOnCall = &Record;
		Start(Record, TEXT("tools-endless"));
		if (!WaitForOutcome())
		{
			return;
		}
		TestEqual(TEXT("says why"), Outcomes[0].Message, FTalvaneManage::GetSupersededMessage());
		TestEqual(TEXT("asked nothing more"), Outcomes[0].Steps, 1);
		TestTrue(TEXT("the newer question answered"), TickUntil([this]() { return Manager->Reports.Successes.Num() >= 2; }));
		// The question, the turn with both results, then the newer question (and its streamed answer).
		if (TestEqual(TEXT("messages"), Record.Messages.Num(), bStream ? 6 : 5))
		{
			TestEqual(TEXT("the newer question follows the results"), Record.Messages[4].Content, FString(TEXT("second")));
		}
		ExpectEveryTurnAnswered(Record.Messages);
	});
}

#endif
