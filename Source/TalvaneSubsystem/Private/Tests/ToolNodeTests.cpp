#include "Misc/AutomationTest.h"
#include "RandomCollections.h"
#include "TalvaneSubsystem.h"
#include "TalvaneToolLoopAsyncAction.h"
#include "TestGameInstance.h"
#include "Tests/TalvaneTestServer.h"
#include "ToolNodeTestTypes.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

BEGIN_DEFINE_SPEC(FTalvaneToolNodeSpec, "Talvane.Subsystem.ToolNode", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	FTestGameInstance Game;
	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	/** The pins' listener, and the nodes' world context: held by the game instance, so it goes with it. */
	UToolNodeTestListener* Listener = nullptr;
	UToolNodeTestInnkeeper* Innkeeper = nullptr;
	TSharedPtr<FRandomCollections> Collections;

	UTalvaneToolLoopAsyncAction* StartNode(FNimbrelChatRequest& InRecord, const TCHAR* InScenario, const TArray<FName>& InFunctions,
		const int32 InStepLimit = 0)
	{
		UTalvaneToolLoopAsyncAction* Node = UTalvaneToolLoopAsyncAction::NimbrelChatWithToolsAsync(Listener, TEXT("What do I owe?"), InRecord,
			Innkeeper, InFunctions, InStepLimit, {{TEXT("X-Talvane-Scenario"), InScenario}});
		// Read after it ends: rooted until the game ends, since an ended node is free to go.
		Game.Keep(Node);
		Node->OnProgress.AddDynamic(Listener, &UToolNodeTestListener::HandleProgress);
		Node->OnToolCall.AddDynamic(Listener, &UToolNodeTestListener::HandleToolCall);
		Node->OnSuccess.AddDynamic(Listener, &UToolNodeTestListener::HandleSuccess);
		Node->OnFailure.AddDynamic(Listener, &UToolNodeTestListener::HandleFailure);
		Node->Activate();
		return Node;
	}

	/** Waits for the node to end, collecting garbage at random moments, and a while longer for a pin that must not fire. */
	bool WaitForEnd(const UTalvaneToolLoopAsyncAction* InNode)
	{
		const bool bEnded = TickUntil([this, InNode]()
		{
			Collections->MaybeCollect();
			return InNode->HasEnded();
		}, 20.0);
		TickUntil([]() { return false; }, 0.3);
		return bEnded;
	}

	static FNimbrelChatRequest MakeChat(const bool bStream)
	{
		FNimbrelChatRequest Record;
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = bStream;
		return Record;
	}

	/** Every tool-call turn is followed by one result per call, each naming its call. */
	void ExpectEveryTurnAnswered(const TArray<FNimbrelContextMessage>& Messages)
	{
		for (int32 Index = 0; Index < Messages.Num(); ++Index)
		{
			for (int32 Call = 0; Call < Messages[Index].ToolCalls.Num(); ++Call)
			{
				const int32 At = Index + 1 + Call;
				TestTrue(TEXT("a result for each call"), At < Messages.Num() && Messages[At].Role == ENimbrelRole::NIMBREL_TOOL
					&& Messages[At].ToolCallID == Messages[Index].ToolCalls[Call].ID);
			}
		}
	}

	void DefineModes();
END_DEFINE_SPEC(FTalvaneToolNodeSpec)

void FTalvaneToolNodeSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		Collections = MakeShared<FRandomCollections>(*this);
		Game.Start();
		GameInstance = Game.GameInstance;
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		Subsystem->SetAPIKey(ServerKey);
		Listener = NewObject<UToolNodeTestListener>(GameInstance);
		GameInstance->RegisterReferencedObject(Listener);
		Innkeeper = NewObject<UToolNodeTestInnkeeper>(GameInstance);
		GameInstance->RegisterReferencedObject(Innkeeper);
	});

	AfterEach([this]()
	{
		Game.End();
		GameInstance = nullptr;
		Subsystem = nullptr;
		Listener = nullptr;
		Innkeeper = nullptr;
		ResetCloud();
	});

	DefineModes();

	It(TEXT("FailsAtOnceOnAListItCannotOffer"), [this]()
	{
		AddExpectedError(TEXT("Befriend"), EAutomationExpectedErrorFlags::Contains, 0);
		FNimbrelChatRequest Record = MakeChat(false);
		const UTalvaneToolLoopAsyncAction* Node = StartNode(Record, TEXT("tools"), {TEXT("RollDie"), TEXT("Befriend")});
		TestTrue(TEXT("ended at once"), Node->HasEnded());
		if (TestEqual(TEXT("one failure"), Listener->Failures.Num(), 1))
		{
			TestTrue(TEXT("names the function"), Listener->Failures[0].Contains(TEXT("Befriend")));
		}
		TestEqual(TEXT("nothing sent, the record untouched"), Record.Messages.Num(), 0);
	});

	It(TEXT("FiresNothingWhenTheGameInstanceEndsDuringTheLoop"), [this]()
	{
		// The subsystem's shutdown releases the transport, which then reports (and logs) nothing of the request in flight.
		FNimbrelChatRequest Record = MakeChat(true);
		const UTalvaneToolLoopAsyncAction* Node = StartNode(Record, TEXT("tools-endless"), {TEXT("RollDie"), TEXT("PriceOf")});
		UToolNodeTestListener* Heard = Listener;
		Heard->AddToRoot();
		TickUntil([Heard]() { return Heard->ToolCalls.Num() > 0; });
		Game.End();
		TickUntil([]() { return false; }, 0.5);
		TestTrue(TEXT("the node ended"), Node->HasEnded());
		TestEqual(TEXT("no outcome"), Heard->Finished(), 0);
		Heard->RemoveFromRoot();
		ExpectEveryTurnAnswered(Record.Messages);
	});
}

