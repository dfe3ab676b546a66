#include "AsyncNodeTestListener.h"
#include "Misc/AutomationTest.h"
#include "RandomCollections.h"
#include "SubsystemTestListener.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneLog.h"
#include "TalvaneSubsystem.h"
#include "TestGameInstance.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

// Game instances that end, and are collected, at random moments of many streamed requests: through
// the subsystem's delegates and through request nodes, with world contexts and records destroyed on
// the way, and garbage collections at random moments throughout. Every listener is held by its game
// instance alone, so it is freed with it; a report that reached one afterwards would be a use after
// free, which AddressSanitizer stops at once. Nodes are held by nothing the test owns: the game
// instance keeps them while their requests run, and a collection may free them at any moment after.

BEGIN_DEFINE_SPEC(FTalvaneTeardownStressSpec, "Talvane.Subsystem.Teardown", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()

	static constexpr int32 Rounds = 16;
	ELogVerbosity::Type SavedVerbosity = ELogVerbosity::Log;
	static constexpr int32 RequestsPerRound = 8;
	/** The moments of the collections, and of everything else this test picks at random. */
	TSharedPtr<FRandomCollections> Collections;

	/** Ticks like an engine frame loop for a while, collecting now and then, and returns nothing: the stress lies in when it stops. */
	void TickFor(const double InSeconds)
	{
		TickUntil([this]()
		{
			Collections->MaybeCollect();
			return false;
		}, InSeconds);
	}

	float Random() { return Collections->Next(); }

	static TMap<FString, FString> StreamHeaders()
	{
		// A few hundred events in awkward slices: long enough for the end to come in the middle.
		return {{TEXT("X-Talvane-Scenario"), TEXT("many-events")}, {TEXT("X-Talvane-Events"), TEXT("300")}, {TEXT("X-Talvane-Delay-Ms"), TEXT("10")}};
	}

	/** Everything the listeners of one game instance heard so far. */
	static int32 CountReports(const USubsystemTestListener& InEverything, const TArray<UAsyncNodeTestListener*>& InContexts)
	{
		int32 Count = InEverything.Finished() + InEverything.Progress.Num();
		for (const UAsyncNodeTestListener* Context : InContexts)
		{
			Count += Context->Finished() + Context->Progress.Num();
		}
		return Count;
	}

	/**
	 * Ends the game instance, lets frames pass as the engine does before it collects, then lets the
	 * engine forget it and collects; returns how many reports its listeners heard after the end. The
	 * listeners are read only while the game instance still holds them.
	 */
	int32 EndAndCollect(FTestGameInstance& InGame, const USubsystemTestListener& InEverything, const TArray<UAsyncNodeTestListener*>& InContexts)
	{
		InGame.GameInstance->Shutdown();
		const int32 AtTheEnd = CountReports(InEverything, InContexts);
		TickFor(0.03 * Random());
		const int32 Late = CountReports(InEverything, InContexts) - AtTheEnd;
		InGame.End();
		CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		return Late;
	}
END_DEFINE_SPEC(FTalvaneTeardownStressSpec)

void FTalvaneTeardownStressSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		Collections = MakeShared<FRandomCollections>(*this, 0.02f);
		// Requests cancelled when their world context goes log their bodies as errors, as many as the
		// moments make; they are not what this test looks at.
		SavedVerbosity = TalvaneLog.GetVerbosity();
		TalvaneLog.SetVerbosity(ELogVerbosity::Fatal);
	});

	AfterEach([this]()
	{
		// Whatever was cancelled finishes here, with nobody left to hear it.
		TickFor(0.2);
		TalvaneLog.SetVerbosity(SavedVerbosity);
		ResetCloud();
	});

	It(TEXT("NoReportReachesAnObjectOfAnEndedGameInstance"), [this]()
	{
		TArray<TWeakObjectPtr<UTalvaneChatAsyncAction>> Nodes;
		int32 LateReports = 0;
		TArray<TSharedPtr<FNimbrelChatRequest>> Records;
		for (int32 Round = 0; Round < Rounds; ++Round)
		{
			FTestGameInstance Game;
			Game.Start();
			UGameInstance* GameInstance = Game.GameInstance;
			UTalvaneSubsystem* Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
			Subsystem->SetAPIKey(ServerKey);
			USubsystemTestListener* Everything = NewObject<USubsystemTestListener>(GameInstance);
			GameInstance->RegisterReferencedObject(Everything);
			Subsystem->OnSuccess.AddDynamic(Everything, &USubsystemTestListener::HandleSuccess);
			Subsystem->OnProgress.AddDynamic(Everything, &USubsystemTestListener::HandleProgress);
			Subsystem->OnFailure.AddDynamic(Everything, &USubsystemTestListener::HandleFailure);
			TArray<UAsyncNodeTestListener*> Contexts;
			for (int32 Index = 0; Index < RequestsPerRound; ++Index)
			{
				FNimbrelChatRequest& Record = *Records.Add_GetRef(MakeShared<FNimbrelChatRequest>());
				Record.Model = ENimbrelModel::NIMBREL_CHAT;
				Record.bStream = true;
				if (Index % 2 == 0)
				{
					Subsystem->NimbrelChatRequest(TEXT("plain"), Record, StreamHeaders());
					continue;
				}
				UAsyncNodeTestListener* Context = Contexts.Add_GetRef(NewObject<UAsyncNodeTestListener>(GameInstance));
				GameInstance->RegisterReferencedObject(Context);
				UTalvaneChatAsyncAction* Node = UTalvaneChatAsyncAction::NimbrelChatAsync(Context, TEXT("node"), Record, StreamHeaders());
				Node->OnProgress.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatProgress);
				Node->OnSuccess.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatSuccess);
				Node->OnFailure.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatFailure);
				Node->Activate();
				Nodes.Add(Node);
			}
			TickFor(0.05 + 0.3 * Random());
			// Now and then a world context, or a record, goes first.
			if (Random() < 0.5f && Contexts.Num() > 0)
			{
				Contexts[0]->MarkAsGarbage();
				CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
				Contexts.RemoveAt(0);
				TickFor(0.02 * Random());
			}
			if (Random() < 0.5f)
			{
				Records.Last().Reset();
			}
			LateReports += EndAndCollect(Game, *Everything, Contexts);
			TickFor(0.01 * Random());
		}
		TickFor(0.3);
		// A node a collection freed had ended first (or ended as it was destroyed).
		int32 Unfinished = 0;
		for (const TWeakObjectPtr<UTalvaneChatAsyncAction>& Node : Nodes)
		{
			Unfinished += Node.IsValid() && !Node->HasEnded() ? 1 : 0;
		}
		TestEqual(TEXT("every node ended, with its game instance or before"), Unfinished, 0);
		TestEqual(TEXT("no report after a game instance ended"), LateReports, 0);
	});
}

#endif
