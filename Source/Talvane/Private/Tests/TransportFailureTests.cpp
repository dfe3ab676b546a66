#include "HTTP/TalvaneHttp.h"
#include "HTTP/TalvaneUrl.h"
#include "Misc/AutomationTest.h"
#include "TalvaneHttpTestSupport.h"
#include "TalvaneJson.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneHttpTest;
using TalvaneHttp::EHTTPVerbType;
using TalvaneHttp::FHTTP;

// Failed and refused requests, the log lines of the transport, and its lifetime. Requests go to the
// reference server on loopback. (A refused connection is tested in Tests/Talvane/RefusedConnectionTests.cpp.)
BEGIN_DEFINE_SPEC(FTalvaneTransportFailureSpec, "Talvane.TransportFailure", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	TSharedPtr<FHTTP, ESPMode::ThreadSafe> HTTP;
	TSharedPtr<FTransportProbe> Probe;
	TSharedPtr<FTalvaneLogCapture> Log;
	TMap<FString, FString> NoHeaders;

	bool WaitForCompletion() { return TalvaneHttpTest::WaitForCompletion(*this, Probe.ToSharedRef()); }
	FGuid SendChat(const FString& URL, const FString& Question, bool bStream, const TMap<FString, FString>& Headers);
	static TMap<FString, FString> Scenario(const FString& Name);
	void ExpectOwnerToHearOfFailureWithoutResponse(const FGuid& RequestID);

	void DefineFailures();
	void DefineRefusals();
	void DefineWithoutKey();
	void DefineLogging();
	void DefineLifetime();
	void DefinePathSegment();
END_DEFINE_SPEC(FTalvaneTransportFailureSpec)

FGuid FTalvaneTransportFailureSpec::SendChat(const FString& URL, const FString& Question, const bool bStream, const TMap<FString, FString>& Headers)
{
	return HTTP->Request(URL, MakeChatBody(Question, bStream), Headers, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
}

TMap<FString, FString> FTalvaneTransportFailureSpec::Scenario(const FString& Name)
{
	return {{TEXT("X-Talvane-Scenario"), Name}, {TEXT("X-Talvane-Stall-Ms"), TEXT("30000")}};
}

void FTalvaneTransportFailureSpec::ExpectOwnerToHearOfFailureWithoutResponse(const FGuid& RequestID)
{
	TestTrue("sent", RequestID.IsValid());
	if (WaitForCompletion())
	{
		TestEqual("completions", Probe->Completions, 1);
		TestFalse("connected", Probe->bLastConnected);
		TestValid("request", Probe->LastRequest);
		TestInvalid("response", Probe->LastResponse);
		TestFalse("still registered", HTTP->IsValidRequest(RequestID));
		TestEqual("registry", HTTP->HttpRequests.Num(), 0);
	}
}

void FTalvaneTransportFailureSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		Probe = MakeShared<FTransportProbe>();
		HTTP = FHTTP::CreateHTTPObject(MakeProbeDelegate(Probe.ToSharedRef()));
		Probe->Transport = HTTP;
		HTTP->SetKey(ServerKey);
		Log = MakeShared<FTalvaneLogCapture>();
	});
	AfterEach([this]()
	{
		HTTP.Reset();
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		TalvaneLog.SetVerbosity(ELogVerbosity::Log);
		Log.Reset();
		Probe.Reset();
		ResetCloud();
		StopServer();
	});
	DefineFailures();
	DefineRefusals();
	DefineWithoutKey();
	DefineLogging();
	DefineLifetime();
	DefinePathSegment();
}

