#include "HTTP/TalvaneHttp.h"
#include "Misc/AutomationTest.h"
#include "Modules/ModuleManager.h"
#include "StandInTestSupport.h"
#include "TalvaneHttpTestSupport.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneHttpTest;
using TalvaneStandInTest::GetClosedPortURL;
using TalvaneHttp::EHTTPVerbType;
using TalvaneHttp::FHTTP;

// Transports created and destroyed over and over with requests in flight (streamed, stalled, refused,
// cancelled), some destroyed from inside their own callbacks, and the HTTP module itself shut down
// and started again in between. Run under AddressSanitizer and ThreadSanitizer it shows that no
// callback reaches a dead transport and no request outlives its module unsafely. Only the stand-in
// runs this: the engine cannot unload its HTTP module in the middle of an editor session.
BEGIN_DEFINE_SPEC(FTalvaneTransportStressSpec, "Talvane.StandIn.HttpModuleRestart", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	/** Rounds of create, send, tick a little, destroy. */
	static constexpr int32 Rounds = 120;
	/** The HTTP module restarts every this many rounds. */
	static constexpr int32 RoundsPerModuleRestart = 20;
	/** Past this, the test stops and fails instead of hanging the run. */
	static constexpr double WatchdogSeconds = 120.0;

	FString ClosedURL;

	void SendMix(FHTTP& Transport, int32 Round);
	bool RunRound(int32 Round);
	static void SetShortHttpLimits();
	static void TickTimes(int32 Count);
END_DEFINE_SPEC(FTalvaneTransportStressSpec)

void FTalvaneTransportStressSpec::SetShortHttpLimits()
{
	// Short flush limits and time-outs keep each module restart and each abandoned stall brief.
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitShutdown"), 0.2, GEngineIni);
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitShutdown"), 1.0, GEngineIni);
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitDefault"), 0.5, GEngineIni);
	GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitDefault"), 2.0, GEngineIni);
	FHttpModule::Get().GetHttpManager().UpdateConfigs();
}

void FTalvaneTransportStressSpec::TickTimes(const int32 Count)
{
	for (int32 Tick = 0; Tick < Count; ++Tick)
	{
		FHttpModule::Get().GetHttpManager().Tick(0.0f);
		FPlatformProcess::Sleep(0.001f);
	}
}

void FTalvaneTransportStressSpec::SendMix(FHTTP& Transport, const int32 Round)
{
	FNimbrelChatRequest Streamed;
	Streamed.Model = ENimbrelModel::NIMBREL_CHAT;
	Streamed.bStream = true;
	Transport.Request(TEXT("stream"), Streamed, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}}, EHTTPVerbType::HTTP_POST);

	const FGuid Stalled = Transport.Request(GetServerBaseURL() + TEXT("chat/completions"), MakeChatBody(TEXT("stall"), false),
		{{TEXT("X-Talvane-Scenario"), TEXT("stall")}, {TEXT("X-Talvane-Stall-Ms"), TEXT("3000")}}, ENimbrelProtocol::NIMBREL_CHAT,
		EHTTPVerbType::HTTP_POST);
	if (Round % 2 == 0)
	{
		Transport.CancelRequest(Stalled);
	}

	FNimbrelLocalChatRequest Local;
	Local.URL = GetServerHostPort();
	Local.ChatID = FString::Printf(TEXT("round %d"), Round);
	Transport.Request(TEXT("local"), Local, {}, EHTTPVerbType::HTTP_POST);

	Transport.Request(GetEchoURL(), TArray<uint8>({'r', 'a', 'w'}), {}, false, EHTTPVerbType::HTTP_PUT);
	Transport.Request(ClosedURL, MakeChatBody(TEXT("refused"), false), {}, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
}

bool FTalvaneTransportStressSpec::RunRound(const int32 Round)
{
	const TSharedRef<FTransportProbe> Probe = MakeShared<FTransportProbe>();
	const TSharedRef<TSharedPtr<FHTTP, ESPMode::ThreadSafe>> Holder = MakeShared<TSharedPtr<FHTTP, ESPMode::ThreadSafe>>();
	TalvaneHttp::FHTTPDelegate Delegate = MakeProbeDelegate(Probe);
	if (Round % 3 == 0)
	{
		// This transport destroys itself from inside its first completion callback. The holder is
		// reached weakly: the delegate lives inside the transport the holder owns.
		const TWeakPtr<TSharedPtr<FHTTP, ESPMode::ThreadSafe>> WeakHolder = Holder;
		Delegate.RequestCompleteDelegate.BindLambda([Probe, WeakHolder](FHttpRequestPtr, FHttpResponsePtr, bool)
		{
			++Probe->Completions;
			if (const TSharedPtr<TSharedPtr<FHTTP, ESPMode::ThreadSafe>> Owner = WeakHolder.Pin())
			{
				Owner->Reset();
			}
		});
	}
	*Holder = FHTTP::CreateHTTPObject(Delegate);
	(*Holder)->SetKey(ServerKey);
	SendMix(**Holder, Round);
	TickTimes(Round % 7);
	Holder->Reset();

	const int32 HeardBefore = Probe->Completions + Probe->ProgressReports + Probe->HeadersReceived;
	TickTimes(3);
	const int32 HeardAfter = Probe->Completions + Probe->ProgressReports + Probe->HeadersReceived;
	if (HeardAfter != HeardBefore)
	{
		AddError(FString::Printf(TEXT("round %d: a destroyed transport heard %d more callbacks"), Round, HeardAfter - HeardBefore));
		return false;
	}
	return true;
}

void FTalvaneTransportStressSpec::Define()
{
	It("survives transports and the HTTP module destroyed with requests in flight", [this]()
	{
		// Requests to a closed port, to a stalled server and cancelled ones end without a response,
		// which the transport logs as an error. One such request is waited for, so the line comes at
		// least once; how often it comes in the rounds depends on when each transport dies.
		AddExpectedError(TEXT("Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
		ClosedURL = GetClosedPortURL();
		ConfigureCloud(GetServerBaseURL(), 1.0);
		SetShortHttpLimits();
		{
			const TSharedRef<FTransportProbe> Probe = MakeShared<FTransportProbe>();
			const TSharedPtr<FHTTP, ESPMode::ThreadSafe> Transport = FHTTP::CreateHTTPObject(MakeProbeDelegate(Probe));
			Transport->SetKey(ServerKey);
			Transport->Request(ClosedURL, MakeChatBody(TEXT("refused"), false), {}, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
			TestTrue("a refused request reaches its owner", TickUntil([Probe]() { return Probe->Completions > 0; }));
		}
		const double Deadline = FPlatformTime::Seconds() + WatchdogSeconds;
		int32 Completed = 0;
		for (int32 Round = 0; Round < Rounds; ++Round)
		{
			if (FPlatformTime::Seconds() > Deadline)
			{
				AddError(FString::Printf(TEXT("watchdog: only %d of %d rounds within %g seconds"), Round, Rounds, WatchdogSeconds));
				break;
			}
			if (!RunRound(Round))
			{
				break;
			}
			++Completed;
			if ((Round + 1) % RoundsPerModuleRestart == 0)
			{
				FModuleManager::Get().UnloadModule(TEXT("HTTP"));
				SetShortHttpLimits();
			}
		}
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		TestEqual("rounds", Completed, Rounds);
		ResetCloud();
		StopServer();
	});
}

#endif
