#include "Misc/AutomationTest.h"
#include "Modules/ModuleManager.h"
#include "TalvaneHttpTestSupport.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneHttpTest;

BEGIN_DEFINE_SPEC(FTalvaneModuleSpec, "Talvane.Module", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	IModuleInterface* Module = nullptr;
	/** The [HTTP] flush limits as the session had them; each test starts from none and ends with them back. */
	TalvaneTestServer::FIniSnapshot HttpLimits;

	static void RemoveHttpLimits()
	{
		for (const FString& Key : TalvaneTestServer::GetHttpFlushLimitKeys())
		{
			GConfig->RemoveKey(TEXT("HTTP"), *Key, GEngineIni);
		}
	}

	static double ReadLimit(const TCHAR* Key)
	{
		double Value = -12345.0;
		GConfig->GetDouble(TEXT("HTTP"), Key, Value, GEngineIni);
		return Value;
	}

	/**
	 * Whether the HTTP manager re-read its configuration since this was armed. Arming writes Background
	 * limits (no soft limit, a tiny hard one) without telling the manager; a flush with that reason then
	 * abandons a stalled request at once if the manager took them, and cancels it at the default soft
	 * limit (so it completes inside the flush) if it did not.
	 */
	static void ArmConfigProbe()
	{
		GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitBackground"), -1.0, GEngineIni);
		GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitBackground"), 0.05, GEngineIni);
	}

	bool DidManagerRereadConfig()
	{
		const TSharedRef<IHttpRequest, ESPMode::ThreadSafe> Request = FHttpModule::Get().CreateRequest();
		bool bCompleted = false;
		Request->SetURL(GetServerBaseURL() + TEXT("chat/completions"));
		Request->SetVerb(TEXT("POST"));
		Request->SetHeader(TEXT("Content-Type"), TEXT("application/json"));
		Request->SetHeader(TEXT("Authorization"), FString(TEXT("Bearer ")) + ServerKey);
		Request->SetHeader(TEXT("X-Talvane-Scenario"), TEXT("stall"));
		Request->SetContentAsString(TEXT("{\"messages\":[{\"role\":\"user\",\"content\":\"wait\"}],\"model\":\"nimbrel-chat\",\"stream\":false}"));
		Request->OnProcessRequestComplete().BindLambda([&bCompleted](FHttpRequestPtr, FHttpResponsePtr, bool) { bCompleted = true; });
		Request->ProcessRequest();
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Background);
		const bool bCompletedInFlush = bCompleted;
		Request->CancelRequest();
		TestTrue(TEXT("probe request ends"), TickUntil([&bCompleted]() { return bCompleted; }));
		return !bCompletedInFlush;
	}
END_DEFINE_SPEC(FTalvaneModuleSpec)

void FTalvaneModuleSpec::Define()
{
	BeforeEach([this]()
	{
		Module = FModuleManager::Get().LoadModule(TEXT("Talvane"));
		TestNotNull(TEXT("module loads"), Module);
		HttpLimits = TalvaneTestServer::FIniSnapshot(TEXT("HTTP"), TalvaneTestServer::GetHttpFlushLimitKeys());
		RemoveHttpLimits();
		FHttpModule::Get().GetHttpManager().UpdateConfigs();
	});

	AfterEach([this]()
	{
		HttpLimits.Restore();
		FHttpModule::Get().GetHttpManager().UpdateConfigs();
		StopServer();
	});

	Describe(TEXT("FlushLimits"), [this]()
	{
		It(TEXT("RaisesBothOnAFreshConfigurationAndRefreshesTheManager"), [this]()
		{
			ArmConfigProbe();
			Module->StartupModule();
			TestEqual(TEXT("soft"), ReadLimit(TEXT("FlushSoftTimeLimitDefault")), 6000.0);
			TestEqual(TEXT("hard"), ReadLimit(TEXT("FlushHardTimeLimitDefault")), 7000.0);
			TestTrue(TEXT("manager refreshed"), DidManagerRereadConfig());
		});

		It(TEXT("LeavesASoftLimitOfZeroButRaisesTheHardOne"), [this]()
		{
			GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitDefault"), 0.0, GEngineIni);
			ArmConfigProbe();
			Module->StartupModule();
			TestEqual(TEXT("soft untouched"), ReadLimit(TEXT("FlushSoftTimeLimitDefault")), 0.0);
			TestEqual(TEXT("hard"), ReadLimit(TEXT("FlushHardTimeLimitDefault")), 7000.0);
			TestTrue(TEXT("manager refreshed"), DidManagerRereadConfig());
		});

		It(TEXT("LeavesLimitsAlreadyAboveAlone"), [this]()
		{
			GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitDefault"), 6500.0, GEngineIni);
			GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitDefault"), 8000.0, GEngineIni);
			ArmConfigProbe();
			Module->StartupModule();
			TestEqual(TEXT("soft"), ReadLimit(TEXT("FlushSoftTimeLimitDefault")), 6500.0);
			TestEqual(TEXT("hard"), ReadLimit(TEXT("FlushHardTimeLimitDefault")), 8000.0);
			TestFalse(TEXT("manager not refreshed"), DidManagerRereadConfig());
		});

		It(TEXT("WritesASoftLimitOfExactly6000AgainAndRefreshes"), [this]()
		{
			GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushSoftTimeLimitDefault"), 6000.0, GEngineIni);
			GConfig->SetDouble(TEXT("HTTP"), TEXT("FlushHardTimeLimitDefault"), 8000.0, GEngineIni);
			ArmConfigProbe();
			Module->StartupModule();
			TestEqual(TEXT("soft"), ReadLimit(TEXT("FlushSoftTimeLimitDefault")), 6000.0);
			TestEqual(TEXT("hard"), ReadLimit(TEXT("FlushHardTimeLimitDefault")), 8000.0);
			TestTrue(TEXT("manager refreshed"), DidManagerRereadConfig());
		});
	});
}

#endif
