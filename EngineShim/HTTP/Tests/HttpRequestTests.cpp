// What a request sends, what its delegates report and how it completes, against the reference
// server and a canned-bytes server on loopback.

#include <curl/curl.h>
#include <nlohmann/json.hpp>
#include <strings.h>

#include "HttpTestSupport.h"

using namespace HttpTests;

namespace
{
	typedef TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FRequestRef;

	nlohmann::json EchoOf(const FRecord& Record)
	{
		return nlohmann::json::parse(ToStd(Record.Response->GetContentAsString()));
	}

	/** A header as the echo saw it; names ignore case, as HTTP's do. */
	std::string EchoHeader(const nlohmann::json& Echo, const std::string& Name)
	{
		for (const auto& [Key, Value] : Echo["headers"].items())
		{
			if (strcasecmp(Key.c_str(), Name.c_str()) == 0)
			{
				return Value.get<std::string>();
			}
		}
		return "<absent>";
	}

	bool HasHeaderNamed(const FRecord& Record, const TCHAR* Name)
	{
		return Record.Headers.ContainsByPredicate([Name](const TPair<FString, FString>& Header) { return Header.Key == Name; });
	}
}

class FHttpRequestTest : public FHttpTest
{
};

TEST_F(FHttpRequestTest, VerbUrlHeadersAndBodyReachTheServer)
{
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(Url("echo?q=1"));
	Request->SetVerb(TEXT("put"));
	Request->SetHeader(TEXT("X-One"), TEXT("first"));
	Request->SetHeader(TEXT("x-one"), TEXT("replaced"));
	Request->AppendToHeader(TEXT("X-List"), TEXT("a"));
	Request->AppendToHeader(TEXT("x-LIST"), TEXT("b"));
	Request->SetHeader(TEXT("Content-Type"), TEXT("application/octet-stream"));
	const TArray<uint8> Bytes = {'b', 0, 0xff, '\n', 'z'};
	Request->SetContent(Bytes);
	const std::shared_ptr<FRecord> Seen = Record(*Request);

	EXPECT_EQ(Request->GetVerb(), TEXT("PUT"));
	EXPECT_EQ(Request->GetHeader(TEXT("X-LIST")), TEXT("a, b"));
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	const nlohmann::json Echo = EchoOf(*Seen);
	EXPECT_EQ(Echo["method"], "PUT");
	EXPECT_EQ(Echo["path"], "/echo?q=1");
	EXPECT_EQ(EchoHeader(Echo, "X-One"), "replaced");
	EXPECT_EQ(EchoHeader(Echo, "X-List"), "a, b");
	EXPECT_EQ(Echo["body_size"], 5);
	// The progress reports counted the whole body on the way out.
	ASSERT_FALSE(Seen->Progress.IsEmpty());
	EXPECT_EQ(Seen->Progress.Last().Key, 5);
}

