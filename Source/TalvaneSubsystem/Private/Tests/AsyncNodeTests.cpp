#include "AsyncNodeTestListener.h"
#include "Misc/AutomationTest.h"
#include "RandomCollections.h"
#include "SubsystemTestListener.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneFIMAsyncAction.h"
#include "TalvaneLocalChatAsyncAction.h"
#include "TalvaneSubsystem.h"
#include "TestGameInstance.h"
#include "TestLogCapture.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

BEGIN_DEFINE_SPEC(FTalvaneAsyncNodeSpec, "Talvane.Subsystem.AsyncNode", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	FTestGameInstance Game;
	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	/** The nodes' world context as well: it lives in the game instance, so its world is the game instance's, and the game instance holds it. */
	UAsyncNodeTestListener* Listener = nullptr;
	FIniSnapshot RetrySettings;
	/** Collections at random moments while the specs tick, as the engine may run one on any frame. */
	TSharedPtr<FRandomCollections> Collections;
	/** Nodes the test reads after they end: rooted until the game ends, since an ended node is free to go. */
	template <typename NodeType>
	NodeType* Keep(NodeType* InNode)
	{
		return Game.Keep(InNode);
	}

	template <typename PredicateType>
	bool TickCollecting(const PredicateType& InDone, const double InSeconds = 20.0)
	{
		return TickUntil([this, &InDone]()
		{
			Collections->MaybeCollect();
			return InDone();
		}, InSeconds);
	}

	UTalvaneChatAsyncAction* StartChat(const FString& InQuestion, FNimbrelChatRequest& InRecord, const TMap<FString, FString>& InHeaders = {},
		UAsyncNodeTestListener* InListener = nullptr)
	{
		UAsyncNodeTestListener* Target = InListener ? InListener : Listener;
		UTalvaneChatAsyncAction* Node = Keep(UTalvaneChatAsyncAction::NimbrelChatAsync(Target, InQuestion, InRecord, InHeaders));
		Node->OnProgress.AddDynamic(Target, &UAsyncNodeTestListener::HandleChatProgress);
		Node->OnSuccess.AddDynamic(Target, &UAsyncNodeTestListener::HandleChatSuccess);
		Node->OnFailure.AddDynamic(Target, &UAsyncNodeTestListener::HandleChatFailure);
		Node->Activate();
		return Node;
	}

	static FNimbrelChatRequest MakeChat(const bool bStream)
	{
		FNimbrelChatRequest Record;
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = bStream;
		return Record;
	}

	static FNimbrelChatRequest MakeToolChat(const bool bStream)
	{
		FNimbrelChatRequest Record = MakeChat(bStream);
		FNimbrelTools& Tool = Record.Tools.AddDefaulted_GetRef();
		Tool.Function.Name = TEXT("get_time");
		Record.ToolChoice = ENimbrelToolChoice::NB_AUTO;
		return Record;
	}

	bool WaitForEnd(const UTalvaneAsyncRequest* InNode)
	{
		return TickCollecting([InNode]() { return InNode->HasEnded(); });
	}

	/** The transport's error line for a request that ends without an answer: once the request fails, any number of times. */
	void ExpectCancelledLines()
	{
		AddExpectedError(TEXT("\\[OnRequestComplete\\]|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
	}

	bool IsExactly(const FString& InActual, const TCHAR* InExpected)
	{
		return InActual.Equals(InExpected, ESearchCase::CaseSensitive);
	}
END_DEFINE_SPEC(FTalvaneAsyncNodeSpec)

void FTalvaneAsyncNodeSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		RetrySettings = FIniSnapshot(TEXT("Talvane"), {TEXT("MaxRetries"), TEXT("RetryBaseSeconds"), TEXT("RetryMaxSeconds")});
		Collections = MakeShared<FRandomCollections>(*this);
		Game.Start();
		GameInstance = Game.GameInstance;
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		Subsystem->SetAPIKey(ServerKey);
		Listener = NewObject<UAsyncNodeTestListener>(GameInstance);
		// Held by the game instance alone, so it goes with it.
		GameInstance->RegisterReferencedObject(Listener);
	});

	AfterEach([this]()
	{
		Game.End();
		GameInstance = nullptr;
		Subsystem = nullptr;
		Listener = nullptr;
		RetrySettings.Restore();
		ResetCloud();
	});

	Describe(TEXT("Chat"), [this]()
	{
		It(TEXT("StreamsProgressThenOneSuccessWithTheWholeRecord"), [this]()
		{
			FNimbrelChatRequest Record = MakeChat(true);
			Record.StreamOptions.bIncludeUsage = true;
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("Hello"), Record);
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestTrue(TEXT("progress fired"), Listener->Progress.Num() > 0);
			TestEqual(TEXT("no failure"), Listener->FailureCodes.Num(), 0);
			if (TestEqual(TEXT("one success"), Listener->ChatSuccesses.Num(), 1))
			{
				const FNimbrelChatResponses& Response = Listener->ChatSuccesses[0];
				TestTrue(TEXT("the id of the answer"), Response.ID.StartsWith(TEXT("chatcmpl-")));
				if (TestEqual(TEXT("one choice"), Response.Choices.Num(), 1))
				{
					const FNimbrelChatResponseChoice& Choice = Response.Choices[0];
					TestTrue(TEXT("content from every delta"), IsExactly(Choice.Message.Content, TEXT("Echo: Hello (turn 1, 1 message)")));
					TestTrue(TEXT("role"), IsExactly(Choice.Message.Role, TEXT("assistant")));
					TestTrue(TEXT("finish reason"), IsExactly(Choice.FinishReason, TEXT("stop")));
					TestTrue(TEXT("the last progress is the whole text"), IsExactly(Listener->Progress.Last(), *Choice.Message.Content));
				}
				TestTrue(TEXT("usage from the usage event"), Response.Usage.TotalTokens > 0 && Response.Usage.PromptTokens == 1);
			}
			if (TestEqual(TEXT("every pin's data on success"), Listener->SuccessReports.Num(), 1))
			{
				const FTalvaneNodeReport& Report = Listener->SuccessReports[0];
				TestTrue(TEXT("the whole text"), IsExactly(Report.Text, TEXT("Echo: Hello (turn 1, 1 message)")));
				TestTrue(TEXT("status, raw stream, no error"), Report.StatusCode == 200 && Report.Body.Contains(TEXT("data:")) && Report.ErrorMessage.IsEmpty());
				const FTalvaneRequestTimings& Timings = Report.Timings;
				TestTrue(TEXT("success carries the whole timings, in order"), Timings.SecondsToFirstByte >= 0.0f
					&& Timings.SecondsToFirstText >= Timings.SecondsToFirstByte && Timings.SecondsToCompletion >= Timings.SecondsToFirstText);
				TestEqual(TEXT("the answer's characters"), Timings.AnswerCharacters, FString(TEXT("Echo: Hello (turn 1, 1 message)")).Len());
				TestTrue(TEXT("the usage the server sent"), Timings.bHasUsage && Listener->ChatSuccesses.Num() == 1
					&& Timings.Usage.TotalTokens == Listener->ChatSuccesses[0].Usage.TotalTokens && Timings.Usage.TotalTokens > 0);
			}
			const FTalvaneNodeReport LastProgress = Listener->ProgressReports.Num() > 0 ? Listener->ProgressReports.Last() : FTalvaneNodeReport();
			TestTrue(TEXT("progress: no status, body or error yet"), LastProgress.StatusCode == 0 && LastProgress.Body.IsEmpty() && LastProgress.ErrorMessage.IsEmpty());
			TestTrue(TEXT("progress: timings so far, not yet complete"), LastProgress.Timings.SecondsToFirstText >= 0.0f && LastProgress.Timings.SecondsToCompletion < 0.0f);
			TestEqual(TEXT("no answer on progress or failure"), Listener->ResponsesOffSuccess, 0);
			TestEqual(TEXT("the record holds question and answer"), Record.Messages.Num(), 2);
			TestFalse(TEXT("released"), Node->HasAnyFlags(RF_StrongRefOnFrame));
		});

		It(TEXT("CarriesTheToolCallsOfAWholeAnswer"), [this]()
		{
			FNimbrelChatRequest Record = MakeToolChat(false);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("Time?"), Record);
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			if (TestEqual(TEXT("one success"), Listener->ChatSuccesses.Num(), 1) && TestEqual(TEXT("one choice"), Listener->ChatSuccesses[0].Choices.Num(), 1))
			{
				const FNimbrelChatResponseChoice& Choice = Listener->ChatSuccesses[0].Choices[0];
				TestTrue(TEXT("finish reason"), IsExactly(Choice.FinishReason, TEXT("tool_calls")));
				if (TestEqual(TEXT("one call"), Choice.Message.ToolCalls.Num(), 1))
				{
					TestTrue(TEXT("name"), IsExactly(Choice.Message.ToolCalls[0].Function.Name, TEXT("get_time")));
				}
				TestTrue(TEXT("usage"), Listener->ChatSuccesses[0].Usage.TotalTokens > 0);
			}
		});

		It(TEXT("MergesStreamedToolCallFragmentsByIndex"), [this]()
		{
			FNimbrelChatRequest Record = MakeToolChat(true);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("Time?"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("tool-fragments")}});
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			if (TestEqual(TEXT("one success"), Listener->ChatSuccesses.Num(), 1) && TestEqual(TEXT("one choice"), Listener->ChatSuccesses[0].Choices.Num(), 1))
			{
				const FNimbrelChatResponseChoice& Choice = Listener->ChatSuccesses[0].Choices[0];
				TestTrue(TEXT("finish reason"), IsExactly(Choice.FinishReason, TEXT("tool_calls")));
				if (TestEqual(TEXT("two calls, one per index"), Choice.Message.ToolCalls.Num(), 2))
				{
					const FNimbrelChatResponseToolCall& First = Choice.Message.ToolCalls[0];
					const FNimbrelChatResponseToolCall& Second = Choice.Message.ToolCalls[1];
					TestTrue(TEXT("first id"), IsExactly(First.ID, TEXT("call_0")));
					TestTrue(TEXT("first type"), IsExactly(First.Type, TEXT("function")));
					TestTrue(TEXT("first name"), IsExactly(First.Function.Name, TEXT("get_time")));
					TestTrue(TEXT("first arguments joined across the other call's fragments"), IsExactly(First.Function.Arguments, TEXT("{\"zone\":\"UTC\"}")));
					TestTrue(TEXT("second id"), IsExactly(Second.ID, TEXT("call_1")));
					TestTrue(TEXT("second name"), IsExactly(Second.Function.Name, TEXT("get_time_again")));
					TestTrue(TEXT("second arguments"), IsExactly(Second.Function.Arguments, TEXT("{}")));
				}
			}
		});

		It(TEXT("HearsOnlyItsOwnRequest"), [this]()
		{
			UAsyncNodeTestListener* Other = NewObject<UAsyncNodeTestListener>(GameInstance);
			Other->AddToRoot();
			FNimbrelChatRequest First = MakeChat(true);
			FNimbrelChatRequest Second = MakeChat(true);
			const UTalvaneChatAsyncAction* FirstNode = StartChat(TEXT("first"), First, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}});
			const UTalvaneChatAsyncAction* SecondNode = StartChat(TEXT("second"), Second, {}, Other);
			TestTrue(TEXT("both ended"), TickCollecting([FirstNode, SecondNode]() { return FirstNode->HasEnded() && SecondNode->HasEnded(); }));
			TestTrue(TEXT("one success each"), Listener->ChatSuccesses.Num() == 1 && Other->ChatSuccesses.Num() == 1);
			if (Listener->ChatSuccesses.Num() == 1 && Other->ChatSuccesses.Num() == 1)
			{
				TestTrue(TEXT("first answer"), Listener->ChatSuccesses[0].Choices[0].Message.Content.StartsWith(TEXT("Echo: first")));
				TestTrue(TEXT("second answer"), Other->ChatSuccesses[0].Choices[0].Message.Content.StartsWith(TEXT("Echo: second")));
			}
			TestTrue(TEXT("progress of its own"), Listener->Progress.Num() > 0 && !Listener->Progress.Last().Contains(TEXT("second")));
			Other->RemoveFromRoot();
		});

		It(TEXT("RetriesARateLimitedRequestAndSucceedsOnce"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), TEXT("2"), GEngineIni);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryBaseSeconds"), TEXT("0.01"), GEngineIni);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("0.05"), GEngineIni);
			FNimbrelChatRequest Record = MakeChat(true);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("again"), Record, {{TEXT("X-Talvane-Fail-Times"), TEXT("2")},
				{TEXT("X-Talvane-Fail-Key"), FGuid::NewGuid().ToString()}, {TEXT("X-Talvane-Fail-Status"), TEXT("429")}});
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("one success"), Listener->ChatSuccesses.Num(), 1);
			TestEqual(TEXT("no failure for the retried attempts"), Listener->FailureCodes.Num(), 0);
		});
	});

	Describe(TEXT("Failures"), [this]()
	{
		It(TEXT("ReportAnErrorStatusWithItsCodeBodyAndMessage"), [this]()
		{
			FNimbrelChatRequest Record = MakeChat(false);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("status-402")}});
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1))
			{
				TestEqual(TEXT("status"), Listener->FailureCodes[0], 402);
				TestTrue(TEXT("raw body"), Listener->FailureBodies[0].Contains(TEXT("\"insufficient_balance\"")));
				TestTrue(TEXT("the body's message"), IsExactly(Listener->FailureMessages[0],
					TEXT("Insufficient Balance (status 402): the account has run out of credit")));
			}
			if (TestEqual(TEXT("failure pin's data"), Listener->FailureReports.Num(), 1))
			{
				const FTalvaneRequestTimings& Timings = Listener->FailureReports[0].Timings;
				TestTrue(TEXT("failure carries when the error body came and when it ended"),
					Timings.SecondsToFirstByte >= 0.0f && Timings.SecondsToCompletion >= Timings.SecondsToFirstByte);
			}
		});

		It(TEXT("ReportAnInBandErrorEventWithItsMessage"), [this]()
		{
			FNimbrelChatRequest Record = MakeChat(true);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("error-event")}});
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1))
			{
				TestEqual(TEXT("status of the stream"), Listener->FailureCodes[0], 200);
				TestTrue(TEXT("the event's message"), IsExactly(Listener->FailureMessages[0], TEXT("stream interrupted")));
			}
		});

		It(TEXT("ReportACutStreamInPlainWordsAndKeepItOutOfTheRecord"), [this]()
		{
			AddExpectedError(TEXT("The stream ended early"), EAutomationExpectedErrorFlags::Contains, 1);
			FNimbrelChatRequest Record = MakeChat(true);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("cut")}});
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1) && TestTrue(TEXT("progress came"), Listener->Progress.Num() > 0))
			{
				const FString Expected = FString::Printf(TEXT("The connection closed after %d characters of the answer."), Listener->Progress.Last().Len());
				TestTrue(TEXT("plain words"), IsExactly(Listener->FailureMessages[0], *Expected));
				TestTrue(TEXT("the partial body"), Listener->FailureBodies[0].Contains(TEXT("data:")));
				TestTrue(TEXT("no text, and no answer where the Blueprint would read a stale one"), Listener->FailureReports[0].Text.IsEmpty()
					&& Listener->ResponsesOffSuccess == 0);
			}
			TestEqual(TEXT("only the question in the record"), Record.Messages.Num(), 1);
		});

		It(TEXT("ReportACancelOnceAsAFailure"), [this]()
		{
			ExpectCancelledLines();
			FNimbrelChatRequest Record = MakeChat(true);
			UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("stall-after-headers")}});
			TickCollecting([]() { return false; }, 0.05);
			Node->Cancel();
			Node->Cancel();
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1))
			{
				TestTrue(TEXT("says it was cancelled"), IsExactly(Listener->FailureMessages[0], TEXT("The request was cancelled.")));
			}
		});

		It(TEXT("ReportACancelDuringARetryWaitAsCancelled"), [this]()
		{
			// The server asks for a second's wait (Retry-After), so the cancel comes while the node waits.
			GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), TEXT("2"), GEngineIni);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("5"), GEngineIni);
			FNimbrelChatRequest Record = MakeChat(true);
			FTestLogCapture Capture;
			UTalvaneChatAsyncAction* Node = StartChat(TEXT("wait"), Record, {{TEXT("X-Talvane-Fail-Times"), TEXT("2")},
				{TEXT("X-Talvane-Fail-Key"), FGuid::NewGuid().ToString()}, {TEXT("X-Talvane-Fail-Status"), TEXT("429")}});
			// However busy the machine, cancel only once the first 429 has come and the node waits to retry.
			TestTrue(TEXT("the node waits to retry"), TickCollecting([&Capture]()
			{
				for (const FCapturedLogLine& Line : Capture.GetLines())
				{
					if (Line.Text.Contains(TEXT("Retrying request")))
					{
						return true;
					}
				}
				return false;
			}));
			Node->Cancel();
			TestTrue(TEXT("the node ended"), WaitForEnd(Node));
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1))
			{
				TestEqual(TEXT("the status that made it wait"), Listener->FailureCodes[0], 429);
				TestTrue(TEXT("says it was cancelled"), IsExactly(Listener->FailureMessages[0], TEXT("The request was cancelled.")));
			}
		});

		It(TEXT("ReportAContextInNoWorld"), [this]()
		{
			AddExpectedError(TEXT("No world was found for object"), EAutomationExpectedErrorFlags::Contains, 1);
			UAsyncNodeTestListener* Homeless = NewObject<UAsyncNodeTestListener>();
			Homeless->AddToRoot();
			FNimbrelChatRequest Record = MakeChat(false);
			const UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {}, Homeless);
			TestTrue(TEXT("ended at once"), Node->HasEnded());
			TestTrue(TEXT("one failure, nothing sent"), Homeless->FailureCodes.Num() == 1 && Homeless->FailureCodes[0] == 0);
			TestEqual(TEXT("the record is untouched"), Record.Messages.Num(), 0);
			Homeless->RemoveFromRoot();
		});
	});

	Describe(TEXT("LocalAndFIM"), [this]()
	{
		It(TEXT("AnswerALocalChatAndAFillInTheMiddle"), [this]()
		{
			FNimbrelLocalChatRequest Local;
			Local.URL = GetServerHostPort();
			Local.ChatID = TEXT("7");
			UTalvaneLocalChatAsyncAction* LocalNode = Keep(UTalvaneLocalChatAsyncAction::NimbrelLocalChatAsync(Listener, TEXT("Local"), Local, {}));
			LocalNode->OnSuccess.AddDynamic(Listener, &UAsyncNodeTestListener::HandleChatSuccess);
			LocalNode->OnFailure.AddDynamic(Listener, &UAsyncNodeTestListener::HandleChatFailure);
			LocalNode->Activate();
			FNimbrelFIMRequest Fim;
			Fim.Model = ENimbrelModel::NIMBREL_CHAT;
			Fim.Prompt = TEXT("a");
			Fim.Suffix = TEXT("b");
			Fim.bStream = true;
			UTalvaneFIMAsyncAction* FimNode = Keep(UTalvaneFIMAsyncAction::NimbrelFIMAsync(Listener, Fim, {}));
			FimNode->OnProgress.AddDynamic(Listener, &UAsyncNodeTestListener::HandleFIMProgress);
			FimNode->OnSuccess.AddDynamic(Listener, &UAsyncNodeTestListener::HandleFIMSuccess);
			FimNode->OnFailure.AddDynamic(Listener, &UAsyncNodeTestListener::HandleFIMFailure);
			FimNode->Activate();
			TestTrue(TEXT("both ended"), TickCollecting([LocalNode, FimNode]() { return LocalNode->HasEnded() && FimNode->HasEnded(); }));
			TestEqual(TEXT("no failure"), Listener->FailureCodes.Num(), 0);
			if (TestEqual(TEXT("local answer"), Listener->ChatSuccesses.Num(), 1))
			{
				TestTrue(TEXT("local text"), Listener->ChatSuccesses[0].Choices[0].Message.Content.StartsWith(TEXT("Echo: Local")));
			}
			if (TestEqual(TEXT("FIM answer"), Listener->FIMSuccesses.Num(), 1) && TestEqual(TEXT("one choice"), Listener->FIMSuccesses[0].Choices.Num(), 1))
			{
				const FNimbrelFIMResponseChoice& Choice = Listener->FIMSuccesses[0].Choices[0];
				TestTrue(TEXT("FIM text from every event"), IsExactly(Choice.Text, TEXT("[fill between \"a\" and \"b\"]")));
				TestTrue(TEXT("FIM finish reason"), IsExactly(Choice.FinishReason, TEXT("stop")));
				TestTrue(TEXT("FIM progress and text pins"), Listener->Progress.Num() > 0 && Listener->SuccessReports.ContainsByPredicate(
					[this, &Choice](const FTalvaneNodeReport& Report) { return IsExactly(Report.Text, *Choice.Text); }));
			}
			TestEqual(TEXT("the local record holds question and answer"), Local.Messages.Num(), 2);
		});
	});

	Describe(TEXT("Teardown"), [this]()
	{
		It(TEXT("CancelsAndFiresNothingWhenTheWorldContextIsDestroyed"), [this]()
		{
			ExpectCancelledLines();
			USubsystemTestListener* Everything = NewObject<USubsystemTestListener>();
			Everything->AddToRoot();
			Subsystem->OnFailure.AddDynamic(Everything, &USubsystemTestListener::HandleFailure);
			UAsyncNodeTestListener* Context = NewObject<UAsyncNodeTestListener>(GameInstance);
			UAsyncNodeTestListener* Pins = NewObject<UAsyncNodeTestListener>();
			Pins->AddToRoot();
			FNimbrelChatRequest Record = MakeChat(true);
			UTalvaneChatAsyncAction* Node = Keep(UTalvaneChatAsyncAction::NimbrelChatAsync(Context, TEXT("x"), Record,
				{{TEXT("X-Talvane-Scenario"), TEXT("stall-after-headers")}}));
			Node->OnSuccess.AddDynamic(Pins, &UAsyncNodeTestListener::HandleChatSuccess);
			Node->OnFailure.AddDynamic(Pins, &UAsyncNodeTestListener::HandleChatFailure);
			Node->Activate();
			const FGuid RequestID = Node->GetRequestID();
			TestTrue(TEXT("sent"), RequestID.IsValid());
			Context->MarkAsGarbage();
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
			TestTrue(TEXT("the node gave up"), WaitForEnd(Node));
			// The stalled request ends only because the node cancelled it; its failure reaches no pin.
			TestTrue(TEXT("the request was cancelled"), TickCollecting([Everything]() { return Everything->Failures.Num() == 1; }));
			TestEqual(TEXT("no pin fired"), Pins->Finished(), 0);
			Pins->RemoveFromRoot();
			Everything->RemoveFromRoot();
		});

		It(TEXT("FiresNothingOnceTheGameInstanceHasEnded"), [this]()
		{
			FNimbrelChatRequest Record = MakeChat(true);
			UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}});
			TickCollecting([this]() { return Listener->Progress.Num() > 0; });
			// Shutdown destroys nothing, and a collection may come long after: the node must see the end
			// while its subsystem is still there, so the test holds the subsystem.
			Subsystem->AddToRoot();
			GameInstance->Shutdown();
			TestTrue(TEXT("the node gave up"), WaitForEnd(Node));
			TickCollecting([]() { return false; }, 0.3);
			TestEqual(TEXT("no success or failure"), Listener->Finished(), 0);
			TestEqual(TEXT("the record did not get the answer"), Record.Messages.Num(), 1);
			TestTrue(TEXT("the subsystem was still there"), IsValid(Subsystem));
			Subsystem->RemoveFromRoot();
		});

		It(TEXT("CancelEndsTheNodeOnceAfterTheGameInstanceHasEnded"), [this]()
		{
			// Shutdown destroys nothing: the subsystem is still valid, but it reports nothing any more.
			FNimbrelChatRequest Record = MakeChat(true);
			UTalvaneChatAsyncAction* Node = StartChat(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}});
			GameInstance->Shutdown();
			TestTrue(TEXT("the subsystem outlives the end of its game instance"), IsValid(Subsystem));
			Node->Cancel();
			TestTrue(TEXT("the cancel ended the node at once"), Node->HasEnded());
			Node->Cancel();
			TickCollecting([]() { return false; }, 0.3);
			if (TestEqual(TEXT("one failure"), Listener->FailureCodes.Num(), 1))
			{
				TestTrue(TEXT("says it was cancelled"), IsExactly(Listener->FailureMessages[0], TEXT("The request was cancelled.")));
			}
			TestEqual(TEXT("no success"), Listener->ChatSuccesses.Num(), 0);
		});

		It(TEXT("EndsWhenTheGameInstanceIsCollectedWhileTheRequestRuns"), [this]()
		{
			// Nothing but the game instance holds the node and its world context: once the engine forgets
			// the game instance, a collection frees them all, and the node ends as it goes.
			UAsyncNodeTestListener* Context = NewObject<UAsyncNodeTestListener>(GameInstance);
			GameInstance->RegisterReferencedObject(Context);
			UAsyncNodeTestListener* Pins = NewObject<UAsyncNodeTestListener>();
			Pins->AddToRoot();
			FNimbrelChatRequest Record = MakeChat(true);
			UTalvaneChatAsyncAction* Node = UTalvaneChatAsyncAction::NimbrelChatAsync(Context, TEXT("x"), Record,
				{{TEXT("X-Talvane-Scenario"), TEXT("trickle")}});
			Node->OnProgress.AddDynamic(Pins, &UAsyncNodeTestListener::HandleChatProgress);
			Node->OnSuccess.AddDynamic(Pins, &UAsyncNodeTestListener::HandleChatSuccess);
			Node->OnFailure.AddDynamic(Pins, &UAsyncNodeTestListener::HandleChatFailure);
			Node->Activate();
			const TWeakObjectPtr<UTalvaneChatAsyncAction> WeakNode(Node);
			const TWeakObjectPtr<UTalvaneSubsystem> WeakSubsystem(Subsystem);
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
			TestTrue(TEXT("the running node is kept by its game instance"), WeakNode.IsValid());
			Game.End();
			TestTrue(TEXT("ending destroys nothing"), WeakNode.IsValid() && WeakSubsystem.IsValid());
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
			TestFalse(TEXT("the node was collected"), WeakNode.IsValid());
			TestFalse(TEXT("the subsystem was collected"), WeakSubsystem.IsValid());
			const int32 HeardBefore = Pins->Progress.Num();
			TickCollecting([]() { return false; }, 0.3);
			TestEqual(TEXT("no pin fired after the end"), Pins->Finished() + Pins->Progress.Num() - HeardBefore, 0);
			Pins->RemoveFromRoot();
		});
	});
}

#endif
