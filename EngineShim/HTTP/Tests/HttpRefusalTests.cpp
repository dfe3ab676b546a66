// What the engine's curl backend does with a request it will not send as asked: ProcessRequest
// refuses and completes at once, or the HTTP thread stops the process on a body without a type.

#include "HttpTestSupport.h"

using namespace HttpTests;

namespace
{
	typedef TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FRequestRef;
}

class FHttpRefusalTest : public FHttpTest
{
};

TEST_F(FHttpRefusalTest, RefusalsCompleteSynchronously)
{
	struct FCase
	{
		const char* Url;
		const TCHAR* Verb;
		bool bBody;
		/** The engine's own warning (FHttpRequestCommon::PreCheck, or SetupRequest for a GET with a body). */
		const char* Reason;
	};
	const std::string Echo = ToStd(Url("echo"));
	const std::string NoScheme = Echo.substr(Echo.find("//") + 2);
	const char* const NotHttp = " is not a valid HTTP request.";
	const char* const GetBody = "An HTTP Get request cannot contain a payload.";
	for (const FCase& Case : {FCase{"", TEXT("GET"), false, "ProcessRequest failed. No URL was specified."},
		FCase{"ftp://127.0.0.1/x", TEXT("GET"), false, "ProcessRequest failed. URL 'ftp://127.0.0.1/x' is not a valid HTTP request."},
		FCase{NoScheme.c_str(), TEXT("GET"), false, NotHttp}, FCase{Echo.c_str(), TEXT("GET"), true, GetBody},
		FCase{Echo.c_str(), TEXT(""), true, GetBody}})
	{
		const FRequestRef Request = FHttpModule::Get().CreateRequest();
		Request->SetURL(ToFString(Case.Url));
		Request->SetVerb(Case.Verb);
		if (Case.bBody)
		{
			Request->SetContentAsString(TEXT("body"));
		}
		const std::shared_ptr<FRecord> Seen = Record(*Request);
		FLogCapture Log;
		EXPECT_FALSE(Request->ProcessRequest()) << Case.Url;
		// Completed before ProcessRequest returned, as the engine's FinishRequestNotInHttpManager does
		// on the game thread: a fresh request fails with libcurl's "no error" and as a connection error.
		EXPECT_EQ(Seen->Completions, 1) << Case.Url;
		EXPECT_FALSE(Seen->bConnectedSuccessfully);
		EXPECT_FALSE(Seen->Response.IsValid());
		EXPECT_FALSE(Request->GetResponse().IsValid());
		EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Failed_ConnectionError) << Case.Url;
		EXPECT_EQ(Log.Count(ELogVerbosity::Warning, ToFString(Case.Reason)), 1) << Case.Url;
		EXPECT_EQ(Log.Count(ELogVerbosity::Warning, FString::Printf(TEXT("%p: request failed, libcurl error: 0 (No error)"), &Request.Get())), 1)
			<< Case.Url;
	}
}

TEST_F(FHttpRefusalTest, SecondProcessWhileInFlightFailsTheRequestAndItsTransferStillCompletes)
{
	// The engine's PreCheck refuses ("Still processing last request.") and FinishRequest runs at once:
	// the delegate hears a failure and the status leaves Processing, while the transfer goes on and
	// completes a second time when it ends.
	const FRequestRef Request = MakeChat("trickle");
	const std::shared_ptr<FRecord> Seen = Record(*Request);
	ASSERT_TRUE(Request->ProcessRequest());
	FLogCapture Log;
	EXPECT_FALSE(Request->ProcessRequest());
	EXPECT_EQ(Log.Count(ELogVerbosity::Warning, TEXT("ProcessRequest failed. Still processing last request.")), 1);
	EXPECT_EQ(Seen->Completions, 1);
	EXPECT_FALSE(Seen->bConnectedSuccessfully);
	EXPECT_FALSE(Seen->Response.IsValid());
	EXPECT_NE(Request->GetStatus(), EHttpRequestStatus::Processing);

	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 1; }));
	ASSERT_TRUE(Seen->bConnectedSuccessfully);
	ASSERT_TRUE(Seen->Response.IsValid());
	EXPECT_EQ(Seen->Response->GetResponseCode(), 200);
	EXPECT_EQ(Request->GetStatus(), EHttpRequestStatus::Succeeded);
	// A finished request may be sent again.
	ASSERT_TRUE(Request->ProcessRequest());
	ASSERT_TRUE(PumpUntil([Seen]() { return Seen->Completions > 2; }));
	EXPECT_TRUE(Seen->bConnectedSuccessfully);
}

TEST_F(FHttpRefusalTest, PostOrDeleteWithoutContentTypeStopsUnlessTheBodyIsUrlEncoded)
{
	// The engine's SetupRequestHttpThread checks it on the HTTP thread: fatal in a Development build.
	// Only unreserved characters count as URL-encoded, so not even a form body ("a=1&b=2") passes.
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	const auto Send = [this](const TCHAR* Verb, const TCHAR* Body)
	{
		const FRequestRef Request = FHttpModule::Get().CreateRequest();
		Request->SetURL(Url("echo"));
		Request->SetVerb(Verb);
		Request->SetContentAsString(Body);
		const std::shared_ptr<FRecord> Seen = Record(*Request);
		Request->ProcessRequest();
		PumpUntil([Seen]() { return Seen->Completions > 0; });
		return Seen->bConnectedSuccessfully;
	};
	const char* const Check = "Assertion failed: Setup.bHasContentType \\|\\| Setup.bBodyURLEncoded";
	EXPECT_DEATH(Send(TEXT("POST"), TEXT("{\"a\":1}")), Check);
	EXPECT_DEATH(Send(TEXT("POST"), TEXT("a=1&b=2")), Check);
	EXPECT_DEATH(Send(TEXT("DELETE"), TEXT("{\"a\":1}")), Check);

	// What passes: a body of unreserved characters, no body at all, and PUT, which the engine does not check.
	EXPECT_TRUE(Send(TEXT("POST"), TEXT("Plain-text_1.0~")));
	EXPECT_TRUE(Send(TEXT("POST"), TEXT("")));
	EXPECT_TRUE(Send(TEXT("PUT"), TEXT("{\"a\":1}")));
	const FRequestRef Typed = FHttpModule::Get().CreateRequest();
	Typed->SetURL(Url("echo"));
	Typed->SetVerb(TEXT("POST"));
	Typed->SetHeader(TEXT("content-type"), TEXT("application/json"));
	Typed->SetContentAsString(TEXT("{\"a\":1}"));
	const std::shared_ptr<FRecord> TypedSeen = Record(*Typed);
	ASSERT_TRUE(Typed->ProcessRequest());
	ASSERT_TRUE(PumpUntil([TypedSeen]() { return TypedSeen->Completions > 0; }));
	EXPECT_TRUE(TypedSeen->bConnectedSuccessfully);
}
