// The HTTP thread against the game thread: cancelling, flushing within limits, module shutdown
// with requests in flight, ownership of requests, and a create/destroy stress run under a
// watchdog. Run these under ThreadSanitizer too (CTest label "threaded").

#include <condition_variable>
#include <cstdio>
#include <cstdlib>

#include "HttpTestSupport.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"

using namespace HttpTests;

namespace
{
	typedef TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FRequestRef;

	/** Aborts the process when a test body hangs, since a hang is the failure being looked for. */
	class FWatchdog
	{
	public:
		FWatchdog(const char* InWhat, const double Seconds)
			: What(InWhat)
		{
			Thread = std::thread([this, Seconds]()
			{
				// Joined in the destructor, so this object outlives the thread.
				std::unique_lock<std::mutex> Lock(Mutex);
				if (!Condition.wait_for(Lock, std::chrono::duration<double>(Seconds), [this]() { return bDone; }))
				{
					std::fprintf(stderr, "Watchdog: %s did not finish in time\n", What);
					std::abort();
				}
			});
		}
		~FWatchdog()
		{
			{
				const std::lock_guard<std::mutex> Lock(Mutex);
				bDone = true;
			}
			Condition.notify_all();
			Thread.join();
		}

	private:
		const char* What;
		std::mutex Mutex;
		std::condition_variable Condition;
		bool bDone = false;
		std::thread Thread;
	};

	class FOwner : public TSharedFromThis<FOwner>
	{
	public:
		void OnComplete(FHttpRequestPtr, FHttpResponsePtr, bool) { ++Calls; }
		static inline int32 Calls = 0;
	};

	void SetShutdownLimits(const double Soft, const double Hard)
	{
		SetHttpConfig(TEXT("FlushSoftTimeLimitShutdown"), Soft);
		SetHttpConfig(TEXT("FlushHardTimeLimitShutdown"), Hard);
		FHttpModule::Get().GetHttpManager().UpdateConfigs();
	}
}

class FHttpThreadTest : public FHttpTest
{
};

TEST_F(FHttpThreadTest, CancelCompletesOnALaterTickAsFailure)
{
	FLogCapture Log;
	const FRequestRef Silent = MakeChat("stall");
	const std::shared_ptr<FRecord> SilentSeen = Record(*Silent);
	const FRequestRef Talking = MakeChat("stall-after-headers");
	const std::shared_ptr<FRecord> TalkingSeen = Record(*Talking);
	ASSERT_TRUE(Silent->ProcessRequest());
	ASSERT_TRUE(Talking->ProcessRequest());
	ASSERT_TRUE(PumpUntil([TalkingSeen]() { return !TalkingSeen->Headers.IsEmpty(); }));

	Silent->CancelRequest();
	Talking->CancelRequest();
	EXPECT_EQ(SilentSeen->Completions, 0);
	EXPECT_EQ(TalkingSeen->Completions, 0);
	ASSERT_TRUE(PumpUntil([SilentSeen, TalkingSeen]() { return SilentSeen->Completions > 0 && TalkingSeen->Completions > 0; }));
	EXPECT_FALSE(SilentSeen->bConnectedSuccessfully);
	EXPECT_FALSE(SilentSeen->Response.IsValid());
	EXPECT_FALSE(TalkingSeen->bConnectedSuccessfully);
	EXPECT_TRUE(TalkingSeen->Response.IsValid());
	// A cancelled request is a plain failure, whatever had arrived, and says so.
	EXPECT_EQ(Silent->GetStatus(), EHttpRequestStatus::Failed);
	EXPECT_EQ(Talking->GetStatus(), EHttpRequestStatus::Failed);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request was cancelled"), &Silent.Get())), 1);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request was cancelled"), &Talking.Get())), 1);

	// Cancelling a finished request changes nothing.
	Silent->CancelRequest();
	Manager().Tick(0.0f);
	EXPECT_EQ(SilentSeen->Completions, 1);
}

TEST_F(FHttpThreadTest, CancelRightAfterProcessStillCompletesOnce)
{
	const FRequestRef Request = MakeChat("trickle");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	Request->CancelRequest();
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	Manager().Tick(0.0f);
	EXPECT_EQ(Seen->Completions, 1);
}

