#include "HTTP/TalvaneHttp.h"
#include "HTTP/TalvaneUrl.h"
#include "Misc/AutomationTest.h"
#include "TalvaneHttpTestSupport.h"
#include "TalvaneJson.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneHttpTest;
using TalvaneHttp::EHTTPVerbType;
using TalvaneHttp::FHTTP;

// Every request goes to the reference server on loopback; the test ticks the HTTP manager itself.
BEGIN_DEFINE_SPEC(FTalvaneTransportSpec, "Talvane.Transport", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	TSharedPtr<FHTTP, ESPMode::ThreadSafe> HTTP;
	TSharedPtr<FTransportProbe> Probe;
	TSharedPtr<FTalvaneLogCapture> Log;
	TMap<FString, FString> NoHeaders;

	bool WaitForCompletion() { return TalvaneHttpTest::WaitForCompletion(*this, Probe.ToSharedRef()); }
	TSharedPtr<FJsonObject> WaitForEcho() { return TalvaneHttpTest::WaitForEcho(*this, Probe.ToSharedRef()); }

	void DefineJsonPath();
	void DefineRecordOverloads();
	void DefineRawPath();
	void DefineRegistry();
END_DEFINE_SPEC(FTalvaneTransportSpec)

void FTalvaneTransportSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		Probe = MakeShared<FTransportProbe>();
		HTTP = FHTTP::CreateHTTPObject(MakeProbeDelegate(Probe.ToSharedRef()));
		HTTP->SetKey(ServerKey);
		Log = MakeShared<FTalvaneLogCapture>();
	});
	AfterEach([this]()
	{
		HTTP.Reset();
		// Whatever a test left in flight ends here, so it cannot reach the next test.
		FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		TalvaneLog.SetVerbosity(ELogVerbosity::Log);
		Log.Reset();
		Probe.Reset();
		ResetCloud();
		StopServer();
	});
	DefineJsonPath();
	DefineRecordOverloads();
	DefineRawPath();
	DefineRegistry();
}

