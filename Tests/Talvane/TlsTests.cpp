#include "HttpManager.h"
#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "StandInTestSupport.h"
#include "TlsTestSupport.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;
using TalvaneTlsTest::FCertificateFolder;
using TalvaneTlsTest::FTlsFront;

namespace
{
	const TCHAR* const RefusedLine = TEXT("request failed, libcurl error: 60 (SSL peer certificate or SSH remote key was not OK)");

	FString ToFString(const std::string& InText)
	{
		return FString(UTF8_TO_TCHAR(InText.c_str()));
	}

	/** The engine gathers its trusted certificates when its HTTP module starts, so a change needs a restart. */
	void RestartHttpModule()
	{
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		FModuleManager::Get().UnloadModule(TEXT("HTTP"));
		FHttpModule::Get();
	}

	void SetTrustedCertificate(const TCHAR* InKey, const std::string& InPath)
	{
		GConfig->SetString(TEXT("SSL"), InKey, *ToFString(InPath), GEngineIni);
		RestartHttpModule();
	}
}

// Requests to the cloud service over TLS, against the reference server behind a TLS front on
// loopback that presents a certificate made for this test. Only the stand-in runs these: they make
// certificates and change the engine's trusted certificates, which an editor session should keep.
BEGIN_DEFINE_SPEC(FTalvaneTlsSpec, "Talvane.StandIn.Tls", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	std::unique_ptr<FCertificateFolder> Certificates;
	std::unique_ptr<TalvaneReference::FReferenceServer> Server;
	std::unique_ptr<FTlsFront> Front;
	std::unique_ptr<FRecordingManage> Manager;
	std::unique_ptr<FHttpLogCapture> HttpLog;
	std::unique_ptr<FTalvaneLogCapture> PluginLog;

	/** Puts the TLS front, with the certificate InName, before the server; the cloud URL points at it. */
	void StartFront(const std::string& InName);
	/** One chat question over TLS; true when it was reported. */
	bool AskOnce(const FString& InQuestion, bool bInStream);
	void TestRefusedOnce();
END_DEFINE_SPEC(FTalvaneTlsSpec)

void FTalvaneTlsSpec::StartFront(const std::string& InName)
{
	Front = std::make_unique<FTlsFront>(Certificates->File(InName + ".pem"), Certificates->File(InName + ".key"), Server->GetPort());
	const int Port = Front->Start();
	TestTrue(TEXT("TLS front listening"), Port > 0);
	ConfigureCloud(FString::Printf(TEXT("https://127.0.0.1:%d/"), Port));
}

bool FTalvaneTlsSpec::AskOnce(const FString& InQuestion, const bool bInStream)
{
	FNimbrelChatRequest Record = MakeChatRecord(bInStream);
	const int32 Before = Manager->Reports.Finished();
	Manager->NimbrelChatRequest(InQuestion, Record, {});
	return TestTrue(TEXT("reported"), TickUntil([this, Before]() { return Manager->Reports.Finished() > Before; }));
}

void FTalvaneTlsSpec::TestRefusedOnce()
{
	AddExpectedError(TEXT("Request error response is empty."), EAutomationExpectedErrorFlags::Contains, 1);
	if (!AskOnce(TEXT("Over TLS?"), true))
	{
		return;
	}
	// Give a second report, if there were to be one, the time to come.
	TickUntil([]() { return false; }, 0.5);
	TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
	TestEqual(TEXT("no success"), Manager->Reports.Successes.Num(), 0);
	TestEqual(TEXT("no progress"), Manager->Reports.Progress.Num(), 0);
	TestEqual(TEXT("the engine's failure line"), HttpLog->CountContaining(RefusedLine), 1);
	TestEqual(TEXT("one connection"), Front->GetConnections(), 1);
	TestEqual(TEXT("nothing reached the server, the key included"), Front->GetBytesRelayed(), 0L);
	// The plugin's lines: the request sent (URL and body), the empty response, the failure's code 0.
	const TArray<FTalvaneLogCapture::FLine>& Lines = PluginLog->Lines;
	const bool bRightLines = Lines.Num() == 4 && Lines[0].Text.StartsWith(TEXT("URL=https://127.0.0.1:"), ESearchCase::CaseSensitive)
		&& Lines[1].Text.StartsWith(TEXT("URL={"), ESearchCase::CaseSensitive)
		&& Lines[2].Verbosity == ELogVerbosity::Error && Lines[2].Text.Equals(TEXT("Request error response is empty."), ESearchCase::CaseSensitive)
		&& Lines[3].Verbosity == ELogVerbosity::Log && Lines[3].Text.Equals(TEXT("[code=0]未知错误[]"), ESearchCase::CaseSensitive);
	TestTrue(TEXT("the plugin's log lines, and nothing else"), bRightLines);
}

void FTalvaneTlsSpec::Define()
{
	BeforeEach([this]()
	{
		Certificates = std::make_unique<FCertificateFolder>();
		TestTrue(TEXT("certificate for 127.0.0.1"), Certificates->MakeSelfSigned("server", "IP:127.0.0.1"));
		TestTrue(TEXT("certificate for another host"), Certificates->MakeSelfSigned("other", "DNS:talvane.invalid"));
		Server = std::make_unique<TalvaneReference::FReferenceServer>();
		TestTrue(TEXT("server started"), Server->Start() > 0);
		HttpLog = std::make_unique<FHttpLogCapture>();
		PluginLog = std::make_unique<FTalvaneLogCapture>();
		Manager = std::make_unique<FRecordingManage>();
		Manager->SetAPIKey(ServerKey);
	});
	AfterEach([this]()
	{
		Manager.reset();
		HttpLog.reset();
		PluginLog.reset();
		GConfig->RemoveKey(TEXT("SSL"), TEXT("DebuggingCertificatePath"), GEngineIni);
		GConfig->RemoveKey(TEXT("SSL"), TEXT("OverrideCertificateBundlePath"), GEngineIni);
		RestartHttpModule();
		Front.reset();
		Server.reset();
		Certificates.reset();
		ResetCloud();
	});

	Describe(TEXT("with the engine's default settings"), [this]()
	{
		It(TEXT("refuses a self-signed certificate and reports one failure"), [this]()
		{
			StartFront("server");
			TestRefusedOnce();
		});

		It(TEXT("sets no engine switch that turns verification off"), [this]()
		{
			StartFront("server");
			TestRefusedOnce();
			bool bVerifyPeer = true;
			TestFalse(TEXT("n.VerifyPeer is not set"),
				GConfig->GetBool(TEXT("/Script/Engine.NetworkSettings"), TEXT("n.VerifyPeer"), bVerifyPeer, GEngineIni));
		});
	});

	Describe(TEXT("with the certificate trusted through a CA file"), [this]()
	{
		It(TEXT("gives the full answer, whole and streamed"), [this]()
		{
			SetTrustedCertificate(TEXT("DebuggingCertificatePath"), Certificates->File("server.pem"));
			StartFront("server");
			Manager->SetStreamCombinedReply(false);
			if (AskOnce(TEXT("Whole over TLS?"), false) && TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1))
			{
				TestEqual(TEXT("whole answer"), Manager->Reports.Successes[0].Data, TArray<FString>{ExpectedAnswer(TEXT("Whole over TLS?"), 1, 1)});
			}
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid StreamedID = Manager->NimbrelChatRequest(TEXT("Streamed over TLS?"), Record, {});
			TestTrue(TEXT("streamed reported"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			TestTrue(TEXT("streamed answer"), Manager->Reports.JoinedProgress(StreamedID).Equals(ExpectedAnswer(TEXT("Streamed over TLS?"), 1, 1),
				ESearchCase::CaseSensitive));
			TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
			TestEqual(TEXT("no refusal line"), HttpLog->CountContaining(TEXT("request failed")), 0);
		});

		It(TEXT("gives the answer with the certificate as the whole bundle"), [this]()
		{
			SetTrustedCertificate(TEXT("OverrideCertificateBundlePath"), Certificates->File("server.pem"));
			StartFront("server");
			if (AskOnce(TEXT("Bundle?"), false) && TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1))
			{
				TestEqual(TEXT("whole answer"), Manager->Reports.Successes[0].Data, TArray<FString>{ExpectedAnswer(TEXT("Bundle?"), 1, 1)});
			}
		});

		It(TEXT("still refuses a server whose certificate is not the trusted one"), [this]()
		{
			SetTrustedCertificate(TEXT("DebuggingCertificatePath"), Certificates->File("other.pem"));
			StartFront("server");
			TestRefusedOnce();
		});

		It(TEXT("still refuses a trusted certificate made for another host"), [this]()
		{
			SetTrustedCertificate(TEXT("DebuggingCertificatePath"), Certificates->File("other.pem"));
			StartFront("other");
			TestRefusedOnce();
		});
	});
}

#endif