void FTalvaneToolNodeSpec::DefineModes()
{
	for (const bool bStream : {false, true})
	{
		for (const bool bCombined : {true, false})
		{
			const FString Mode = FString(bStream ? TEXT("Streamed") : TEXT("Whole")) + (bCombined ? TEXT("Combined") : TEXT("Delta"));
			Describe(Mode, [this, bStream, bCombined]()
			{
				BeforeEach([this, bCombined]() { Subsystem->SetStreamCombinedReply(bCombined); });

				It(TEXT("CallsTwoGameFunctionsAnswersAndTakesTheNextQuestion"), [this, bStream]()
				{
					FNimbrelChatRequest Record = MakeChat(bStream);
					const UTalvaneToolLoopAsyncAction* Node = StartNode(Record, TEXT("tools"), {TEXT("RollDie"), TEXT("PriceOf")});
					TestTrue(TEXT("ended"), WaitForEnd(Node));
					if (!TestEqual(TEXT("one success"), Listener->Successes.Num(), 1) || !TestEqual(TEXT("two calls"), Listener->ToolCalls.Num(), 2))
					{
						return;
					}
					TestEqual(TEXT("no failure"), Listener->Failures.Num(), 0);
					TestEqual(TEXT("the die"), Listener->ToolCalls[0].Result, FString(TEXT(R"({"ReturnValue":4})")));
					TestEqual(TEXT("the price"), Listener->ToolCalls[1].Result, FString(TEXT(R"({"ReturnValue":12})")));
					TestTrue(TEXT("the answer quotes both"), Listener->Successes[0].Contains(Listener->ToolCalls[0].Result)
						&& Listener->Successes[0].Contains(Listener->ToolCalls[1].Result));
					TestEqual(TEXT("the Response pin holds the answer"), Listener->SuccessChoices, 1);
					TestEqual(TEXT("every progress pin carries its step's timings"), Listener->ProgressWithTimings, Listener->Progress);
					TestEqual(TEXT("question, turn, two results, answer"), Record.Messages.Num(), 5);
					ExpectEveryTurnAnswered(Record.Messages);
					const UTalvaneToolLoopAsyncAction* Next = StartNode(Record, TEXT("tools"), {TEXT("RollDie"), TEXT("PriceOf")});
					TestTrue(TEXT("the next question ended"), WaitForEnd(Next));
					TestEqual(TEXT("answered too"), Listener->Successes.Num(), 2);
					TestEqual(TEXT("the record grew by a whole exchange"), Record.Messages.Num(), 10);
					ExpectEveryTurnAnswered(Record.Messages);
				});

				It(TEXT("FailsOnceAtTheStepLimit"), [this, bStream]()
				{
					FNimbrelChatRequest Record = MakeChat(bStream);
					const UTalvaneToolLoopAsyncAction* Node = StartNode(Record, TEXT("tools-endless"), {TEXT("RollDie"), TEXT("PriceOf")}, 2);
					TestTrue(TEXT("ended"), WaitForEnd(Node));
					if (TestEqual(TEXT("one failure"), Listener->Failures.Num(), 1))
					{
						TestEqual(TEXT("says why"), Listener->Failures[0], FTalvaneToolLoop::MakeStepLimitMessage(2));
					}
					TestEqual(TEXT("no success"), Listener->Successes.Num(), 0);
					TestEqual(TEXT("the calls of one answer ran"), Innkeeper->Calls, 2);
					ExpectEveryTurnAnswered(Record.Messages);
				});

				It(TEXT("FailsOnceWhenCancelledFromAToolCallPin"), [this, bStream]()
				{
					FNimbrelChatRequest Record = MakeChat(bStream);
					Listener->CancelOnCall = StartNode(Record, TEXT("tools-endless"), {TEXT("RollDie"), TEXT("PriceOf")});
					TestTrue(TEXT("ended"), WaitForEnd(Listener->CancelOnCall));
					if (TestEqual(TEXT("one failure"), Listener->Failures.Num(), 1))
					{
						TestEqual(TEXT("says why"), Listener->Failures[0], FString(TEXT("The tool loop was cancelled.")));
					}
					TestEqual(TEXT("question, turn, two results"), Record.Messages.Num(), 4);
					ExpectEveryTurnAnswered(Record.Messages);
				});
			});
		}
	}
}

#endif
