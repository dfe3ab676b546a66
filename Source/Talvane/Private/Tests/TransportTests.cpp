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
		Probe->Transport = HTTP;
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
			TestTrue("method", FString(Echo->GetStringField(TEXT("method"))).Equals(TEXT("POST"), ESearchCase::CaseSensitive));
			TestTrue("body", FString(Echo->GetStringField(TEXT("body"))).Equals(TEXT("{\"k\":\"v\"}"), ESearchCase::CaseSensitive));
			TestTrue("Content-Type", FString(EchoHeader(Echo, TEXT("Content-Type"))).Equals(TEXT("application/json"), ESearchCase::CaseSensitive));
			TestTrue("Accept", FString(EchoHeader(Echo, TEXT("Accept"))).Equals(TEXT("application/json"), ESearchCase::CaseSensitive));
			TestTrue("Authorization", FString(EchoHeader(Echo, TEXT("Authorization"))).Equals(TEXT("Bearer test-key"), ESearchCase::CaseSensitive));
			TestTrue("Access-Protocol", FString(EchoHeader(Echo, TEXT("Access-Protocol"))).Equals(TEXT("fim"), ESearchCase::CaseSensitive));
			TestTrue("RequestID", FString(EchoHeader(Echo, TEXT("RequestID"))).Equals(RequestID.ToString(EGuidFormats::Digits), ESearchCase::CaseSensitive));
			TestTrue("caller pair", FString(EchoHeader(Echo, TEXT("X-Caller"))).Equals(TEXT("one"), ESearchCase::CaseSensitive));
			TestTrue("pair without a value", FString(EchoHeader(Echo, TEXT("X-Empty-Value"))).Equals(TEXT("<absent>"), ESearchCase::CaseSensitive));
			const TArray<FString> Set = Probe->LastRequest.IsValid() ? Probe->LastRequest->GetAllHeaders() : TArray<FString>();
			TestFalse("pair without a value set", Set.Contains(TEXT("X-Empty-Value: ")));
			TestFalse("pair without a name set", Set.ContainsByPredicate([](const FString& Line) { return Line.StartsWith(TEXT(": ")); }));
			TestTrue("response headers reach the header callback", FString(Probe->Headers.FindRef(TEXT("Content-Type"))).Equals(TEXT("application/json"), ESearchCase::CaseSensitive));
		});

		It("lets a caller pair replace a fixed header of the same name, in any case", [this]()
		{
			const TMap<FString, FString> Headers = {{TEXT("content-type"), TEXT("text/plain; charset=utf-8")}, {TEXT("ACCEPT"), TEXT("text/event-stream")}};
			HTTP->Request(GetEchoURL(), TEXT("x"), Headers, ENimbrelProtocol::NIMBREL_CHAT, EHTTPVerbType::HTTP_POST);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestTrue("Content-Type, sent once", FString(EchoHeader(Echo, TEXT("Content-Type"))).Equals(TEXT("text/plain; charset=utf-8"), ESearchCase::CaseSensitive));
			TestTrue("Accept, sent once", FString(EchoHeader(Echo, TEXT("Accept"))).Equals(TEXT("text/event-stream"), ESearchCase::CaseSensitive));
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
				TestTrue("method", FString(Echo.IsValid() ? Echo->GetStringField(TEXT("method")) : FString()).Equals(Verb.Value, ESearchCase::CaseSensitive));
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
			TestTrue("question", Record.Messages.Last().Content.Equals(TEXT("hello"), ESearchCase::CaseSensitive));
			TestTrue("path", FString(Echo->GetStringField(TEXT("path"))).Equals(TEXT("/echo?to=/chat/completions"), ESearchCase::CaseSensitive));
			TestTrue("body", FString(Echo->GetStringField(TEXT("body"))).Equals(ExpectedBody, ESearchCase::CaseSensitive));
			TestTrue("bStream", FString(EchoHeader(Echo, TEXT("bStream"))).Equals(TEXT("0"), ESearchCase::CaseSensitive));
			TestTrue("Access-Protocol", FString(EchoHeader(Echo, TEXT("Access-Protocol"))).Equals(TEXT("chat"), ESearchCase::CaseSensitive));
			TestTrue("RequestID", FString(EchoHeader(Echo, TEXT("RequestID"))).Equals(RequestID.ToString(EGuidFormats::Digits), ESearchCase::CaseSensitive));
			TestTrue("caller pair", FString(EchoHeader(Echo, TEXT("X-Caller"))).Equals(TEXT("c"), ESearchCase::CaseSensitive));
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
			TestTrue("path", FString(Echo.IsValid() ? Echo->GetStringField(TEXT("path")) : FString()).Equals(TEXT("/echo?to=/beta/completions"), ESearchCase::CaseSensitive));
			TestTrue("body", FString(Echo.IsValid() ? Echo->GetStringField(TEXT("body")) : FString()).Equals(ExpectedBody, ESearchCase::CaseSensitive));
			TestTrue("bStream", FString(EchoHeader(Echo, TEXT("bStream"))).Equals(TEXT("1"), ESearchCase::CaseSensitive));
			TestTrue("Access-Protocol", FString(EchoHeader(Echo, TEXT("Access-Protocol"))).Equals(TEXT("fim"), ESearchCase::CaseSensitive));
		});

		It("send a local chat over plain HTTP with the chat id as one encoded path segment", [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort() + TEXT("/echo?");
			Record.ChatID = TEXT("a/b?c d");
			HTTP->Request(TEXT("hi"), Record, NoHeaders, EHTTPVerbType::HTTP_POST);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestTrue("path", FString(Echo.IsValid() ? Echo->GetStringField(TEXT("path")) : FString()).Equals(TEXT("/echo?/api/v1/chats_openai/a%2Fb%3Fc%20d/chat/completions"), ESearchCase::CaseSensitive));
			TestTrue("Access-Protocol", FString(EchoHeader(Echo, TEXT("Access-Protocol"))).Equals(TEXT("local_chat"), ESearchCase::CaseSensitive));
			TestTrue("bStream", FString(EchoHeader(Echo, TEXT("bStream"))).Equals(TEXT("1"), ESearchCase::CaseSensitive));
			TestTrue("Authorization", FString(EchoHeader(Echo, TEXT("Authorization"))).Equals(TEXT("Bearer test-key"), ESearchCase::CaseSensitive));
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
				const FString Answer = Probe->LastBody;
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
			TestTrue("method", FString(Echo->GetStringField(TEXT("method"))).Equals(TEXT("PUT"), ESearchCase::CaseSensitive));
			TestEqual("body size", static_cast<int32>(Echo->GetNumberField(TEXT("body_size"))), 9);
			TestTrue("Content-Type", FString(EchoHeader(Echo, TEXT("Content-Type"))).Equals(TEXT("application/octet-stream"), ESearchCase::CaseSensitive));
			TestTrue("RequestID", FString(EchoHeader(Echo, TEXT("RequestID"))).Equals(RequestID.ToString(EGuidFormats::Digits), ESearchCase::CaseSensitive));
			TestTrue("caller pair", FString(EchoHeader(Echo, TEXT("X-Kept"))).Equals(TEXT("k"), ESearchCase::CaseSensitive));
			// libcurl leaves out a header line without a value, as it does in the engine, so the pair is
			// checked on the request object, where the transport put it.
			const TArray<FString> Set = Probe->LastRequest.IsValid() ? Probe->LastRequest->GetAllHeaders() : TArray<FString>();
			TestTrue("pair without a value set", Set.Contains(TEXT("X-Empty-Value: ")));
			TestTrue("Authorization", FString(EchoHeader(Echo, TEXT("Authorization"))).Equals(TEXT("<absent>"), ESearchCase::CaseSensitive));
			TestTrue("Access-Protocol", FString(EchoHeader(Echo, TEXT("Access-Protocol"))).Equals(TEXT("<absent>"), ESearchCase::CaseSensitive));
		});

		It("keeps the caller's content type and sends no body for no bytes", [this]()
		{
			HTTP->Request(GetEchoURL(), TArray<uint8>(), {{TEXT("Content-Type"), TEXT("image/png")}}, false, EHTTPVerbType::HTTP_GET);
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestTrue("method", FString(Echo.IsValid() ? Echo->GetStringField(TEXT("method")) : FString()).Equals(TEXT("GET"), ESearchCase::CaseSensitive));
			TestEqual("body size", Echo.IsValid() ? static_cast<int32>(Echo->GetNumberField(TEXT("body_size"))) : -1, 0);
			TestTrue("Content-Type", FString(EchoHeader(Echo, TEXT("Content-Type"))).Equals(TEXT("image/png"), ESearchCase::CaseSensitive));
		});

		It("drops an empty Content-Type pair, in any case, so a body never goes out without one", [this]()
		{
			AddExpectedMessage(TEXT("Dropped the empty \"content-type\" header"), ELogVerbosity::Warning,
				EAutomationExpectedMessageFlags::Contains, 1);
			const FGuid RequestID = HTTP->Request(GetEchoURL(), TArray<uint8>({'{', '}'}),
				{{TEXT("content-type"), TEXT("")}, {TEXT("X-Kept"), TEXT("k")}}, false, EHTTPVerbType::HTTP_POST);
			TestTrue("a request GUID", RequestID.IsValid());
			const TSharedPtr<FJsonObject> Echo = WaitForEcho();
			TestTrue("Content-Type", FString(EchoHeader(Echo, TEXT("Content-Type"))).Equals(TEXT("application/octet-stream"), ESearchCase::CaseSensitive));
			TestTrue("caller pair", FString(EchoHeader(Echo, TEXT("X-Kept"))).Equals(TEXT("k"), ESearchCase::CaseSensitive));
			TestEqual("body size", Echo.IsValid() ? static_cast<int32>(Echo->GetNumberField(TEXT("body_size"))) : -1, 2);
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

		It("keeps each body itself: progress sees every byte counted so far, the engine's response none", [this]()
		{
			// Each progress callback compares what the transport has taken with the engine's count.
			const TSharedRef<int32> ShortReports = MakeShared<int32>(0);
			const TSharedRef<int32> Reports = MakeShared<int32>(0);
			const TSharedRef<TWeakPtr<FHTTP, ESPMode::ThreadSafe>> WeakTransport = MakeShared<TWeakPtr<FHTTP, ESPMode::ThreadSafe>>();
			TalvaneHttp::FHTTPDelegate Delegate = MakeProbeDelegate(Probe.ToSharedRef());
			Delegate.RequestProgressDelegate.BindLambda([ShortReports, Reports, WeakTransport](FHttpRequestPtr Request, int32, const int32 BytesReceived)
			{
				const TSharedPtr<FHTTP, ESPMode::ThreadSafe> Transport = WeakTransport->Pin();
				const TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Body = Transport.IsValid()
					? Transport->FindReceivedBody(Request) : nullptr;
				++*Reports;
				*ShortReports += !Body.IsValid() || Body->Num() < BytesReceived ? 1 : 0;
			});
			HTTP = FHTTP::CreateHTTPObject(Delegate);
			*WeakTransport = HTTP;
			Probe->Transport = HTTP;
			HTTP->SetKey(ServerKey);
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			HTTP->Request(TEXT("a long answer"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("trickle")}}, EHTTPVerbType::HTTP_POST);
			if (!WaitForCompletion() || !TestValid("response", Probe->LastResponse))
			{
				return;
			}
			TestTrue("several progress reports", *Reports > 1);
			TestEqual("reports that saw fewer bytes than counted", *ShortReports, 0);
			TestTrue(TEXT("the whole stream kept: ") + Probe->LastBody, Probe->LastBody.EndsWith(TEXT("data: [DONE]\n\n"), ESearchCase::CaseSensitive));
			TestTrue("nothing cached in the engine's response", Probe->LastResponse->GetContentAsString().IsEmpty());
			TestFalse("forgotten once completed", HTTP->FindReceivedBody(Probe->LastRequest).IsValid());
		});
	});
}

#endif
