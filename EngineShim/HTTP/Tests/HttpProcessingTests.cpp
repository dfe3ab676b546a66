// What a request and its response show while the request is still processing, and what
// ProcessRequest adds: as strict as the engine's curl backend, so that plugin code that reads too
// early fails here as it would in the engine.

#include <curl/curl.h>
#include <strings.h>
#include <sys/wait.h>

#include "GenericPlatform/GenericPlatformHttp.h"
#include "Http.h"
#include "HttpTestSupport.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"

using namespace HttpTests;

namespace
{
	typedef TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FRequestRef;

	/** Collects what a receive stream gets on the HTTP thread; false from the delegate after FailAfter bytes. */
	struct FStreamSink
	{
		std::mutex Mutex;
		std::string Bytes;
		bool bRanOnTestThread = false;
		int64 FailAfter = -1;
	};

	FHttpRequestStreamDelegate MakeSinkDelegate(const std::shared_ptr<FStreamSink>& Sink)
	{
		const std::thread::id TestThread = std::this_thread::get_id();
		return FHttpRequestStreamDelegate::CreateLambda([Sink, TestThread](void* Ptr, const int64 Length)
		{
			const std::lock_guard<std::mutex> Lock(Sink->Mutex);
			Sink->bRanOnTestThread |= std::this_thread::get_id() == TestThread;
			if (Sink->FailAfter >= 0 && static_cast<int64>(Sink->Bytes.size()) + Length > Sink->FailAfter)
			{
				return false;
			}
			Sink->Bytes.append(static_cast<const char*>(Ptr), static_cast<size_t>(Length));
			return true;
		});
	}

	int32 CountLinesStartingWith(const std::string& Head, const char* Prefix)
	{
		int32 Found = 0;
		for (std::string::size_type Start = 0; Start < Head.size();)
		{
			const std::string::size_type End = Head.find("\r\n", Start);
			const std::string Line = Head.substr(Start, End - Start);
			Found += strncasecmp(Line.c_str(), Prefix, strlen(Prefix)) == 0 ? 1 : 0;
			Start = End == std::string::npos ? Head.size() : End + 2;
		}
		return Found;
	}

	FString PointerText(const IHttpRequest& Request)
	{
		return FString::Printf(TEXT("%p"), &Request);
	}
}

class FHttpProcessingTest : public FHttpTest
{
};

TEST_F(FHttpProcessingTest, ResponseHidesHeadersAndCodeUntilTheRequestFinishes)
{
	FLogCapture Log;
	const FRequestRef Request = MakeChat("trickle");
	Request->SetHeader(TEXT("X-Talvane-Delay-Ms"), TEXT("10"));
	int32 Reads = 0;
	int32 HeaderCalls = 0;
	bool bSawAnything = false;
	Request->OnRequestProgress().BindLambda([&Reads, &bSawAnything](FHttpRequestPtr InRequest, int32, int32)
	{
		// Runs inside PumpUntil below, while the locals live.
		const FHttpResponsePtr Response = InRequest->GetResponse();
		if (Response.IsValid())
		{
			++Reads;
			bSawAnything |= Response->GetResponseCode() != 0 || !Response->GetHeader(TEXT("Content-Type")).IsEmpty()
				|| !Response->GetAllHeaders().IsEmpty() || !Response->GetContentType().IsEmpty();
		}
	});
	Request->OnHeaderReceived().BindLambda([&HeaderCalls](FHttpRequestPtr, const FString&, const FString&) { ++HeaderCalls; });
	FHttpResponsePtr Final;
	Request->OnProcessRequestComplete().BindLambda([&Final](FHttpRequestPtr, const FHttpResponsePtr Response, bool) { Final = Response; });
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([&Final]() { return Final.IsValid(); }));

	ASSERT_GT(Reads, 0);
	EXPECT_FALSE(bSawAnything);
	// Headers still arrive one by one while the body streams.
	EXPECT_GT(HeaderCalls, 0);
	const FString Pointer = PointerText(*Request);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("Can't get cached header [Content-Type]. Response still processing. ") + Pointer), 2 * Reads);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("Can't get cached headers. Response still processing. ") + Pointer), Reads);

	// Once finished, the same reads work and say nothing.
	const int32 WarningsBefore = Log.Count(ELogVerbosity::Warning, TEXT("Response still processing"));
	EXPECT_EQ(Final->GetResponseCode(), 200);
	EXPECT_TRUE(Final->GetContentType().StartsWith(TEXT("text/event-stream")));
	EXPECT_EQ(Final->GetAllHeaders().Num(), HeaderCalls);
	EXPECT_GT(Final->GetContent().Num(), 0);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("Response still processing")), WarningsBefore);
}

