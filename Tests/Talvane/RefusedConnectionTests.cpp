#include "HTTP/TalvaneHttp.h"
#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"
#include "StandInTestSupport.h"
#include "TalvaneHttpTestSupport.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;
using TalvaneHttp::EHTTPVerbType;
using TalvaneHttp::FHTTP;
using TalvaneStandInTest::GetClosedPortURL;

// Requests to a loopback port where nothing listens. Only the stand-in runs these: an editor has no
// port it can be sure stays closed.
BEGIN_DEFINE_SPEC(FTalvaneRefusedConnectionSpec, "Talvane.StandIn.RefusedConnection", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TSharedPtr<FTransportProbe> Probe;
	TSharedPtr<FHTTP, ESPMode::ThreadSafe> HTTP;
	std::unique_ptr<FRecordingManage> Manager;
	std::unique_ptr<FTalvaneLogCapture> Log;
END_DEFINE_SPEC(FTalvaneRefusedConnectionSpec)

void FTalvaneRefusedConnectionSpec::Define()
{
	BeforeEach([this]()
	{
		Probe = MakeShared<FTransportProbe>();
		HTTP = FHTTP::CreateHTTPObject(MakeProbeDelegate(Probe.ToSharedRef()));
		HTTP->SetKey(ServerKey);
		Log = std::make_unique<FTalvaneLogCapture>();
	});
	AfterEach([this]()
	{
		HTTP.Reset();
		Manager.reset();
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		Log.reset();
		Probe.Reset();
		ResetCloud();
	});

	It("reaches the transport's owner with no response", [this]()
	{
		AddExpectedError(TEXT("Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 1);
		const FGuid RequestID = HTTP->Request(GetClosedPortURL(), MakeChatBody(TEXT("anyone?"), false), {}, ENimbrelProtocol::NIMBREL_CHAT,
			EHTTPVerbType::HTTP_POST);
		TestTrue("sent", RequestID.IsValid());
		if (WaitForCompletion(*this, Probe.ToSharedRef()))
		{
			TestEqual("completions", Probe->Completions, 1);
			TestFalse("connected", Probe->bLastConnected);
			TestValid("request", Probe->LastRequest);
			TestInvalid("response", Probe->LastResponse);
			TestFalse("still registered", HTTP->IsValidRequest(RequestID));
		}
	});

	It("is never heard of by a transport destroyed while it is in flight", [this]()
	{
		HTTP->Request(GetClosedPortURL(), MakeChatBody(TEXT("refused"), false), {}, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
		HTTP.Reset();
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		TestEqual("completions", Probe->Completions, 0);
	});

	It("reaches the manager's owner with code zero and an empty body", [this]()
	{
		AddExpectedError(TEXT("Request error response is empty."), EAutomationExpectedErrorFlags::Contains, 1);
		ConfigureCloud(GetClosedPortURL().Replace(TEXT("chat/completions"), TEXT("")));
		Manager = std::make_unique<FRecordingManage>();
		Manager->SetAPIKey(ServerKey);
		FNimbrelChatRequest Record = MakeChatRecord(true);
		Manager->NimbrelChatRequest(TEXT("q"), Record, Scenario(TEXT("none")));
		TestTrue(TEXT("reported"), TickUntil([this]() { return Manager->Reports.Finished() > 0; }));
		TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
		if (Manager->Reports.Failures.Num() == 1)
		{
			TestEqual(TEXT("empty body"), Manager->Reports.Failures[0].Data, TArray<FString>{FString()});
			TestTrue(TEXT("message"), Manager->Reports.Failures[0].Msg.Equals(TEXT("Error"), ESearchCase::CaseSensitive));
		}
		TestEqual(TEXT("logged once with code 0"), Log->Find(TEXT("[code=0]")).Num(), 1);
	});
}

#endif
