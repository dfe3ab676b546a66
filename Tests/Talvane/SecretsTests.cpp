#include "Http.h"
#include "HTTP/TalvaneHttp.h"
#include "HttpManager.h"
#include "Interfaces/IHttpRequest.h"
#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"
#include "StandInTestSupport.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

namespace
{
	/** Recognisable in any log line; the server below accepts only this key. */
	const TCHAR* const CanaryKey = TEXT("sk-talvane-canary-7f3a91c2e4b8");
	const TCHAR* const WrongCanaryKey = TEXT("sk-talvane-canary-wrong-55d0");

	/** Every fault the reference server plays, with parameters that keep each one short. */
	const TCHAR* const ScenarioNames[] = {TEXT("none"), TEXT("status-400"), TEXT("status-401"), TEXT("status-402"), TEXT("status-422"),
		TEXT("status-429"), TEXT("status-500"), TEXT("status-503"), TEXT("status-418"), TEXT("status-500-slow"), TEXT("drop"),
		TEXT("trickle"), TEXT("stall"), TEXT("stall-after-headers"), TEXT("split"), TEXT("keepalive"), TEXT("crlf"), TEXT("data-in-text"),
		TEXT("huge"), TEXT("whole-json"), TEXT("error-event"), TEXT("refusal"), TEXT("no-done"), TEXT("many-events"), TEXT("cut"),
		TEXT("empty-stream"), TEXT("ping-lines"), TEXT("tool-fragments"), TEXT("tools"), TEXT("tools-unlisted"),
		TEXT("tools-malformed"), TEXT("tools-endless")};

	TMap<FString, FString> ShortScenario(const TCHAR* InName)
	{
		return TMap<FString, FString>{{TEXT("X-Talvane-Scenario"), InName}, {TEXT("X-Talvane-Stall-Ms"), TEXT("300")},
			{TEXT("X-Talvane-Size"), TEXT("65536")}, {TEXT("X-Talvane-Events"), TEXT("300")}, {TEXT("X-Talvane-Delay-Ms"), TEXT("5")}};
	}

	/** Every line of every category, from any thread. */
	class FAllLogCapture : public FOutputDevice
	{
	public:
		FAllLogCapture() { GLog->AddOutputDevice(this); }
		virtual ~FAllLogCapture() override { GLog->RemoveOutputDevice(this); }

		virtual bool CanBeUsedOnAnyThread() const override { return true; }
		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

		virtual void Serialize(const TCHAR* V, const ELogVerbosity::Type, const FName& Category) override
		{
			FScopeLock ScopeLock(&Lock);
			Lines.Add(Category.ToString() + TEXT(": ") + V);
		}

		TArray<FString> Containing(const FString& InText) const
		{
			FScopeLock ScopeLock(&Lock);
			TArray<FString> Found;
			for (const FString& Line : Lines)
			{
				if (Line.Contains(InText, ESearchCase::CaseSensitive))
				{
					Found.Add(Line);
				}
			}
			return Found;
		}

		int32 Num() const
		{
			FScopeLock ScopeLock(&Lock);
			return Lines.Num();
		}

	private:
		mutable FCriticalSection Lock;
		TArray<FString> Lines;
	};

	void SetAllVerbosities(const ELogVerbosity::Type InVerbosity)
	{
		LogHttp.SetVerbosity(InVerbosity);
		TalvaneLog.SetVerbosity(InVerbosity);
		LogCore.SetVerbosity(InVerbosity);
		LogTemp.SetVerbosity(InVerbosity);
	}
}

