#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "HAL/PlatformMisc.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "RandomCollections.h"
#include "ReferenceServer.h"
#include "StandInTestSupport.h"
#include "SubsystemTestListener.h"
#include "TalvaneSubsystem.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

namespace
{
	/**
	 * Ends the process with a message when a cycle hangs: a hang inside a flush or a destructor never
	 * returns to the test, so only another thread can report it.
	 */
	class FCycleWatchdog
	{
	public:
		explicit FCycleWatchdog(const double InSeconds) : Seconds(InSeconds)
		{
			Thread = std::thread([this]() { Watch(); });
		}

		~FCycleWatchdog()
		{
			{
				const std::lock_guard<std::mutex> Lock(Mutex);
				bStop = true;
			}
			Condition.notify_all();
			Thread.join();
		}

		/** Starts the clock for the next cycle. */
		void Pet(const int32 InCycle, const char* InStep)
		{
			const std::lock_guard<std::mutex> Lock(Mutex);
			Cycle = InCycle;
			Step = InStep;
			++Generation;
			Condition.notify_all();
		}

	private:
		void Watch()
		{
			std::unique_lock<std::mutex> Lock(Mutex);
			while (!bStop)
			{
				const uint64 Seen = Generation;
				const bool bMoved = Condition.wait_for(Lock, std::chrono::duration<double>(Seconds),
					[this, Seen]() { return bStop || Generation != Seen; });
				if (!bMoved)
				{
					std::fprintf(stderr, "watchdog: shutdown cycle %d hung for more than %.0f seconds at \"%s\"\n", Cycle, Seconds, Step);
					std::fflush(stderr);
					std::_Exit(3);
				}
			}
		}

		const double Seconds;
		std::thread Thread;
		std::mutex Mutex;
		std::condition_variable Condition;
		bool bStop = false;
		uint64 Generation = 0;
		int32 Cycle = 0;
		const char* Step = "start";
	};
}