TEST_F(FHttpThreadTest, RequestWithoutOtherOwnersRunsToCompletion)
{
	std::shared_ptr<FRecord> Seen;
	{
		const FRequestRef Request = MakeChat("trickle");
		Seen = Record(*Request);
		ASSERT_TRUE(Request->ProcessRequest());
	}
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_TRUE(Seen->bConnectedSuccessfully);
}

TEST_F(FHttpThreadTest, WeakBindingToADeadOwnerDoesNotRun)
{
	FOwner::Calls = 0;
	const FRequestRef Request = MakeChat("trickle");
	{
		const TSharedRef<FOwner> Owner = MakeShared<FOwner>();
		Request->OnProcessRequestComplete().BindSP(Owner, &FOwner::OnComplete);
		ASSERT_TRUE(Request->ProcessRequest());
	}
	ASSERT_TRUE(PumpUntil([Request]() { return Request->GetStatus() != EHttpRequestStatus::Processing; }));
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Succeeded);
	EXPECT_EQ(FOwner::Calls, 0);
}

TEST_F(FHttpThreadTest, FlushCancelsAtTheSoftLimitAndAbandonsAtTheHardLimit)
{
	SetHttpConfig(TEXT("FlushSoftTimeLimitDefault"), 0.2);
	SetHttpConfig(TEXT("FlushHardTimeLimitDefault"), 30.0);
	SetHttpConfig(TEXT("FlushSoftTimeLimitBackground"), -1.0);
	SetHttpConfig(TEXT("FlushHardTimeLimitBackground"), 0.3);
	Manager().UpdateConfigs();

	const FRequestRef Cancelled = MakeChat("stall");
	const std::shared_ptr<FRecord> CancelledSeen = Record(*Cancelled);
	ASSERT_TRUE(Cancelled->ProcessRequest());
	Manager().Flush(EHttpFlushReason::Default);
	EXPECT_EQ(CancelledSeen->Completions, 1);
	EXPECT_FALSE(CancelledSeen->bConnectedSuccessfully);

	const FRequestRef Abandoned = MakeChat("stall");
	const std::shared_ptr<FRecord> AbandonedSeen = Record(*Abandoned);
	ASSERT_TRUE(Abandoned->ProcessRequest());
	Manager().Flush(EHttpFlushReason::Background);
	EXPECT_EQ(AbandonedSeen->Completions, 0);
	EXPECT_EQ(Abandoned->GetStatus(), EHttpRequestStatus::Processing);
	// Abandoned by the flush, not forgotten by the manager.
	Abandoned->CancelRequest();
	ASSERT_TRUE(PumpUntil([AbandonedSeen]() { return AbandonedSeen->Completions > 0; }));
}

TEST_F(FHttpThreadTest, FullFlushWaitsForTheEndAndDeliversInside)
{
	const FRequestRef Request = MakeChat("trickle");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	Manager().Flush(EHttpFlushReason::FullFlush);
	EXPECT_EQ(Seen->Completions, 1);
	EXPECT_TRUE(Seen->bConnectedSuccessfully);
	EXPECT_FALSE(Seen->Progress.IsEmpty());
}

TEST_F(FHttpThreadTest, ChangedLimitsApplyOnlyAfterUpdateConfigs)
{
	// With the keys read, this flush would abandon the request at once; unread, the default
	// limits cancel it at two seconds and it completes inside the flush.
	Manager();
	SetHttpConfig(TEXT("FlushSoftTimeLimitDefault"), -1.0);
	SetHttpConfig(TEXT("FlushHardTimeLimitDefault"), 0.0);
	const FRequestRef Request = MakeChat("stall");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	Manager().Flush(EHttpFlushReason::Default);
	EXPECT_EQ(Seen->Completions, 1);
}

TEST_F(FHttpThreadTest, ShutdownLimitsAreCorrectedAsTheEngineDoes)
{
	FLogCapture Log;
	SetShutdownLimits(3.0, 1.0);
	const FRequestRef Request = MakeChat("stall");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	Manager().Flush(EHttpFlushReason::Shutdown);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("soft limit of 0.500s")), 1);
	EXPECT_EQ(Seen->Completions, 1);

	SetShutdownLimits(0.5, -2.0);
	const FRequestRef Next = MakeChat("stall");
	ASSERT_TRUE(Next->ProcessRequest());
	Manager().Flush(EHttpFlushReason::Shutdown);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("soft limit of 0.000s")), 1);
}