void FTalvaneTransportSpec::DefineJsonPath()
{
	Describe("The JSON path", [this]()
	{
		It("sends the fixed headers, then the caller's pairs with a name and a value", [this]()
		{
			const TMap<FString, FString> Headers = {{TEXT("X-Caller"), TEXT("one")}, {TEXT("X-Empty-Value"), TEXT("")}, {TEXT(""), TEXT("no name")}};
			const FGuid RequestID = HTTP->Request(GetEchoURL(), TEXT("{\"k\":\"v\"}"), Headers, ENimbrelProtocol::NIMBREL_FIM, EHTTPVerbType::HTTP_POST);
			TestTrue("a request GUID", RequestID.IsValid());
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			if (!Echo.IsValid())
			{
				return;
			}
			TestEqual("method", Echo->GetStringField(TEXT("method")), FString(TEXT("POST")));
			TestEqual("body", Echo->GetStringField(TEXT("body")), FString(TEXT("{\"k\":\"v\"}")));
			TestEqual("Content-Type", EchoHeader(Echo, TEXT("Content-Type")), FString(TEXT("application/json")));
			TestEqual("Accept", EchoHeader(Echo, TEXT("Accept")), FString(TEXT("application/json")));
			TestEqual("Authorization", EchoHeader(Echo, TEXT("Authorization")), FString(TEXT("Bearer test-key")));
			TestEqual("Access-Protocol", EchoHeader(Echo, TEXT("Access-Protocol")), FString(TEXT("fim")));
			TestEqual("RequestID", EchoHeader(Echo, TEXT("RequestID")), RequestID.ToString(EGuidFormats::Digits));
			TestEqual("caller pair", EchoHeader(Echo, TEXT("X-Caller")), FString(TEXT("one")));
			TestEqual("pair without a value", EchoHeader(Echo, TEXT("X-Empty-Value")), FString(TEXT("<absent>")));
			const TArray<FString> Set = Probe->LastRequest.IsValid() ? Probe->LastRequest->GetAllHeaders() : TArray<FString>();
			TestFalse("pair without a value set", Set.Contains(TEXT("X-Empty-Value: ")));
			TestFalse("pair without a name set", Set.ContainsByPredicate([](const FString& Line) { return Line.StartsWith(TEXT(": ")); }));
			TestEqual("response headers reach the header callback", Probe->Headers.FindRef(TEXT("Content-Type")), FString(TEXT("application/json")));
		});

		It("lets a caller pair replace a fixed header of the same name, in any case", [this]()
		{
			const TMap<FString, FString> Headers = {{TEXT("content-type"), TEXT("text/plain; charset=utf-8")}, {TEXT("ACCEPT"), TEXT("text/event-stream")}};
			HTTP->Request(GetEchoURL(), TEXT("x"), Headers, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestEqual("Content-Type, sent once", EchoHeader(Echo, TEXT("Content-Type")), FString(TEXT("text/plain; charset=utf-8")));
			TestEqual("Accept, sent once", EchoHeader(Echo, TEXT("Accept")), FString(TEXT("text/event-stream")));
		});

		It("sends each verb by name and any other value as POST", [this]()
		{
			const TPair<EHTTPVerbType, const TCHAR*> Verbs[] = {{EHTTPVerbType::HTTP_PUT, TEXT("PUT")},
				{EHTTPVerbType::HTTP_DELETE, TEXT("DELETE")}, {static_cast<EHTTPVerbType>(9), TEXT("POST")}};
			for (const TPair<EHTTPVerbType, const TCHAR*>& Verb : Verbs)
			{
				Probe->Completions = 0;
				HTTP->Request(GetEchoURL(), TEXT("x"), NoHeaders, ENimbrelProtocol::NIMBREL_CHAT, Verb.Key);
				const TSharedPtr<FJsonObject> Echo = WaitForEcho();
				TestEqual("method", Echo.IsValid() ? Echo->GetStringField(TEXT("method")) : FString(), FString(Verb.Value));
			}
		});
	});
}

void FTalvaneTransportSpec::DefineRecordOverloads()
{
	Describe("The record overloads", [this]()
	{
		It("append the question, post the conversation and let the record's stream flag win", [this]()
		{
			// A base URL ending in a query turns every cloud path into the echo path's query.
			ConfigureCloud(GetServerBaseURL() + TEXT("echo?to="));
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			FNimbrelContextMessage& System = Record.Messages.AddDefaulted_GetRef();
			System.Content = TEXT("Be brief.");
			const TMap<FString, FString> Headers = {{TEXT("bStream"), TEXT("1")}, {TEXT("X-Caller"), TEXT("c")}};
			const FGuid RequestID = HTTP->Request(TEXT("hello"), Record, Headers, EHTTPVerbType::HTTP_POST);
			FString ExpectedBody;
			TalvaneJson::NimbrelChatRequestToString(Record, ExpectedBody);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			if (!Echo.IsValid())
			{
				return;
			}
			TestEqual("messages", Record.Messages.Num(), 2);
			TestEqual("question", Record.Messages.Last().Content, FString(TEXT("hello")));
			TestEqual("path", Echo->GetStringField(TEXT("path")), FString(TEXT("/echo?to=/chat/completions")));
			TestEqual("body", Echo->GetStringField(TEXT("body")), ExpectedBody);
			TestEqual("bStream", EchoHeader(Echo, TEXT("bStream")), FString(TEXT("0")));
			TestEqual("Access-Protocol", EchoHeader(Echo, TEXT("Access-Protocol")), FString(TEXT("chat")));
			TestEqual("RequestID", EchoHeader(Echo, TEXT("RequestID")), RequestID.ToString(EGuidFormats::Digits));
			TestEqual("caller pair", EchoHeader(Echo, TEXT("X-Caller")), FString(TEXT("c")));
			const TArray<FTalvaneLogCapture::FLine> Sends = Log->Find(TEXT("URL="));
			TestEqual("two send lines", Sends.Num(), 2);
			TestTrue("URL, then body", Sends.Num() == 2 && Sends[0].Text == TEXT("URL=") + GetServerBaseURL() + TEXT("echo?to=/chat/completions")
				&& Sends[1].Text.Equals(TEXT("URL=") + ExpectedBody, ESearchCase::CaseSensitive) && Sends[1].Verbosity == ELogVerbosity::Log);
		});

		It("send a fill-in-the-middle request to the completions path whatever the model", [this]()
		{
			ConfigureCloud(GetServerBaseURL() + TEXT("echo?to="));
			FNimbrelFIMRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_INVALID;
			Record.bStream = true;
			Record.Prompt = TEXT("def f(");
			HTTP->Request(Record, {{TEXT("bstream"), TEXT("0")}}, EHTTPVerbType::HTTP_POST);
			FString ExpectedBody;
			TalvaneJson::NimbrelFIMRequestToString(Record, ExpectedBody);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestEqual("path", Echo.IsValid() ? Echo->GetStringField(TEXT("path")) : FString(), FString(TEXT("/echo?to=/beta/completions")));
			TestEqual("body", Echo.IsValid() ? Echo->GetStringField(TEXT("body")) : FString(), ExpectedBody);
			TestEqual("bStream", EchoHeader(Echo, TEXT("bStream")), FString(TEXT("1")));
			TestEqual("Access-Protocol", EchoHeader(Echo, TEXT("Access-Protocol")), FString(TEXT("fim")));
		});

		It("send a local chat over plain HTTP with the chat id as one encoded path segment", [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort() + TEXT("/echo?");
			Record.ChatID = TEXT("a/b?c d");
			HTTP->Request(TEXT("hi"), Record, NoHeaders, EHTTPVerbType::HTTP_POST);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestEqual("path", Echo.IsValid() ? Echo->GetStringField(TEXT("path")) : FString(),
				FString(TEXT("/echo?/api/v1/chats_openai/a%2Fb%3Fc%20d/chat/completions")));
			TestEqual("Access-Protocol", EchoHeader(Echo, TEXT("Access-Protocol")), FString(TEXT("local_chat")));
			TestEqual("bStream", EchoHeader(Echo, TEXT("bStream")), FString(TEXT("1")));
			TestEqual("Authorization", EchoHeader(Echo, TEXT("Authorization")), FString(TEXT("Bearer test-key")));
		});

		It("reach the local chat server with a chat id full of path characters", [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			Record.bStream = false;
			Record.ChatID = TEXT("../x/y?z#1 %");
			HTTP->Request(TEXT("hi"), Record, NoHeaders, EHTTPVerbType::HTTP_POST);
			if (WaitForCompletion() && TestValid("response", Probe->LastResponse))
			{
				TestEqual("status", Probe->LastResponse->GetResponseCode(), 200);
				const FString Answer = Probe->LastResponse->GetContentAsString();
				TestTrue(TEXT("the server saw the chat id: ") + Answer, Answer.Contains(TEXT("[chat: ../x/y?z#1 %]"), ESearchCase::CaseSensitive));
			}
		});
	});
}

void FTalvaneTransportSpec::DefineRawPath()
{
	Describe("The raw-bytes path", [this]()
	{
		It("sends every caller pair and a default content type, needing no key", [this]()
		{
			HTTP->SetKey(FString());
			const char Raw[] = "raw\0bytes";
			const TArray<uint8> Bytes(reinterpret_cast<const uint8*>(Raw), 9);
			const TMap<FString, FString> Headers = {{TEXT("X-Empty-Value"), TEXT("")}, {TEXT("X-Kept"), TEXT("k")}};
			const FGuid RequestID = HTTP->Request(GetEchoURL(), Bytes, Headers, false, EHTTPVerbType::HTTP_PUT);
			TestTrue("a request GUID", RequestID.IsValid());
			TestEqual("no callback before the manager ticks", Probe->Completions, 0);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			if (!Echo.IsValid())
			{
				return;
			}
			TestEqual("method", Echo->GetStringField(TEXT("method")), FString(TEXT("PUT")));
			TestEqual("body size", static_cast<int32>(Echo->GetNumberField(TEXT("body_size"))), 9);
			TestEqual("Content-Type", EchoHeader(Echo, TEXT("Content-Type")), FString(TEXT("application/octet-stream")));
			TestEqual("RequestID", EchoHeader(Echo, TEXT("RequestID")), RequestID.ToString(EGuidFormats::Digits));
			TestEqual("caller pair", EchoHeader(Echo, TEXT("X-Kept")), FString(TEXT("k")));
			// libcurl leaves out a header line without a value, as it does in the engine, so the pair is
			// checked on the request object, where the transport put it.
			const TArray<FString> Set = Probe->LastRequest.IsValid() ? Probe->LastRequest->GetAllHeaders() : TArray<FString>();
			TestTrue("pair without a value set", Set.Contains(TEXT("X-Empty-Value: ")));
			TestEqual("Authorization", EchoHeader(Echo, TEXT("Authorization")), FString(TEXT("<absent>")));
			TestEqual("Access-Protocol", EchoHeader(Echo, TEXT("Access-Protocol")), FString(TEXT("<absent>")));
		});

		It("keeps the caller's content type and sends no body for no bytes", [this]()
		{
			HTTP->Request(GetEchoURL(), TArray<uint8>(), {{TEXT("Content-Type"), TEXT("image/png")}}, false, EHTTPVerbType::HTTP_GET);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestEqual("method", Echo.IsValid() ? Echo->GetStringField(TEXT("method")) : FString(), FString(TEXT("GET")));
			TestEqual("body size", Echo.IsValid() ? static_cast<int32>(Echo->GetNumberField(TEXT("body_size"))) : -1, 0);
			TestEqual("Content-Type", EchoHeader(Echo, TEXT("Content-Type")), FString(TEXT("image/png")));
		});

		It("with a flush returns only after the request has completed", [this]()
		{
			const FGuid RequestID = HTTP->Request(GetEchoURL(), TArray<uint8>({'h', 'i'}), NoHeaders, true, EHTTPVerbType::HTTP_POST);
			TestTrue("a request GUID", RequestID.IsValid());
			TestEqual("completions on return", Probe->Completions, 1);
			TestTrue("connected", Probe->bLastConnected);
			TestFalse("no longer registered", HTTP->IsValidRequest(RequestID));
		});
	});
}

void FTalvaneTransportSpec::DefineRegistry()
{
	Describe("The registry", [this]()
	{
		It("knows a request in flight and forgets it before the owner hears of its completion", [this]()
		{
			const TSharedRef<bool> bValidInside = MakeShared<bool>(true);
			const TSharedRef<FGuid> Sent = MakeShared<FGuid>();
			const TSharedRef<FTransportProbe> Counted = Probe.ToSharedRef();
			// The delegate lives inside the transport, so it holds the transport only weakly.
			const TSharedRef<TWeakPtr<FHTTP, ESPMode::ThreadSafe>> WeakTransport = MakeShared<TWeakPtr<FHTTP, ESPMode::ThreadSafe>>();
			TalvaneHttp::FHTTPDelegate Delegate;
			Delegate.RequestCompleteDelegate.BindLambda([bValidInside, Sent, Counted, WeakTransport](FHttpRequestPtr, FHttpResponsePtr, bool)
			{
				const TSharedPtr<FHTTP, ESPMode::ThreadSafe> Transport = WeakTransport->Pin();
				*bValidInside = Transport.IsValid() && Transport->IsValidRequest(*Sent);
				++Counted->Completions;
			});
			HTTP = FHTTP::CreateHTTPObject(Delegate);
			*WeakTransport = HTTP;
			HTTP->SetKey(ServerKey);
			*Sent = HTTP->Request(GetEchoURL(), TEXT("x"), NoHeaders, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
			TestTrue("valid in flight", HTTP->IsValidRequest(*Sent));
			WaitForCompletion();
			TestFalse("valid inside the completion delegate", *bValidInside);
			TestFalse("valid afterwards", HTTP->IsValidRequest(*Sent));
			HTTP.Reset();
		});

		It("cancels a request in flight, which then reaches the owner as a failure", [this]()
		{
			AddExpectedError(TEXT("Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 1);
			const TMap<FString, FString> Headers = {{TEXT("X-Talvane-Scenario"), TEXT("stall")}, {TEXT("X-Talvane-Stall-Ms"), TEXT("30000")}};
			const FGuid RequestID = HTTP->Request(GetServerBaseURL() + TEXT("chat/completions"), MakeChatBody(TEXT("wait"), false), Headers,
				ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
			HTTP->CancelRequest(FGuid::NewGuid());
			HTTP->CancelRequest(RequestID);
			TestTrue("still registered until the completion arrives", HTTP->IsValidRequest(RequestID));
			WaitForCompletion();
			TestFalse("failed", Probe->bLastConnected);
			TestInvalid("no response", Probe->LastResponse);
			TestFalse("no longer registered", HTTP->IsValidRequest(RequestID));
		});
	});
}

#endif
