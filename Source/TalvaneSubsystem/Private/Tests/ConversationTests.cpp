#include "AsyncNodeTestListener.h"
#include "Engine/GameInstance.h"
#include "Misc/AutomationTest.h"
#include "SubsystemTestListener.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneSubsystem.h"
#include "TestGameInstance.h"
#include "TimingsTestListener.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

BEGIN_DEFINE_SPEC(FTalvaneSubsystemConversationSpec, "Talvane.Subsystem.Conversation",
	EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	FTestGameInstance Game;
	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	USubsystemTestListener* Listener = nullptr;
	/** The nodes' listener and world context: it lives in the game instance. */
	UAsyncNodeTestListener* NodeListener = nullptr;

	static FNimbrelChatRequest MakeChat(const bool bStream)
	{
		FNimbrelChatRequest Record;
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = bStream;
		return Record;
	}

	/** A slow answer: the first question's answer is still arriving when the second is sent. */
	static TMap<FString, FString> Slow()
	{
		return {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}, {TEXT("X-Talvane-Delay-Ms"), TEXT("200")}};
	}

	void BindAll()
	{
		Subsystem->OnSuccess.AddDynamic(Listener, &USubsystemTestListener::HandleSuccess);
		Subsystem->OnProgress.AddDynamic(Listener, &USubsystemTestListener::HandleProgress);
		Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
	}

	UTalvaneChatAsyncAction* StartChat(const FString& InQuestion, FNimbrelChatRequest& InRecord, const TMap<FString, FString>& InHeaders)
	{
		UTalvaneChatAsyncAction* Node = UTalvaneChatAsyncAction::NimbrelChatAsync(NodeListener, InQuestion, InRecord, InHeaders);
		Node->OnProgress.AddDynamic(NodeListener, &UAsyncNodeTestListener::HandleChatProgress);
		Node->OnSuccess.AddDynamic(NodeListener, &UAsyncNodeTestListener::HandleChatSuccess);
		Node->OnFailure.AddDynamic(NodeListener, &UAsyncNodeTestListener::HandleChatFailure);
		Node->Activate();
		return Node;
	}

	/** The transport logs the completion of a cancelled request as an error: at least once, any number of times. */
	void ExpectCancelledLines()
	{
		AddExpectedError(TEXT("\\[OnRequestComplete\\]|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
	}

	void ExpectRecordOfSecond(const FNimbrelChatRequest& Record)
	{
		if (TestEqual(TEXT("the newest question and its answer"), Record.Messages.Num(), 2))
		{
			TestTrue(TEXT("the newest question"), Record.Messages[0].Content.Equals(TEXT("second"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("its own answer"), Record.Messages[1].Content.Equals(TEXT("Echo: second (turn 1, 1 message)"), ESearchCase::CaseSensitive));
		}
	}
END_DEFINE_SPEC(FTalvaneSubsystemConversationSpec)

void FTalvaneSubsystemConversationSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		// The engine's world context keeps the game instance, its subsystem and the node listener across steps.
		Game.Start();
		GameInstance = Game.GameInstance;
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		Subsystem->SetAPIKey(ServerKey);
		Listener = NewObject<USubsystemTestListener>();
		Listener->AddToRoot();
		NodeListener = NewObject<UAsyncNodeTestListener>(GameInstance);
		GameInstance->RegisterReferencedObject(NodeListener);
	});

	AfterEach([this]()
	{
		Game.End();
		Listener->RemoveFromRoot();
		GameInstance = nullptr;
		Subsystem = nullptr;
		Listener = nullptr;
		NodeListener = nullptr;
		ResetCloud();
	});

	Describe(TEXT("NewestQuestionWins"), [this]()
	{
		for (const bool bCombined : {true, false})
		{
			It(FString::Printf(TEXT("ThroughTheSubsystemIn%sMode"), bCombined ? TEXT("WholeText") : TEXT("Delta")), [this, bCombined]()
			{
				ExpectCancelledLines();
				BindAll();
				Subsystem->SetStreamCombinedReply(bCombined);
				FNimbrelChatRequest Record = MakeChat(true);
				Subsystem->NimbrelChatRequest(TEXT("first"), Record, Slow());
				TestTrue(TEXT("the first answer is arriving"), TickUntil([this]() { return Listener->Progress.Num() > 0; }));
				Subsystem->NimbrelChatRequest(TEXT("second"), Record, {});
				TestTrue(TEXT("both ended"), TickUntil([this]() { return Listener->Finished() >= 2; }));
				TickUntil([]() { return false; }, 0.5);
				TestEqual(TEXT("one success"), Listener->Successes.Num(), 1);
				if (TestEqual(TEXT("one failure"), Listener->Failures.Num(), 1))
				{
					TestEqual(TEXT("it says it was superseded"), Listener->Failures[0], TArray<FString>{FTalvaneManage::GetSupersededMessage()});
				}
				ExpectRecordOfSecond(Record);
			});
		}

		It(TEXT("ThroughTwoNodesOnOneRecord"), [this]()
		{
			ExpectCancelledLines();
			FNimbrelChatRequest Record = MakeChat(true);
			const UTalvaneChatAsyncAction* First = StartChat(TEXT("first"), Record, Slow());
			TestTrue(TEXT("the first answer is arriving"), TickUntil([this]() { return NodeListener->Progress.Num() > 0; }));
			const UTalvaneChatAsyncAction* Second = StartChat(TEXT("second"), Record, {});
			TestTrue(TEXT("both nodes ended"), TickUntil([First, Second]() { return First->HasEnded() && Second->HasEnded(); }));
			TickUntil([]() { return false; }, 0.5);
			TestEqual(TEXT("one success"), NodeListener->ChatSuccesses.Num(), 1);
			if (TestEqual(TEXT("one failure"), NodeListener->FailureMessages.Num(), 1))
			{
				TestEqual(TEXT("it says it was superseded"), NodeListener->FailureMessages[0], FTalvaneManage::GetSupersededMessage());
			}
			if (NodeListener->ChatSuccesses.Num() == 1 && TestEqual(TEXT("one choice"), NodeListener->ChatSuccesses[0].Choices.Num(), 1))
			{
				TestEqual(TEXT("the second answer"), NodeListener->ChatSuccesses[0].Choices[0].Message.Content, FString(TEXT("Echo: second (turn 1, 1 message)")));
			}
			ExpectRecordOfSecond(Record);
		});
	});

	Describe(TEXT("Timings"), [this]()
	{
		It(TEXT("AreReadableByGuidUntilTheReportHasBeenDelivered"), [this]()
		{
			UTimingsTestListener* Timings = NewObject<UTimingsTestListener>();
			Timings->AddToRoot();
			Timings->Subsystem = Subsystem;
			Subsystem->OnSuccess.AddDynamic(Timings, &UTimingsTestListener::HandleSuccess);
			FNimbrelChatRequest Record = MakeChat(true);
			const FGuid RequestID = Subsystem->NimbrelChatRequest(TEXT("timed"), Record, Slow());
			FTalvaneRequestTimings InFlight;
			TestTrue(TEXT("readable in flight"), Subsystem->GetRequestTimings(RequestID, InFlight));
			TestTrue(TEXT("not ended yet"), InFlight.SecondsToCompletion < 0.0f);
			TestTrue(TEXT("reported"), TickUntil([Timings]() { return Timings->Reports > 0; }));
			TestTrue(TEXT("readable inside OnSuccess"), Timings->bReadInEvent);
			TestTrue(TEXT("the final ones"), Timings->Read.SecondsToCompletion >= Timings->Read.SecondsToFirstText && Timings->Read.SecondsToFirstText > 0.0f);
			FTalvaneRequestTimings After;
			TestFalse(TEXT("gone after the report"), Subsystem->GetRequestTimings(RequestID, After));
			const UFunction* Getter = UTalvaneSubsystem::StaticClass()->FindFunctionByName(TEXT("GetRequestTimings"));
			TestTrue(TEXT("callable from Blueprints"), Getter && Getter->HasAnyFunctionFlags(FUNC_BlueprintCallable));
			Timings->RemoveFromRoot();
		});
	});

	Describe(TEXT("SavedConversations"), [this]()
	{
		It(TEXT("GoOnWhereTheyLeftOffAfterALoad"), [this]()
		{
			BindAll();
			FNimbrelChatRequest Record = MakeChat(true);
			Subsystem->NimbrelChatRequest(TEXT("first"), Record, {});
			TestTrue(TEXT("answered"), TickUntil([this]() { return Listener->Finished() >= 1; }));
			const FString Saved = UTalvaneSubsystem::ConversationToJson(Record.Messages);

			FNimbrelChatRequest Loaded = MakeChat(true);
			FString Error;
			TestTrue(TEXT("loaded"), UTalvaneSubsystem::ConversationFromJson(Saved, Loaded.Messages, Error));
			Subsystem->NimbrelChatRequest(TEXT("again"), Loaded, {});
			TestTrue(TEXT("answered again"), TickUntil([this]() { return Listener->Finished() >= 2; }));
			// The server counts the turns it was sent: the loaded history went with the new question.
			TestEqual(TEXT("second turn"), Loaded.Messages.Last().Content, FString(TEXT("Echo: again (turn 2, 3 messages)")));
		});

		It(TEXT("AreBlueprintCallable"), [this]()
		{
			for (const TCHAR* Name : {TEXT("ConversationToJson"), TEXT("ConversationFromJson")})
			{
				const UFunction* Function = UTalvaneSubsystem::StaticClass()->FindFunctionByName(FName(Name));
				if (TestNotNull(*FString::Printf(TEXT("%s is reflected"), Name), Function))
				{
					TestTrue(TEXT("callable from Blueprints"), Function->HasAnyFunctionFlags(FUNC_BlueprintCallable));
					TestTrue(TEXT("static: no subsystem needed"), Function->HasAnyFunctionFlags(FUNC_Static));
				}
			}
		});
	});
}

#endif