// The game instance destroyed, and the modules shut down, with 50 requests in flight, over and over:
// in one order, the other, and as the engine exits (game instance shut down, modules unloaded, then
// the objects collected). No callback may reach the listener once its subsystem is gone, no cycle may
// hang, and under AddressSanitizer and ThreadSanitizer nothing may touch freed memory, race or leak.
// The [HTTP] "Shutdown" flush limits are set low, so the HTTP module gives up on stalled requests at
// once. CI runs 100 cycles; TALVANE_SHUTDOWN_CYCLES asks for more. Only the stand-in can unload the
// HTTP module in the middle of a session. The cycles leave thousands of abandoned connections behind,
// so they go to a reference server of their own that no other test shares.
BEGIN_DEFINE_SPEC(FTalvaneShutdownSpec, "Talvane.StandIn.Shutdown", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	static constexpr int32 DefaultCycles = 100;
	static constexpr int32 RequestsInFlight = 50;
	static constexpr double CycleWatchdogSeconds = 30.0;

	enum class EOrder : uint8
	{
		GameInstanceFirst,
		ModulesFirst,
		AsTheEngineExits,
	};

	USubsystemTestListener* Listener = nullptr;
	/** Collections at random moments of each cycle, as the engine may run one on any frame. */
	TSharedPtr<FRandomCollections> Collections;
	TalvaneTestServer::FIniSnapshot FlushLimits;
	FString ServerHostPort;

	static void LoadModules();
	static void UnloadModules();
	static void SetShutdownLimits();
	void SendMix(UTalvaneSubsystem& Subsystem, int32 Cycle, TArray<TSharedRef<FNimbrelChatRequest>>& OutRecords) const;
	bool RunCycle(int32 Cycle, FCycleWatchdog& Watchdog);
END_DEFINE_SPEC(FTalvaneShutdownSpec)

void FTalvaneShutdownSpec::LoadModules()
{
	FHttpModule::Get();
	FModuleManager::Get().LoadModule(TEXT("Talvane"));
	FModuleManager::Get().LoadModule(TEXT("TalvaneSubsystem"));
	SetShutdownLimits();
}

void FTalvaneShutdownSpec::UnloadModules()
{
	// In reverse order of loading, as the engine shuts modules down.
	FModuleManager::Get().UnloadModule(TEXT("TalvaneSubsystem"), true);
	FModuleManager::Get().UnloadModule(TEXT("Talvane"), true);
	FModuleManager::Get().UnloadModule(TEXT("HTTP"), true);
}

void FTalvaneShutdownSpec::SetShutdownLimits()
{
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitShutdown"), 0.02, GEngineIni);
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitShutdown"), 0.1, GEngineIni);
	FHttpModule::Get().GetHttpManager().UpdateConfigs();
}

void FTalvaneShutdownSpec::SendMix(UTalvaneSubsystem& Subsystem, const int32 Cycle, TArray<TSharedRef<FNimbrelChatRequest>>& OutRecords) const
{
	// Streams mid-answer, requests the server holds back (before and after its headers), whole answers,
	// local chats and FIM, interleaved so that every kind is on the wire within the connection cap.
	static const TCHAR* const Scenarios[] = {TEXT("trickle"), TEXT("stall"), TEXT("stall-after-headers"), TEXT(""), TEXT("split")};
	for (int32 Index = 0; Index < RequestsInFlight; ++Index)
	{
		// Short stalls: the server serves an abandoned connection only once a worker is free for it.
		TMap<FString, FString> Headers = {{TEXT("X-Talvane-Stall-Ms"), TEXT("300")}};
		const TCHAR* const Scenario = Scenarios[(Index + Cycle) % UE_ARRAY_COUNT(Scenarios)];
		if (*Scenario)
		{
			Headers.Add(TEXT("X-Talvane-Scenario"), Scenario);
		}
		if (Index % 10 == 7)
		{
			FNimbrelFIMRequest Fim;
			Fim.Prompt = TEXT("a");
			Fim.Suffix = TEXT("b");
			Subsystem.NimbrelFIMRequest(Fim, Headers);
			continue;
		}
		if (Index % 10 == 3)
		{
			FNimbrelLocalChatRequest Local;
			Local.URL = ServerHostPort;
			Local.ChatID = TEXT("shutdown");
			Local.bStream = true;
			Subsystem.NimbrelLocalChatRequest(TEXT("local"), Local, Headers);
			continue;
		}
		FNimbrelChatRequest& Record = *OutRecords.Add_GetRef(MakeShared<FNimbrelChatRequest>());
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = Index % 2 == 0;
		Subsystem.NimbrelChatRequest(FString::Printf(TEXT("cycle %d request %d"), Cycle, Index), Record, Headers);
	}
}

bool FTalvaneShutdownSpec::RunCycle(const int32 Cycle, FCycleWatchdog& Watchdog)
{
	const EOrder Order = static_cast<EOrder>(Cycle % 3);
	Watchdog.Pet(Cycle, "start");
	LoadModules();
	UGameInstance* GameInstance = NewObject<UGameInstance>(GEngine);
	// Init alone makes no world context, so nothing of the engine holds this game instance: the test does.
	GameInstance->AddToRoot();
	GameInstance->Init();
	UTalvaneSubsystem* Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
	Subsystem->OnSuccess.AddDynamic(Listener, &USubsystemTestListener::HandleSuccess);
	Subsystem->OnProgress.AddDynamic(Listener, &USubsystemTestListener::HandleProgress);
	Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
	Subsystem->SetAPIKey(ServerKey);
	Subsystem->SetStreamCombinedReply(Cycle % 2 == 0);
	// The records outlive the game instance, as a caller's own records may.
	TArray<TSharedRef<FNimbrelChatRequest>> Records;
	SendMix(*Subsystem, Cycle, Records);
	// Some cycles end before any byte arrived, others in the middle of answers.
	for (int32 Tick = 0; Tick < Cycle % 8; ++Tick)
	{
		FHttpModule::Get().GetHttpManager().Tick(0.0f);
		Collections->MaybeCollect();
		FPlatformProcess::Sleep(0.002f);
	}

	// Shutdown destroys nothing: the subsystem goes at a collection after it, here at a random one.
	const auto DestroyGameInstance = [&GameInstance, &Subsystem]()
	{
		GameInstance->RemoveFromRoot();
		CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		GameInstance = nullptr;
		Subsystem = nullptr;
	};
	Watchdog.Pet(Cycle, "tear-down");
	int32 HeardAtTearDown = 0;
	switch (Order)
	{
	case EOrder::GameInstanceFirst:
		GameInstance->Shutdown();
		Collections->MaybeCollect();
		DestroyGameInstance();
		HeardAtTearDown = Listener->Finished() + Listener->Progress.Num();
		// The requests the destroyed manager cancelled still complete in the HTTP module, unheard.
		TickUntil([]() { return false; }, 0.01);
		UnloadModules();
		break;
	case EOrder::ModulesFirst:
		HeardAtTearDown = Listener->Finished() + Listener->Progress.Num();
		UnloadModules();
		Collections->MaybeCollect();
		GameInstance->Shutdown();
		Collections->MaybeCollect();
		DestroyGameInstance();
		break;
	case EOrder::AsTheEngineExits:
		GameInstance->Shutdown();
		HeardAtTearDown = Listener->Finished() + Listener->Progress.Num();
		Collections->MaybeCollect();
		UnloadModules();
		DestroyGameInstance();
		break;
	}
	const int32 Heard = Listener->Finished() + Listener->Progress.Num();
	if (Heard != HeardAtTearDown)
	{
		AddError(FString::Printf(TEXT("cycle %d: %d callbacks came after the tear-down began"), Cycle, Heard - HeardAtTearDown));
		return false;
	}
	return true;
}

void FTalvaneShutdownSpec::Define()
{
	It("survives the game instance and the modules going away with 50 requests in flight", [this]()
	{
		TalvaneReference::FReferenceServer Server;
		if (!TestTrue(TEXT("the reference server started"), Server.Start() > 0))
		{
			return;
		}
		ServerHostPort = UTF8_TO_TCHAR(Server.GetHostPort().c_str());
		FlushLimits = FIniSnapshot(TEXT("HTTP"), GetHttpFlushLimitKeys());
		ConfigureCloud(UTF8_TO_TCHAR(Server.GetBaseURL().c_str()));
		Listener = NewObject<USubsystemTestListener>();
		Listener->AddToRoot();
		Collections = MakeShared<FRandomCollections>(*this, 0.3f);
		const int32 Requested = FCString::Atoi(*FPlatformMisc::GetEnvironmentVariable(TEXT("TALVANE_SHUTDOWN_CYCLES")));
		const int32 Cycles = Requested > 0 ? Requested : DefaultCycles;
		int32 Completed = 0;
		{
			FCycleWatchdog Watchdog(CycleWatchdogSeconds);
			for (int32 Cycle = 0; Cycle < Cycles && RunCycle(Cycle, Watchdog); ++Cycle)
			{
				++Completed;
			}
		}
		TestEqual(TEXT("cycles"), Completed, Cycles);
		LoadModules();
		FlushLimits.Restore();
		FHttpModule::Get().GetHttpManager().UpdateConfigs();
		Listener->RemoveFromRoot();
		Listener = nullptr;
		ResetCloud();
		Server.Stop();
	});
}

#endif
