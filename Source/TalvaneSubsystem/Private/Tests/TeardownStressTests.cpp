#include "AsyncNodeTestListener.h"
#include "Engine/GameInstance.h"
#include "Math/UnrealMathUtility.h"
#include "Misc/AutomationTest.h"
#include "SubsystemTestListener.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneLog.h"
#include "TalvaneSubsystem.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

// Game instances that end, and are collected, at random moments of many streamed requests: through
// the subsystem's delegates and through request nodes, with world contexts and records destroyed on
// the way. Every listener lives inside its game instance, so it is freed with it; a report that
// reached one afterwards would be a use after free, which AddressSanitizer stops at once.

BEGIN_DEFINE_SPEC(FTalvaneTeardownStressSpec, "Talvane.Subsystem.Teardown", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()

	static constexpr int32 Rounds = 16;
	ELogVerbosity::Type SavedVerbosity = ELogVerbosity::Log;
	static constexpr int32 RequestsPerRound = 8;

	/** Ticks like an engine frame loop for a while, and returns nothing: the stress lies in when it stops. */
	static void TickFor(const double InSeconds)
	{
		TickUntil([]() { return false; }, InSeconds);
	}

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
	 * Ends the game instance, lets frames pass as the engine does before it collects, then collects it
	 * with everything inside it; returns how many reports its listeners heard after the end.
	 */
	static int32 EndAndCollect(UGameInstance* InGameInstance, const USubsystemTestListener& InEverything,
		const TArray<UAsyncNodeTestListener*>& InContexts)
	{
		InGameInstance->Shutdown();
		const int32 AtTheEnd = CountReports(InEverything, InContexts);
		TickFor(0.03 * FMath::FRand());
		const int32 Late = CountReports(InEverything, InContexts) - AtTheEnd;
		InGameInstance->RemoveFromRoot();
		InGameInstance->MarkAsGarbage();
		CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		return Late;
	}
END_DEFINE_SPEC(FTalvaneTeardownStressSpec)

void FTalvaneTeardownStressSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		// The same moments each run, so a failure can be replayed.
		std::srand(12);
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
		TArray<UTalvaneChatAsyncAction*> Nodes;
		int32 LateReports = 0;
		TArray<TSharedPtr<FNimbrelChatRequest>> Records;
		for (int32 Round = 0; Round < Rounds; ++Round)
		{
			UGameInstance* GameInstance = NewObject<UGameInstance>();
			GameInstance->AddToRoot();
			GameInstance->InitializeStandalone();
			UTalvaneSubsystem* Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
			Subsystem->SetAPIKey(ServerKey);
			USubsystemTestListener* Everything = NewObject<USubsystemTestListener>(GameInstance);
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
				UTalvaneChatAsyncAction* Node = UTalvaneChatAsyncAction::NimbrelChatAsync(Context, TEXT("node"), Record, StreamHeaders());
				Node->OnProgress.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatProgress);
				Node->OnSuccess.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatSuccess);
				Node->OnFailure.AddDynamic(Context, &UAsyncNodeTestListener::HandleChatFailure);
				Node->Activate();
				Nodes.Add(Node);
			}
			TickFor(0.05 + 0.3 * FMath::FRand());
			// Now and then a world context, or a record, goes first.
			if (FMath::FRand() < 0.5f && Contexts.Num() > 0)
			{
				Contexts[0]->MarkAsGarbage();
				CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
				Contexts.RemoveAt(0);
				TickFor(0.02 * FMath::FRand());
			}
			if (FMath::FRand() < 0.5f)
			{
				Records.Last().Reset();
			}
			LateReports += EndAndCollect(GameInstance, *Everything, Contexts);
			TickFor(0.01 * FMath::FRand());
		}
		TickFor(0.3);
		int32 Unfinished = 0;
		for (const UTalvaneChatAsyncAction* Node : Nodes)
		{
			Unfinished += Node->HasEnded() ? 0 : 1;
		}
		TestEqual(TEXT("every node ended, with its game instance or before"), Unfinished, 0);
		TestEqual(TEXT("no report after a game instance ended"), LateReports, 0);
	});
}

#endif