TEST_F(FHttpProcessingTest, ReceiveStreamGetsTheBodyOnTheHttpThreadAndTheResponseKeepsNone)
{
	FLogCapture Log;
	const std::shared_ptr<FStreamSink> Sink = std::make_shared<FStreamSink>();
	const FRequestRef Request = MakeChat("trickle");
	ASSERT_TRUE(Request->SetResponseBodyReceiveStreamDelegate(MakeSinkDelegate(Sink)));
	int32 EmptyDuringProgress = 0;
	Request->OnRequestProgress().BindLambda([&EmptyDuringProgress](FHttpRequestPtr InRequest, int32, const int32 Received)
	{
		// Nothing is written to the payload, so reading it here races with nothing; it still warns.
		if (Received > 0 && InRequest->GetResponse().IsValid())
		{
			EmptyDuringProgress += InRequest->GetResponse()->GetContent().IsEmpty() ? 1 : 0;
		}
	});
	std::shared_ptr<FRecord> Seen = std::make_shared<FRecord>();
	Request->OnProcessRequestComplete().BindLambda([Seen](FHttpRequestPtr, FHttpResponsePtr Response, const bool bConnected)
	{
		++Seen->Completions;
		Seen->Response = Response;
		Seen->bConnectedSuccessfully = bConnected;
	});
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	EXPECT_FALSE(Sink->bRanOnTestThread);
	EXPECT_NE(Sink->Bytes.find("data: [DONE]"), std::string::npos);
	EXPECT_GT(EmptyDuringProgress, 0);
	EXPECT_GE(Log.Count(ELogVerbosity::Warning, TEXT("Payload is incomplete. Response still processing. ") + PointerText(*Request)), EmptyDuringProgress);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetResponseCode(), 200);
	EXPECT_TRUE(Seen->Response->GetContent().IsEmpty());
	EXPECT_TRUE(Seen->Response->GetContentAsString().IsEmpty());
}

TEST_F(FHttpProcessingTest, ReceiveStreamThatFailsFailsTheRequestAsAWriteError)
{
	FLogCapture Log;
	const std::shared_ptr<FStreamSink> Sink = std::make_shared<FStreamSink>();
	Sink->FailAfter = 0;
	const FRequestRef Request = MakeChat("trickle");
	Request->SetResponseBodyReceiveStreamDelegate(MakeSinkDelegate(Sink));
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));

	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Failed);
	EXPECT_FALSE(Request->GetResponse().IsValid());
	// Headers had arrived, so the delegate gets the response, with nothing counted or kept of the body.
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_TRUE(Seen->Response->GetContent().IsEmpty());
	for (const TPair<int32, int32>& Progress : Seen->Progress)
	{
		EXPECT_EQ(Progress.Value, 0);
	}
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request failed, libcurl error: 23 (%s)"), &Request.Get(),
		UTF8_TO_TCHAR(curl_easy_strerror(CURLE_WRITE_ERROR)))), 1);
}

