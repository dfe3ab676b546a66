#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "HAL/PlatformMemory.h"
#include "HAL/PlatformMisc.h"
#include "Logging/LogMacros.h"
#include "Misc/AutomationTest.h"
#include "SubsystemTestListener.h"
#include "TalvaneLog.h"
#include "TalvaneSubsystem.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

DEFINE_LOG_CATEGORY_STATIC(LogTalvaneSoak, Log, All);

// Load and soak through one subsystem: many streamed requests in flight at once, each answered into
// its own record; and thousands of requests one after another with resident memory flat once warm.
// The soak's length comes from the environment (TALVANE_SOAK_REQUESTS), short by default so that CI
// runs it on every change; docs/RELIABILITY.md gives the full run.
BEGIN_DEFINE_SPEC(FTalvaneLoadSpec, "Talvane.Subsystem.Load", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	static constexpr int32 ConcurrentRequests = 200;
	static constexpr int32 DefaultSoakRequests = 500;
	/** Growth of resident memory allowed between the end of the warm-up and the end of the soak. */
	static constexpr uint64 AllowedGrowthBytes = 5 * 1024 * 1024;

	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	USubsystemTestListener* Listener = nullptr;
	ELogVerbosity::Type PluginVerbosity = ELogVerbosity::Log;

	static int32 GetCountFromEnvironment(const TCHAR* Name, int32 Default);
	/** Sends request Index of the soak (four kinds in turn) and waits for it; false when it did not end exactly right. */
	bool RunSoakRequest(int32 Index);
	void ResetListener();
END_DEFINE_SPEC(FTalvaneLoadSpec)

int32 FTalvaneLoadSpec::GetCountFromEnvironment(const TCHAR* Name, const int32 Default)
{
	const int32 Count = FCString::Atoi(*FPlatformMisc::GetEnvironmentVariable(Name));
	return Count > 0 ? Count : Default;
}

void FTalvaneLoadSpec::ResetListener()
{
	// The listener would otherwise grow with every request and hide the plugin's own memory.
	Listener->Successes.Empty();
	Listener->SuccessProtocols.Empty();
	Listener->Progress.Empty();
	Listener->Failures.Empty();
	Listener->FailureMessages.Empty();
}

bool FTalvaneLoadSpec::RunSoakRequest(const int32 Index)
{
	const FString Question = FString::Printf(TEXT("Soak %d"), Index);
	FString Expected;
	FNimbrelChatRequest Chat;
	FNimbrelLocalChatRequest Local;
	TArray<FNimbrelContextMessage>* Messages = nullptr;
	switch (Index % 4)
	{
	case 0:
	case 1:
		Chat.Model = ENimbrelModel::NIMBREL_CHAT;
		Chat.bStream = Index % 4 == 0;
		Subsystem->NimbrelChatRequest(Question, Chat, {});
		Expected = Question.Replace(TEXT("Soak"), TEXT("Echo: Soak")) + TEXT(" (turn 1, 1 message)");
		Messages = Chat.bStream ? &Chat.Messages : nullptr;
		break;
	case 2:
		Local.URL = GetServerHostPort();
		Local.ChatID = TEXT("soak");
		Local.bStream = true;
		Subsystem->NimbrelLocalChatRequest(Question, Local, {});
		Expected = FString(TEXT("Echo: ")) + Question + TEXT(" (turn 1, 1 message) [chat: soak]");
		Messages = &Local.Messages;
		break;
	default:
	{
		FNimbrelFIMRequest Fim;
		Fim.Model = ENimbrelModel::NIMBREL_CHAT;
		Fim.Prompt = Question;
		Fim.Suffix = TEXT("end");
		Fim.bStream = false;
		Subsystem->NimbrelFIMRequest(Fim, {});
		Expected = FString(TEXT("[fill between \"")) + Question + TEXT("\" and \"end\"]");
		break;
	}
	}
	const bool bDone = TickUntil([this]() { return Listener->Finished() > 0; });
	const bool bExact = bDone && Listener->Successes.Num() == 1 && Listener->Failures.Num() == 0
		&& Listener->Successes[0].Num() == 1 && Listener->Successes[0][0].Equals(Expected, ESearchCase::CaseSensitive)
		&& (!Messages || (Messages->Num() == 2 && (*Messages)[1].Content.Equals(Expected, ESearchCase::CaseSensitive)));
	if (!bExact)
	{
		AddError(FString::Printf(TEXT("soak request %d did not end in exactly one exact success (%d successes, %d failures)"), Index,
			Listener->Successes.Num(), Listener->Failures.Num()));
	}
	ResetListener();
	return bExact;
}

void FTalvaneLoadSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		// Thousands of requests log their bodies at Log verbosity; only problems are of interest here.
		PluginVerbosity = TalvaneLog.GetVerbosity();
		TalvaneLog.SetVerbosity(ELogVerbosity::Warning);
		GameInstance = NewObject<UGameInstance>(GEngine);
		GameInstance->AddToRoot();
		GameInstance->Init();
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		Listener = NewObject<USubsystemTestListener>();
		Listener->AddToRoot();
		Subsystem->OnSuccess.AddDynamic(Listener, &USubsystemTestListener::HandleSuccess);
		Subsystem->OnProgress.AddDynamic(Listener, &USubsystemTestListener::HandleProgress);
		Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
		Subsystem->SetAPIKey(ServerKey);
	});

	AfterEach([this]()
	{
		GameInstance->Shutdown();
		GameInstance->RemoveFromRoot();
		Listener->RemoveFromRoot();
		GameInstance = nullptr;
		Listener = nullptr;
		Subsystem = nullptr;
		TalvaneLog.SetVerbosity(PluginVerbosity);
		ResetCloud();
	});

	It(TEXT("AnswersTwoHundredConcurrentStreamsEachIntoItsOwnRecordExactly"), [this]()
	{
		// Each record at its own address for as long as its answer may come.
		TArray<TSharedRef<FNimbrelChatRequest>> Records;
		for (int32 Index = 0; Index < ConcurrentRequests; ++Index)
		{
			FNimbrelChatRequest& Record = *Records.Add_GetRef(MakeShared<FNimbrelChatRequest>());
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			const FString Question = FString::Printf(TEXT("Load %d"), Index);
			// A trickled answer keeps every stream open for a while, so they overlap.
			Subsystem->NimbrelChatRequest(Question, Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}});
		}
		TestTrue(TEXT("every request reported"), TickUntil([this]() { return Listener->Finished() >= ConcurrentRequests; }, 120.0));
		TickUntil([]() { return false; }, 0.2);
		TestEqual(TEXT("successes"), Listener->Successes.Num(), ConcurrentRequests);
		TestEqual(TEXT("failures"), Listener->Failures.Num(), 0);
		TArray<FString> Reported;
		for (const TArray<FString>& Data : Listener->Successes)
		{
			Reported.AddUnique(Data.Num() == 1 ? Data[0] : FString());
		}
		TestEqual(TEXT("each answer reported once"), Reported.Num(), ConcurrentRequests);
		int32 Exact = 0;
		for (int32 Index = 0; Index < ConcurrentRequests; ++Index)
		{
			const TArray<FNimbrelContextMessage>& Messages = Records[Index]->Messages;
			const FString Answer = FString::Printf(TEXT("Echo: Load %d (turn 1, 1 message)"), Index);
			const bool bExact = Messages.Num() == 2 && Messages[1].Content.Equals(Answer, ESearchCase::CaseSensitive)
				&& Reported.Contains(Answer);
			Exact += bExact ? 1 : 0;
		}
		TestEqual(TEXT("records holding exactly their own question and answer"), Exact, ConcurrentRequests);
	});

	It(TEXT("KeepsResidentMemoryFlatOverThousandsOfSequentialRequests"), [this]()
	{
		const int32 Requests = GetCountFromEnvironment(TEXT("TALVANE_SOAK_REQUESTS"), DefaultSoakRequests);
		// Long enough for every cache, pool and the log to reach its working size.
		const int32 WarmUp = FMath::Max(100, Requests / 10);
		uint64 WarmBytes = 0;
		for (int32 Index = 0; Index < Requests; ++Index)
		{
			if (Index == WarmUp)
			{
				WarmBytes = FPlatformMemory::GetStats().UsedPhysical;
			}
			if (!RunSoakRequest(Index))
			{
				return;
			}
		}
		const uint64 EndBytes = FPlatformMemory::GetStats().UsedPhysical;
		const int64 GrowthBytes = static_cast<int64>(EndBytes) - static_cast<int64>(WarmBytes);
		UE_LOG(LogTalvaneSoak, Display, TEXT("soak: %d requests, resident %.2f MB after %d, %.2f MB at the end, growth %.3f MB"), Requests,
			WarmBytes / 1048576.0, WarmUp, EndBytes / 1048576.0, GrowthBytes / 1048576.0);
		// A sanitizer's allocator keeps freed memory in quarantine, so growth means something only in a
		// plain build; the sanitizer runs turn this check off and let LeakSanitizer judge instead.
		if (FPlatformMisc::GetEnvironmentVariable(TEXT("TALVANE_SOAK_MEMORY_CHECK")) != TEXT("0"))
		{
			TestTrue(TEXT("resident memory grew by less than 5 MB after the warm-up"), GrowthBytes < static_cast<int64>(AllowedGrowthBytes));
		}
	});
}

#endif