TEST_F(FHttpThreadTest, ModuleShutdownWithRequestsInFlightCallsNobody)
{
	SetShutdownLimits(0.1, 0.5);
	TArray<std::shared_ptr<FRecord>> Records;
	TArray<FRequestRef> Requests;
	for (const char* Scenario : {"stall", "stall-after-headers", "trickle", "huge", ""})
	{
		const FRequestRef Request = MakeChat(Scenario);
		Records.Add(Record(*Request));
		ASSERT_TRUE(Request->ProcessRequest());
		Requests.Add(Request);
	}
	FModuleManager::Get().UnloadModule(TEXT("HTTP"));

	for (int32 Index = 0; Index < Requests.Num(); ++Index)
	{
		EXPECT_EQ(Records[Index]->Completions, 0);
		EXPECT_TRUE(Records[Index]->Progress.IsEmpty());
		EXPECT_NE(Requests[Index]->GetStatus(), EHttpRequestStatus::Processing);
	}
	// The module comes back on the next use, and works.
	const FRequestRef After = MakeChat("");
	const std::shared_ptr<FRecord> AfterSeen = Record(*After);
	ASSERT_TRUE(After->ProcessRequest());
	ASSERT_TRUE(PumpUntil([AfterSeen]() { return AfterSeen->Completions > 0; }));
	EXPECT_TRUE(AfterSeen->bConnectedSuccessfully);
}

TEST_F(FHttpThreadTest, ProcessExitWithoutShutdownIsClean)
{
	// A program may exit with requests in flight and the module never unloaded; the exit must
	// stop the HTTP thread without a crash, a hang or (under the sanitizers) a report.
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			const FRequestRef Stalled = MakeChat("stall");
			Stalled->ProcessRequest();
			const FRequestRef Streaming = MakeChat("trickle");
			Streaming->ProcessRequest();
			PumpUntil([Streaming]() { return Streaming->GetResponse().IsValid(); });
			std::exit(0);
		},
		::testing::ExitedWithCode(0), "");
}

TEST_F(FHttpThreadTest, StartingARequestInsideAFlushAsserts)
{
	// The engine's FHttpManager::AddRequest checks !bFlushing, so a completion delegate that
	// starts a request while the game flushes stops the process.
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_DEATH(
		{
			const FRequestRef First = MakeChat("");
			First->OnProcessRequestComplete().BindLambda([this](FHttpRequestPtr, FHttpResponsePtr, bool)
			{
				// The test object outlives the flush that runs this.
				MakeChat("")->ProcessRequest();
			});
			First->ProcessRequest();
			Manager().Flush(EHttpFlushReason::FullFlush);
		},
		"Assertion failed: !bFlushing");
	// Outside a flush the same delegate may start a request.
	const FRequestRef First = MakeChat("");
	std::shared_ptr<FRecord> SecondSeen;
	First->OnProcessRequestComplete().BindLambda([this, &SecondSeen](FHttpRequestPtr, FHttpResponsePtr, bool)
	{
		// Runs inside the PumpUntil below, while the locals live.
		const FRequestRef Second = MakeChat("");
		SecondSeen = Record(*Second);
		Second->ProcessRequest();
	});
	ASSERT_TRUE(First->ProcessRequest());
	ASSERT_TRUE(PumpUntil([&SecondSeen]() { return SecondSeen && SecondSeen->Completions > 0; }));
	EXPECT_TRUE(SecondSeen->bConnectedSuccessfully);
}

TEST_F(FHttpThreadTest, ModuleManagerLoadsTheSameModule)
{
	IModuleInterface* Loaded = FModuleManager::Get().LoadModule(TEXT("HTTP"));
	EXPECT_EQ(Loaded, &FHttpModule::Get());
}