TEST_F(FHttpRequestTest, ContentAsStringGoesOutAsUtf8WithoutMark)
{
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(Url("echo"));
	Request->SetVerb(TEXT("POST"));
	Request->SetHeader(TEXT("Content-Type"), TEXT("text/plain; charset=utf-8"));
	Request->SetContentAsString(TEXT("h\u00e9 \u4f60 \U0001F642"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	ASSERT_TRUE(Seen->Response.IsValid());
	const nlohmann::json Echo = EchoOf(*Seen);
	EXPECT_EQ(Echo["body"], "h\u00e9 \u4f60 \U0001F642");
	EXPECT_EQ(Echo["body_size"], 1 + 2 + 1 + 3 + 1 + 4);
}

TEST_F(FHttpRequestTest, StreamReportsCumulativeProgressAndHeadersOnTheGameThread)
{
	const FRequestRef Request = MakeChat("trickle");
	Request->SetHeader(TEXT("X-Talvane-Delay-Ms"), TEXT("15"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	EXPECT_FALSE(Seen->bRanOffGameThread);
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Succeeded);
	ASSERT_TRUE(Seen->Response.IsValid());
	const int32 BodySize = Seen->Response->GetContent().Num();
	ASSERT_GT(Seen->Progress.Num(), 2);
	for (int32 Index = 0; Index < Seen->Progress.Num(); ++Index)
	{
		const TPair<int32, int32>& Now = Seen->Progress[Index];
		if (Index > 0)
		{
			const TPair<int32, int32>& Before = Seen->Progress[Index - 1];
			EXPECT_TRUE(Now.Key != Before.Key || Now.Value != Before.Value) << "a report without a change at " << Index;
			EXPECT_GE(Now.Key, Before.Key);
			EXPECT_GE(Now.Value, Before.Value);
		}
		// A report that counts received bytes has a response, whose status code stays 0 until the end.
		if (Now.Value > 0)
		{
			EXPECT_EQ(Seen->ResponseAtProgress[Index], 1);
			EXPECT_EQ(Seen->CodeAtProgress[Index], 0);
		}
	}
	EXPECT_EQ(Seen->Progress.Last().Value, BodySize);
	EXPECT_EQ(Seen->Progress.Last().Key, static_cast<int32>(Request->GetContentLength()));

	// One call per header line, names and values as the response holds them.
	EXPECT_EQ(Seen->Headers.Num(), Seen->Response->GetAllHeaders().Num());
	for (const TPair<FString, FString>& Header : Seen->Headers)
	{
		EXPECT_EQ(Seen->Response->GetHeader(Header.Key), Header.Value);
	}
	EXPECT_TRUE(Seen->Response->GetContentType().StartsWith(TEXT("text/event-stream")));
	EXPECT_TRUE(Seen->Response->GetContentAsString().Contains(TEXT("data: [DONE]")));
}

TEST_F(FHttpRequestTest, ErrorStatusesCompleteAsSuccessfulTransfers)
{
	FLogCapture Log;
	for (const char* Scenario : {"status-429", "status-500", "status-500-slow"})
	{
		const FRequestRef Request = MakeChat(Scenario);
		const std::shared_ptr<FRecord> Seen = Record(*Request);
		ASSERT_TRUE(Request->ProcessRequest());
		ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
		EXPECT_TRUE(Seen->bConnectedSuccessfully) << Scenario;
		ASSERT_TRUE(Seen->Response.IsValid()) << Scenario;
		EXPECT_FALSE(EHttpResponseCodes::IsOk(Seen->Response->GetResponseCode())) << Scenario;
		EXPECT_TRUE(Seen->Response->GetContentAsString().Contains(TEXT("\"error\""))) << Scenario;
		EXPECT_EQ(Request->GetResponse(), Seen->Response);
	}
	const FRequestRef NoKey = MakeChat("");
	NoKey->SetHeader(TEXT("Authorization"), TEXT("Bearer wrong"));
	const std::shared_ptr<FRecord> Denied = Record(*NoKey);
	ASSERT_TRUE(NoKey->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Denied]() { return Denied->Completions > 0; }));
	EXPECT_TRUE(Denied->bConnectedSuccessfully);
	ASSERT_TRUE(Denied->Response.IsValid());
	EXPECT_EQ(Denied->Response->GetResponseCode(), 401);
	// The engine warns about server errors 500 to 503, with their headers, and not about others.
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("request has been successfully processed. URL: ")), 2);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("HTTP code: 500, content length: ")), 2);
	EXPECT_GE(Log.Count(ELogVerbosity::Warning, TEXT(" Response Header Content-Type: ")), 2);
}

TEST_F(FHttpRequestTest, RefusedConnectionCompletesWithoutResponse)
{
	FLogCapture Log;
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(ToFString("http://127.0.0.1:" + std::to_string(ReserveClosedPort()) + "/echo"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_EQ(Seen->Completions, 1);
	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	EXPECT_FALSE(Seen->Response.IsValid());
	EXPECT_FALSE(Request->GetResponse().IsValid());
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Failed_ConnectionError);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request failed, libcurl error: 7 (%s)"), &Request.Get(),
		UTF8_TO_TCHAR(curl_easy_strerror(CURLE_COULDNT_CONNECT)))), 1);
}

TEST_F(FHttpRequestTest, InactivityTimeoutFailsASilentServer)
{
	// A time-out of 2 s: the headers of the second request must come before it, on a loaded machine
	// and under a sanitizer too, and each stall (30 s) outlasts it fifteen times.
	FLogCapture Log;
	const FRequestRef Silent = MakeChat("stall");
	Silent->SetHeader(TEXT("X-Talvane-Stall-Ms"), TEXT("30000"));
	Silent->SetTimeout(2.0f);
	const std::shared_ptr<FRecord> SilentSeen = Record(*Silent);
	const FRequestRef Headers = MakeChat("stall-after-headers");
	Headers->SetHeader(TEXT("X-Talvane-Stall-Ms"), TEXT("30000"));
	Headers->SetTimeout(2.0f);
	const std::shared_ptr<FRecord> HeadersSeen = Record(*Headers);
	ASSERT_TRUE(Silent->ProcessRequest());
	ASSERT_TRUE(Headers->ProcessRequest());
	ASSERT_TRUE(PumpUntil([SilentSeen, HeadersSeen]() { return SilentSeen->Completions > 0 && HeadersSeen->Completions > 0; }));

	EXPECT_FALSE(SilentSeen->bConnectedSuccessfully);
	EXPECT_FALSE(SilentSeen->Response.IsValid());
	// The request went out, which the engine counts as activity: a plain failure, not a connection error.
	EXPECT_EQ(Silent->GetStatus(), EHttpRequestStatus::Failed);
	for (const FRequestRef& Request : {Silent, Headers})
	{
		// The seconds it names are whenever the HTTP thread looked, at the time-out or later.
		EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: HTTP request timed out after "), &Request.Get())), 1);
		EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request failed, libcurl error: 0 (No error)"), &Request.Get())), 1);
	}
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT(" seconds URL=") + Silent->GetURL()), 2);
	// Headers arrived before the silence: the caller gets them, the request keeps no response. libcurl
	// never completed, so the status code was never read.
	EXPECT_FALSE(HeadersSeen->bConnectedSuccessfully);
	ASSERT_TRUE(HeadersSeen->Response.IsValid());
	EXPECT_EQ(HeadersSeen->Response->GetResponseCode(), 0);
	EXPECT_FALSE(HeadersSeen->Response->GetHeader(TEXT("Content-Type")).IsEmpty());
	EXPECT_FALSE(Headers->GetResponse().IsValid());
	EXPECT_EQ(Headers->GetStatus(), EHttpRequestStatus::Failed);
}