// The API key never reaches the log, whatever the verbosity and whatever the server does. A server of
// its own demands a recognisable key; every log category the process has is turned up to VeryVerbose,
// where the engine's HTTP module writes the most (the headers it adds, the header block libcurl sends).
BEGIN_DEFINE_SPEC(FTalvaneSecretsSpec, "Talvane.StandIn.Secrets", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	std::unique_ptr<TalvaneReference::FReferenceServer> Server;
	std::unique_ptr<FAllLogCapture> Log;
	int32 Sent = 0;

	std::unique_ptr<FRecordingManage> MakeKeyedManager(const TCHAR* InKey, bool bInCombined) const;
	void SendEveryKind(FRecordingManage& InManager, const TMap<FString, FString>& InHeaders, bool bInAlsoWhole);
	void ExpectFailureLines();
	void TestNoKeyLogged(const TCHAR* InKey);
END_DEFINE_SPEC(FTalvaneSecretsSpec)

std::unique_ptr<FRecordingManage> FTalvaneSecretsSpec::MakeKeyedManager(const TCHAR* InKey, const bool bInCombined) const
{
	std::unique_ptr<FRecordingManage> Manager = std::make_unique<FRecordingManage>();
	Manager->SetStreamCombinedReply(bInCombined);
	Manager->SetAPIKey(InKey);
	return Manager;
}

void FTalvaneSecretsSpec::SendEveryKind(FRecordingManage& InManager, const TMap<FString, FString>& InHeaders, const bool bInAlsoWhole)
{
	for (const bool bStream : {true, false})
	{
		if (!bStream && !bInAlsoWhole)
		{
			continue;
		}
		FNimbrelChatRequest Chat = MakeChatRecord(bStream);
		InManager.NimbrelChatRequest(TEXT("secret?"), Chat, InHeaders);
		FNimbrelFIMRequest Fim;
		Fim.Model = ENimbrelModel::NIMBREL_CHAT;
		Fim.bStream = bStream;
		Fim.Prompt = TEXT("key is");
		Fim.Suffix = TEXT("hidden");
		InManager.NimbrelFIMRequest(Fim, InHeaders);
		FNimbrelLocalChatRequest Local;
		Local.URL = FString(UTF8_TO_TCHAR(Server->GetHostPort().c_str()));
		Local.ChatID = TEXT("room");
		Local.bStream = bStream;
		InManager.NimbrelLocalChatRequest(TEXT("local secret?"), Local, InHeaders);
		Sent += 3;
	}
}

void FTalvaneSecretsSpec::ExpectFailureLines()
{
	// The failure scenarios log their failed completions as errors; they are not what this checks.
	AddExpectedError(TEXT("OnRequestComplete|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
}

void FTalvaneSecretsSpec::TestNoKeyLogged(const TCHAR* InKey)
{
	const TArray<FString> Leaks = Log->Containing(InKey);
	TestEqual(TEXT("log lines holding the key"), Leaks.Num(), 0);
	for (int32 Index = 0; Index < Leaks.Num() && Index < 3; ++Index)
	{
		AddError(TEXT("the key is in this log line: ") + Leaks[Index]);
	}
}

void FTalvaneSecretsSpec::Define()
{
	BeforeEach([this]()
	{
		TalvaneReference::FServerOptions Options;
		Options.ApiKey = FTCHARToUTF8(CanaryKey).Get();
		Server = std::make_unique<TalvaneReference::FReferenceServer>(Options);
		TestTrue(TEXT("server started"), Server->Start() > 0);
		ConfigureCloud(FString(UTF8_TO_TCHAR(Server->GetBaseURL().c_str())));
		Sent = 0;
		Log = std::make_unique<FAllLogCapture>();
		SetAllVerbosities(ELogVerbosity::VeryVerbose);
	});
	AfterEach([this]()
	{
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		Log.reset();
		SetAllVerbosities(ELogVerbosity::Log);
		Server.reset();
		ResetCloud();
	});

	It(TEXT("keeps the key out of every log line in every scenario, whole and streamed, in both modes"), [this]()
	{
		ExpectFailureLines();
		std::unique_ptr<FRecordingManage> Combined = MakeKeyedManager(CanaryKey, true);
		std::unique_ptr<FRecordingManage> Delta = MakeKeyedManager(CanaryKey, false);
		for (const TCHAR* Name : ScenarioNames)
		{
			SendEveryKind(*Combined, ShortScenario(Name), true);
			SendEveryKind(*Delta, ShortScenario(Name), false);
		}
		const bool bDone = TickUntil([this, &Combined, &Delta]() { return Combined->Reports.Finished() + Delta->Reports.Finished() == Sent; }, 120.0);
		TestTrue(TEXT("every request reported"), bDone);
		TestTrue(TEXT("some answers succeeded"), Combined->Reports.Successes.Num() > 0 && Delta->Reports.Successes.Num() > 0);
		TestNoKeyLogged(CanaryKey);
		// The key went out (the server answered), and the engine did log its headers at Verbose.
		TestTrue(TEXT("the engine named the headers it added"), Log->Containing(TEXT("Adding header 'Access-Protocol: ")).Num() > 0);
		TestEqual(TEXT("LogHttp lowered to Verbose"), LogHttp.GetVerbosity(), ELogVerbosity::Verbose);
		TestEqual(TEXT("lowered once, with one warning"), Log->Containing(TEXT("lowered to Verbose")).Num(), 1);
	});

	It(TEXT("keeps a rejected key out of the log as well"), [this]()
	{
		std::unique_ptr<FRecordingManage> Manager = MakeKeyedManager(WrongCanaryKey, true);
		SendEveryKind(*Manager, {}, true);
		TestTrue(TEXT("every request reported"), TickUntil([this, &Manager]() { return Manager->Reports.Finished() == Sent; }, 60.0));
		TestEqual(TEXT("every request refused"), Manager->Reports.Failures.Num(), Sent);
		TestNoKeyLogged(WrongCanaryKey);
	});

	It(TEXT("lowers LogHttp again each time it is raised between requests"), [this]()
	{
		std::unique_ptr<FRecordingManage> Manager = MakeKeyedManager(CanaryKey, true);
		for (int32 Round = 1; Round <= 2; ++Round)
		{
			LogHttp.SetVerbosity(ELogVerbosity::VeryVerbose);
			FNimbrelChatRequest Chat = MakeChatRecord(true);
			Manager->NimbrelChatRequest(TEXT("again?"), Chat, {});
			TestTrue(TEXT("reported"), TickUntil([&Manager, Round]() { return Manager->Reports.Finished() == Round; }));
		}
		TestEqual(TEXT("two warnings"), Log->Containing(TEXT("lowered to Verbose")).Num(), 2);
		TestNoKeyLogged(CanaryKey);
	});

	It(TEXT("keeps the key out of a request sent again after a failure"), [this]()
	{
		const TalvaneTestServer::FIniSnapshot RetrySettings(TEXT("Talvane"), {TEXT("MaxRetries"), TEXT("RetryBaseSeconds"), TEXT("RetryMaxSeconds")});
		GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), TEXT("2"), GEngineIni);
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryBaseSeconds"), TEXT("0.01"), GEngineIni);
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("0.05"), GEngineIni);
		std::unique_ptr<FRecordingManage> Manager = MakeKeyedManager(CanaryKey, true);
		FNimbrelChatRequest Chat = MakeChatRecord(true);
		Manager->NimbrelChatRequest(TEXT("twice?"), Chat, {{TEXT("X-Talvane-Fail-Times"), TEXT("1")}, {TEXT("X-Talvane-Fail-Status"), TEXT("503")},
			{TEXT("X-Talvane-Fail-Key"), FGuid::NewGuid().ToString()}});
		// Raised again while the retry waits, so the second send meets a VeryVerbose LogHttp too. (Raising
		// it while a request is being sent would beat the lowering: the HTTP thread writes the header
		// block a moment after the request starts.)
		bool bRaisedAgain = false;
		TestTrue(TEXT("reported"), TickUntil([this, &Manager, &bRaisedAgain]()
		{
			if (!bRaisedAgain && Log->Containing(TEXT("Retrying request")).Num() > 0)
			{
				LogHttp.SetVerbosity(ELogVerbosity::VeryVerbose);
				bRaisedAgain = true;
			}
			return Manager->Reports.Finished() == 1;
		}));
		TestTrue(TEXT("retried"), bRaisedAgain);
		RetrySettings.Restore();
		TestEqual(TEXT("answered the second time"), Manager->Reports.Successes.Num(), 1);
		TestEqual(TEXT("lowered before each send"), Log->Containing(TEXT("lowered to Verbose")).Num(), 2);
		TestNoKeyLogged(CanaryKey);
	});

	It(TEXT("leaves a LogHttp below VeryVerbose as it is, without a warning"), [this]()
	{
		LogHttp.SetVerbosity(ELogVerbosity::Verbose);
		std::unique_ptr<FRecordingManage> Manager = MakeKeyedManager(CanaryKey, true);
		FNimbrelChatRequest Chat = MakeChatRecord(false);
		Manager->NimbrelChatRequest(TEXT("quiet?"), Chat, {});
		TestTrue(TEXT("reported"), TickUntil([&Manager]() { return Manager->Reports.Finished() == 1; }));
		TestEqual(TEXT("still Verbose"), LogHttp.GetVerbosity(), ELogVerbosity::Verbose);
		TestEqual(TEXT("no warning"), Log->Containing(TEXT("lowered to Verbose")).Num(), 0);
	});

	// What the plugin guards against: an engine request sent at VeryVerbose has its header block,
	// key and all, written to LogHttp. This also shows that the capture above would see a leak.
	It(TEXT("shows that the engine itself logs the key at VeryVerbose"), [this]()
	{
		const TSharedRef<IHttpRequest, ESPMode::ThreadSafe> Request = FHttpModule::Get().CreateRequest();
		Request->SetURL(FString(UTF8_TO_TCHAR(Server->GetBaseURL().c_str())) + TEXT("echo"));
		Request->SetVerb(TEXT("GET"));
		Request->SetHeader(TEXT("Authorization"), FString(TEXT("Bearer ")) + CanaryKey);
		bool bDone = false;
		Request->OnProcessRequestComplete().BindLambda([&bDone](FHttpRequestPtr, FHttpResponsePtr, bool) { bDone = true; });
		Request->ProcessRequest();
		TestTrue(TEXT("done"), TickUntil([&bDone]() { return bDone; }));
		const TArray<FString> Leaks = Log->Containing(CanaryKey);
		TestEqual(TEXT("one line holds the key"), Leaks.Num(), 1);
		TestTrue(TEXT("the sent header block"), Leaks.Num() == 1 && Leaks[0].Contains(TEXT("Sent header (")));
		TestEqual(TEXT("the engine's own header lines skip it"), Log->Containing(TEXT("Adding header 'Authorization")).Num(), 0);
	});
}

#endif