TEST_F(FHttpProcessingTest, ProcessRequestAddsUserAgentContentLengthAndEmptyExpect)
{
	FCannedServer Canned;
	Canned.Answer("/big", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
	Canned.Answer("/agent", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
	// Big enough that libcurl would otherwise ask for "100 Continue" and wait for it.
	const FRequestRef Big = FHttpModule::Get().CreateRequest();
	Big->SetURL(Canned.Url("/big"));
	Big->SetVerb(TEXT("POST"));
	Big->SetHeader(TEXT("Content-Type"), TEXT("application/octet-stream"));
	Big->SetHeader(TEXT("X-First"), TEXT("1"));
	TArray<uint8> Body;
	Body.SetNum(2 * 1024 * 1024);
	Big->SetContent(MoveTemp(Body));
	const FRequestRef Agent = FHttpModule::Get().CreateRequest();
	Agent->SetURL(Canned.Url("/agent"));
	Agent->SetHeader(TEXT("user-agent"), TEXT("Mine/1"));
	const std::shared_ptr<FRecord> BigSeen = Record(*Big);
	const std::shared_ptr<FRecord> AgentSeen = Record(*Agent);
	ASSERT_TRUE(Big->ProcessRequest());
	ASSERT_TRUE(Agent->ProcessRequest());

	const FString UserAgent = FGenericPlatformHttp::GetDefaultUserAgent();
	const TArray<FString> Expected = {TEXT("Content-Type: application/octet-stream"), TEXT("X-First: 1"), TEXT("User-Agent: ") + UserAgent,
		TEXT("Content-Length: 2097152"), TEXT("Expect: ")};
	const TArray<FString> Listed = Big->GetAllHeaders();
	ASSERT_EQ(Listed.Num(), Expected.Num());
	for (int32 Index = 0; Index < Expected.Num(); ++Index)
	{
		EXPECT_TRUE(Listed[Index].Equals(Expected[Index], ESearchCase::CaseSensitive)) << ToStd(Listed[Index]);
	}
	EXPECT_TRUE(Agent->GetHeader(TEXT("User-Agent")).Equals(TEXT("Mine/1"), ESearchCase::CaseSensitive));
	EXPECT_EQ(Agent->GetHeader(TEXT("Content-Length")), TEXT("0"));

	ASSERT_TRUE(PumpUntil([BigSeen, AgentSeen]() { return BigSeen->Completions > 0 && AgentSeen->Completions > 0; }));
	EXPECT_TRUE(BigSeen->bConnectedSuccessfully);
	ASSERT_EQ(Canned.GetRequestHeads().size(), 2u);
	for (const std::string& Head : Canned.GetRequestHeads())
	{
		const bool bBig = Head.rfind("POST", 0) == 0;
		EXPECT_EQ(CountLinesStartingWith(Head, "Expect:"), 0) << Head;
		EXPECT_EQ(CountLinesStartingWith(Head, "Content-Length:"), 1) << Head;
		EXPECT_EQ(CountLinesStartingWith(Head, bBig ? "Content-Length: 2097152" : "Content-Length: 0"), 1) << Head;
		EXPECT_EQ(CountLinesStartingWith(Head, bBig ? ("User-Agent: " + ToStd(UserAgent)).c_str() : "User-Agent: Mine/1"), 1) << Head;
	}
}

TEST_F(FHttpProcessingTest, ChangesToARequestInFlightAreIgnoredWithAWarning)
{
	FLogCapture Log;
	const FRequestRef Request = MakeChat("trickle");
	const FString Url = Request->GetURL();
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	Request->SetURL(TEXT("http://127.0.0.1:1/elsewhere"));
	Request->SetVerb(TEXT("PUT"));
	Request->SetHeader(TEXT("X-Late"), TEXT("1"));
	Request->AppendToHeader(TEXT("X-Late"), TEXT("2"));
	Request->SetContentAsString(TEXT("late"));
	Request->SetContent(TArray<uint8>());
	EXPECT_EQ(Request->GetURL(), Url);
	EXPECT_EQ(Request->GetVerb(), TEXT("POST"));
	EXPECT_TRUE(Request->GetHeader(TEXT("X-Late")).IsEmpty());
	EXPECT_GT(Request->GetContentLength(), 4u);
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("on a request that is inflight")), 6);
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_TRUE(Seen->bConnectedSuccessfully);
}