TEST_F(FHttpRequestTest, TrickleLongerThanTheTimeoutSucceeds)
{
	// Gaps of 100 ms under an inactivity time-out of 1.5 s: fifteen times the gap, so a loaded machine
	// or a sanitizer does not stretch a gap past it, while the server's own pauses alone (100 ms
	// before each of the answer's 17 events) make the whole answer outlast the time-out.
	const FRequestRef Request = MakeChat("trickle");
	Request->SetHeader(TEXT("X-Talvane-Delay-Ms"), TEXT("100"));
	Request->SetTimeout(1.5f);
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	// Asserted, not expected: a failed request has no response to read below.
	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	// Each event is held back 100 ms: more than fifteen of them outlast the time-out.
	int32 Events = 0;
	TArray<FString> Lines;
	Seen->Response->GetContentAsString().ParseIntoArrayLines(Lines);
	for (const FString& Line : Lines)
	{
		Events += Line.StartsWith(TEXT("data:")) ? 1 : 0;
	}
	EXPECT_GT(Events, 15);
}

TEST_F(FHttpRequestTest, DroppedConnectionFailsWithThePartialResponse)
{
	const FRequestRef Request = MakeChat("drop");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetResponseCode(), 200);
	EXPECT_GT(Seen->Response->GetContent().Num(), 0);
	EXPECT_FALSE(Seen->Response->GetContentAsString().Contains(TEXT("[DONE]")));
	EXPECT_FALSE(Request->GetResponse().IsValid());
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Failed);
}

TEST_F(FHttpRequestTest, HugeStreamArrivesWhole)
{
	const FRequestRef Request = MakeChat("huge");
	Request->SetHeader(TEXT("X-Talvane-Size"), TEXT("12000000"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }, 120.0));
	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_GT(Seen->Response->GetContent().Num(), 12000000);
	EXPECT_EQ(Seen->Progress.Last().Value, Seen->Response->GetContent().Num());
	EXPECT_TRUE(Seen->Response->GetContentAsString().EndsWith(TEXT("data: [DONE]\n\n")));
}

TEST_F(FHttpRequestTest, RedirectsAreFollowedAndOnlyTheFinalHeadersReported)
{
	FCannedServer Canned;
	Canned.Answer("/from", "HTTP/1.1 302 Found\r\nLocation: /to\r\nX-Hop: 1\r\nContent-Length: 4\r\nConnection: close\r\n\r\nhop!");
	Canned.Answer("/to", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nX-Empty:\r\nContent-Length: 7\r\nConnection: close\r\n\r\narrived");
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(Canned.Url("/from"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetResponseCode(), 200);
	EXPECT_EQ(Seen->Response->GetContentAsString(), TEXT("arrived"));
	EXPECT_FALSE(HasHeaderNamed(*Seen, TEXT("X-Hop")));
	EXPECT_FALSE(HasHeaderNamed(*Seen, TEXT("Location")));
	EXPECT_FALSE(HasHeaderNamed(*Seen, TEXT("X-Empty")));
	EXPECT_EQ(Seen->Response->GetHeader(TEXT("set-cookie")), TEXT("a=1, b=2"));
	EXPECT_EQ(Seen->Response->GetContentLength(), 7u);
	EXPECT_TRUE(Seen->Response->GetAllHeaders().Contains(TEXT("Set-Cookie: a=1, b=2")));
	ASSERT_EQ(Canned.GetRequestLines().size(), 2u);
	EXPECT_EQ(Canned.GetRequestLines()[1], "GET /to HTTP/1.1");
}

TEST_F(FHttpRequestTest, InvalidUtf8DecodesToQuestionMarks)
{
	FCannedServer Canned;
	Canned.Answer("/bytes", std::string("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nA\xff" "B"));
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(Canned.Url("/bytes"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetContentAsString(), TEXT("A?B"));
}

TEST_F(FHttpRequestTest, ProxyFromTheEnvironmentIsUsed)
{
	FCannedServer Proxy;
	Proxy.Answer("http://talvane.invalid/via", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nproxy");
	setenv("http_proxy", ToStd(Proxy.Url("")).c_str(), 1);
	const FRequestRef Request = FHttpModule::Get().CreateRequest();
	Request->SetURL(TEXT("http://talvane.invalid/via"));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	const bool bDone = PumpUntil([Seen]() { return Seen->Completions > 0; });
	unsetenv("http_proxy");
	ASSERT_TRUE(bDone);
	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetContentAsString(), TEXT("proxy"));
}