TEST_F(FHttpThreadTest, ManyConcurrentRequestsKeepTheirOwnAnswers)
{
	TArray<std::shared_ptr<FRecord>> Records;
	for (int32 Index = 0; Index < 48; ++Index)
	{
		const FRequestRef Request = FHttpModule::Get().CreateRequest();
		Request->SetURL(Url("echo"));
		Request->SetVerb(TEXT("POST"));
		Request->SetHeader(TEXT("Content-Type"), TEXT("text/plain"));
		Request->SetContentAsString(FString::Printf(TEXT("request %d"), Index));
		Records.Add(Record(*Request));
		ASSERT_TRUE(Request->ProcessRequest());
	}
	ASSERT_TRUE(PumpUntil([&Records]() { return !Records.ContainsByPredicate([](const std::shared_ptr<FRecord>& Seen) { return Seen->Completions == 0; }); }));
	for (int32 Index = 0; Index < Records.Num(); ++Index)
	{
		ASSERT_TRUE(Records[Index]->bConnectedSuccessfully);
		EXPECT_TRUE(Records[Index]->Response->GetContentAsString().Contains(FString::Printf(TEXT("\"body\":\"request %d\""), Index)));
	}
}

TEST_F(FHttpThreadTest, StressCreateAndDestroyTheModuleWithRequestsInFlight)
{
	const FWatchdog Watchdog("the module create/destroy stress run", 120.0);
	const FString Refused = ToFString("http://127.0.0.1:" + std::to_string(ReserveClosedPort()) + "/");
	for (int32 Cycle = 0; Cycle < 25; ++Cycle)
	{
		SetShutdownLimits(0.02, 0.2);
		TArray<FRequestRef> Kept;
		for (int32 Index = 0; Index < 12; ++Index)
		{
			static const char* const Scenarios[] = {"", "trickle", "stall", "huge", "drop", "split"};
			const FRequestRef Request = MakeChat(Scenarios[(Cycle + Index) % UE_ARRAY_COUNT(Scenarios)]);
			Request->SetHeader(TEXT("X-Talvane-Stall-Ms"), TEXT("300"));
			Request->SetHeader(TEXT("X-Talvane-Size"), TEXT("200000"));
			if (Index == 5)
			{
				Request->SetURL(Refused);
			}
			Record(*Request);
			Request->ProcessRequest();
			if (Index % 3 == 0)
			{
				Kept.Add(Request);
			}
		}
		for (int32 Tick = 0; Tick < Cycle % 4; ++Tick)
		{
			FHttpModule::Get().GetHttpManager().Tick(0.0f);
			std::this_thread::sleep_for(std::chrono::milliseconds(3));
		}
		if (Cycle % 2 == 0)
		{
			Kept[0]->CancelRequest();
		}
		FModuleManager::Get().UnloadModule(TEXT("HTTP"));
		// A request from a shut-down module may be sent again through the next one.
		if (Cycle % 5 == 4)
		{
			Kept.Last()->ProcessRequest();
		}
	}
	const FRequestRef Last = MakeChat("");
	const std::shared_ptr<FRecord> Seen = Record(*Last);
	ASSERT_TRUE(Last->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_TRUE(Seen->bConnectedSuccessfully);
}

TEST_F(FHttpThreadTest, ConnectionsToOneServerAreCappedAsHttpMaxConnectionsPerServerSays)
{
	// The engine's curl manager caps the connections to one server (16 unless the ini says otherwise);
	// a request past the cap waits for a free connection. With a cap of one, a quick request waits
	// behind a stalled one until that one is cancelled.
	FModuleManager::Get().UnloadModule(TEXT("HTTP"));
	GConfig->SetInt(TEXT("HTTP"), TEXT("HttpMaxConnectionsPerServer"), 1, GEngineIni);
	const FRequestRef Stalled = MakeChat("stall");
	const std::shared_ptr<FRecord> StalledSeen = Record(*Stalled);
	ASSERT_TRUE(Stalled->ProcessRequest());
	const FRequestRef Quick = MakeChat("", false);
	const std::shared_ptr<FRecord> QuickSeen = Record(*Quick);
	ASSERT_TRUE(Quick->ProcessRequest());
	// Half a second is plenty for an answer on loopback; the quick request must not get one meanwhile.
	PumpUntil([QuickSeen]() { return QuickSeen->Completions > 0; }, 0.5);
	EXPECT_EQ(QuickSeen->Completions, 0);
	Stalled->CancelRequest();
	ASSERT_TRUE(PumpUntil([QuickSeen]() { return QuickSeen->Completions > 0; }));
	EXPECT_TRUE(QuickSeen->bConnectedSuccessfully);
	EXPECT_EQ(StalledSeen->Completions, 1);
	GConfig->RemoveKey(TEXT("HTTP"), TEXT("HttpMaxConnectionsPerServer"), GEngineIni);
}