TEST_F(FHttpProcessingTest, LogHttpStartsAtDisplaySoItsLogLinesAreNotWritten)
{
	// As the engine declares it (HTTP/Public/Http.h): a game sees no "Starting ... request" line unless
	// someone raises the category.
	EXPECT_EQ(LogHttp.GetDefaultVerbosity(), ELogVerbosity::Display);
	EXPECT_EQ(UE_GET_LOG_VERBOSITY(LogHttp), ELogVerbosity::Display);
	const auto Send = [this]()
	{
		const FRequestRef Request = MakeChat("");
		const std::shared_ptr<FRecord> Seen = Record(*Request);
		EXPECT_TRUE(Request->ProcessRequest());
		EXPECT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	};
	FLogCapture Log;
	Send();
	EXPECT_EQ(Log.Count(ELogVerbosity::VeryVerbose, TEXT("request to URL=")), 0);
	UE_SET_LOG_VERBOSITY(LogHttp, Log);
	Send();
	UE_SET_LOG_VERBOSITY(LogHttp, Display);
	EXPECT_EQ(Log.Count(ELogVerbosity::Log, TEXT("Starting POST request to URL=")), 1);
}

TEST_F(FHttpProcessingTest, RequestWithoutTimeoutGetsTheIniHttpTimeout)
{
	// A fresh module reads the engine ini's value (BaseEngine.ini: 180), and a change only through UpdateConfigs.
	FModuleManager::Get().UnloadModule(TEXT("HTTP"));
	EXPECT_FLOAT_EQ(FHttpModule::Get().GetHttpTimeout(), 180.0f);
	GConfig->SetFloat(TEXT("HTTP"), TEXT("HttpTimeout"), 0.3f, GEngineIni);
	EXPECT_FLOAT_EQ(FHttpModule::Get().GetHttpTimeout(), 180.0f);
	FHttpModule::Get().UpdateConfigs();
	EXPECT_FLOAT_EQ(FHttpModule::Get().GetHttpTimeout(), 0.3f);

	FLogCapture Log;
	const FRequestRef Silent = MakeChat("stall");
	const std::shared_ptr<FRecord> Seen = Record(*Silent);
	ASSERT_TRUE(Silent->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 0; }));
	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	// The seconds it names are whenever the HTTP thread looked, at the time-out or later.
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: HTTP request timed out after "), &Silent.Get())), 1);
}

TEST_F(FHttpProcessingTest, ReadingTheBodyDuringProgressIsADataRace)
{
#if defined(__SANITIZE_THREAD__)
	// The HTTP thread appends to the payload without a lock, as the engine's does: a plugin that
	// reads GetContent() in its progress delegate must be caught here rather than crash a game.
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			const FRequestRef Request = MakeChat("trickle");
			Request->SetHeader(TEXT("X-Talvane-Delay-Ms"), TEXT("5"));
			int64 Total = 0;
			bool bDone = false;
			Request->OnRequestProgress().BindLambda([&Total](FHttpRequestPtr InRequest, int32, int32)
			{
				// Runs inside PumpUntil below, while the locals live.
				if (InRequest->GetResponse().IsValid())
				{
					Total += InRequest->GetResponse()->GetContent().Num();
				}
			});
			Request->OnProcessRequestComplete().BindLambda([&bDone](FHttpRequestPtr, FHttpResponsePtr, bool) { bDone = true; });
			Request->ProcessRequest();
			PumpUntil([&bDone]() { return bDone; });
			std::exit(Total >= 0 ? 0 : 1);
		},
		[](const int Status) { return !(WIFEXITED(Status) && WEXITSTATUS(Status) == 0); }, "ThreadSanitizer: data race");
#else
	GTEST_SKIP() << "only ThreadSanitizer can see the race";
#endif
}