void FTalvaneTransportFailureSpec::DefineFailures()
{
	Describe("A request that fails", [this]()
	{
		It("on a server that stalls before answering times out and reaches the owner", [this]()
		{
			AddExpectedError(TEXT("Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 1);
			ConfigureCloud(GetServerBaseURL(), 0.5);
			ExpectOwnerToHearOfFailureWithoutResponse(SendChat(GetServerBaseURL() + TEXT("chat/completions"), TEXT("slow"), false, Scenario(TEXT("stall"))));
		});

		It("after the first bytes reaches the owner with them and logs them as an error", [this]()
		{
			// The headers must come before the time-out, on a loaded machine and under a sanitizer too:
			// 2 s, while the stall (30 s) outlasts it fifteen times.
			AddExpectedError(TEXT("OnRequestComplete"), EAutomationExpectedErrorFlags::Contains, 1);
			ConfigureCloud(GetServerBaseURL(), 2.0);
			const FGuid RequestID = SendChat(GetServerBaseURL() + TEXT("chat/completions"), TEXT("half"), true, Scenario(TEXT("stall-after-headers")));
			if (WaitForCompletion())
			{
				TestFalse("connected", Probe->bLastConnected);
				TestValid("response", Probe->LastResponse);
				TestFalse("still registered", HTTP->IsValidRequest(RequestID));
			}
		});

		It("with an error status is a completed request, logged at Log", [this]()
		{
			SendChat(GetServerBaseURL() + TEXT("chat/completions"), TEXT("oops"), false, Scenario(TEXT("status-500")));
			if (WaitForCompletion() && TestValid("response", Probe->LastResponse))
			{
				TestTrue("connected", Probe->bLastConnected);
				TestEqual("status", Probe->LastResponse->GetResponseCode(), 500);
				const TArray<FTalvaneLogCapture::FLine> Lines = Log->Find(TEXT("[OnRequestComplete] "));
				TestTrue("one Log line with the body", Lines.Num() == 1 && Lines[0].Verbosity == ELogVerbosity::Log
					&& Lines[0].Text.Equals(TEXT("[OnRequestComplete] ") + Probe->LastBody, ESearchCase::CaseSensitive));
			}
		});
	});
}

void FTalvaneTransportFailureSpec::DefineRefusals()
{
	Describe("A request the engine refuses", [this]()
	{
		It("returns the zero GUID, registers nothing and does not tell the owner", [this]()
		{
			AddExpectedError(TEXT("Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 3);
			const FGuid NotAURL = SendChat(TEXT("not a url"), TEXT("q"), false, NoHeaders);
			const FGuid GetWithBody = HTTP->Request(GetEchoURL(), TEXT("x"), NoHeaders, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_GET);
			const FGuid RawFlushed = HTTP->Request(TEXT("ftp://127.0.0.1/"), TArray<uint8>({1}), NoHeaders, true, EHTTPVerbType::HTTP_POST);
			TestFalse("bad URL", NotAURL.IsValid());
			TestFalse("GET with a body", GetWithBody.IsValid());
			TestFalse("raw bytes to a bad URL", RawFlushed.IsValid());
			TestEqual("registry", HTTP->HttpRequests.Num(), 0);
			TestEqual("owner told", Probe->Completions, 0);
		});
	});
}

void FTalvaneTransportFailureSpec::DefineWithoutKey()
{
	Describe("Without a key", [this]()
	{
		BeforeEach([this]() { HTTP->SetKey(FString()); });

		It("a chat request records the question and logs the send, then sends nothing", [this]()
		{
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			const FGuid RequestID = HTTP->Request(TEXT("hello"), Record, NoHeaders, EHTTPVerbType::HTTP_POST);
			TestFalse("zero GUID", RequestID.IsValid());
			TestTrue("question appended", Record.Messages.Num() == 1 && Record.Messages[0].Content == TEXT("hello")
				&& Record.Messages[0].Role == ENimbrelRole::NIMBREL_USER);
			FString Body;
			TalvaneJson::NimbrelChatRequestToString(Record, Body);
			const TArray<FTalvaneLogCapture::FLine> Sends = Log->Find(TEXT("URL="));
			TestTrue("URL line, then body line", Sends.Num() == 2 && Sends[0].Text == TEXT("URL=") + TalvaneJson::GetNimbrelURL(Record.Model)
				&& Sends[1].Text.Equals(TEXT("URL=") + Body, ESearchCase::CaseSensitive));
			TestEqual("registry", HTTP->HttpRequests.Num(), 0);
			FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
			TestEqual("owner told", Probe->Completions, 0);
		});

		It("local chat, fill-in-the-middle and JSON text requests send nothing either", [this]()
		{
			FNimbrelLocalChatRequest Local;
			Local.URL = GetServerHostPort();
			FNimbrelFIMRequest FIM;
			TestFalse("local chat", HTTP->Request(TEXT("q"), Local, NoHeaders, EHTTPVerbType::HTTP_POST).IsValid());
			TestFalse("fill-in-the-middle", HTTP->Request(FIM, NoHeaders, EHTTPVerbType::HTTP_POST).IsValid());
			TestEqual("send lines so far", Log->Find(TEXT("URL=")).Num(), 4);
			TestFalse("JSON text", HTTP->Request(GetEchoURL(), TEXT("{}"), NoHeaders, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST).IsValid());
			TestEqual("JSON text logs nothing", Log->Lines.Num(), 4);
			TestEqual("registry", HTTP->HttpRequests.Num(), 0);
		});
	});

	// Checked before the key, so it shows with one set as well.
	Describe("A chat request whose tool schema is no JSON object", [this]()
	{
		It("is refused before the record changes: an Error line, the zero GUID, nothing sent", [this]()
		{
			AddExpectedError(TEXT("Tool \"roll\": its Parameters are not a JSON object; the request was not sent."),
				EAutomationExpectedErrorFlags::Contains, 1);
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.Tools.AddDefaulted_GetRef().Function.Name = TEXT("ok");
			FNimbrelTools& Bad = Record.Tools.AddDefaulted_GetRef();
			Bad.Function.Name = TEXT("roll");
			Bad.Function.Parameters = TEXT("[\"sides\"]");
			TestFalse("zero GUID", HTTP->Request(TEXT("hello"), Record, NoHeaders, EHTTPVerbType::HTTP_POST).IsValid());
			TestEqual("record untouched", Record.Messages.Num(), 0);
			TestEqual("no send line", Log->Find(TEXT("URL=")).Num(), 0);
			TestEqual("registry", HTTP->HttpRequests.Num(), 0);
		});
	});
}

void FTalvaneTransportFailureSpec::DefineLogging()
{
	Describe("Logging", [this]()
	{
		It("writes each progress report's new text once, never half a character", [this]()
		{
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			HTTP->Request(TEXT("héllo wörld ✓ 😀 ünïcödé"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("split")}}, EHTTPVerbType::HTTP_POST);
			if (!WaitForCompletion() || !TestValid("response", Probe->LastResponse))
			{
				return;
			}
			const FString Prefix = TEXT("[OnRequestProgress] ");
			FString Logged;
			const TArray<FTalvaneLogCapture::FLine> Lines = Log->Find(Prefix);
			for (const FTalvaneLogCapture::FLine& Line : Lines)
			{
				Logged += Line.Text.RightChop(Prefix.Len());
			}
			const FString Body = Probe->LastBody;
			TestTrue("several reports", Lines.Num() > 1);
			TestTrue("the body holds multi-byte text", Body.Contains(TEXT("😀"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("the reports put together start the body: ") + Logged, !Logged.IsEmpty() && Body.StartsWith(Logged, ESearchCase::CaseSensitive));
		});

		It("writes no progress below the Log verbosity, and no completion line for a local chat", [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			HTTP->Request(TEXT("quiet"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}}, EHTTPVerbType::HTTP_POST);
			TalvaneLog.SetVerbosity(ELogVerbosity::Display);
			WaitForCompletion();
			TestTrue("progress arrived", Probe->ProgressReports > 0);
			TalvaneLog.SetVerbosity(ELogVerbosity::Log);
			TestEqual("progress lines", Log->Find(TEXT("[OnRequestProgress]")).Num(), 0);
			TestEqual("completion lines", Log->Find(TEXT("[OnRequestComplete]")).Num(), 0);
		});
	});
}

void FTalvaneTransportFailureSpec::DefineLifetime()
{
	Describe("A transport destroyed with requests in flight", [this]()
	{
		It("hears nothing more of them and nothing breaks", [this]()
		{
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			HTTP->Request(TEXT("streamed"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}}, EHTTPVerbType::HTTP_POST);
			HTTP->Request(GetEchoURL(), TArray<uint8>({'x'}), NoHeaders, false, EHTTPVerbType::HTTP_POST);
			SendChat(GetServerBaseURL() + TEXT("chat/completions"), TEXT("stalled"), false,
				{{TEXT("X-Talvane-Scenario"), TEXT("stall")}, {TEXT("X-Talvane-Stall-Ms"), TEXT("300")}});
			HTTP.Reset();
			FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
			TestEqual("completions", Probe->Completions, 0);
			TestEqual("progress reports", Probe->ProgressReports, 0);
			TestEqual("headers", Probe->HeadersReceived, 0);
		});
	});
}

void FTalvaneTransportFailureSpec::DefinePathSegment()
{
	Describe("EncodePathSegment", [this]()
	{
		It("keeps letters, digits, '-' and '_' and encodes every other UTF-8 byte", [this]()
		{
			TestTrue("separators", FString(TalvaneHttp::EncodePathSegment(TEXT("a/b?c d"))).Equals(TEXT("a%2Fb%3Fc%20d"), ESearchCase::CaseSensitive));
			TestTrue("dot", FString(TalvaneHttp::EncodePathSegment(TEXT("."))).Equals(TEXT("%2E"), ESearchCase::CaseSensitive));
			TestTrue("dot segment", FString(TalvaneHttp::EncodePathSegment(TEXT(".."))).Equals(TEXT("%2E%2E"), ESearchCase::CaseSensitive));
			TestTrue("escapes", FString(TalvaneHttp::EncodePathSegment(TEXT("%#~"))).Equals(TEXT("%25%23%7E"), ESearchCase::CaseSensitive));
			TestTrue("kept", FString(TalvaneHttp::EncodePathSegment(TEXT("AZaz09-_"))).Equals(TEXT("AZaz09-_"), ESearchCase::CaseSensitive));
			TestTrue("multi-byte", FString(TalvaneHttp::EncodePathSegment(TEXT("é😀"))).Equals(TEXT("%C3%A9%F0%9F%98%80"), ESearchCase::CaseSensitive));
			TestTrue("empty", TalvaneHttp::EncodePathSegment(FString()).IsEmpty());
		});
	});
}

#endif
