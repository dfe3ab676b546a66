// How a request gets ready to start (the engine's FHttpRequestCommon::PreCheck and
// FCurlHttpRequest::SetupRequest), how a refused one completes, and what the HTTP thread is handed.

#include "Containers/StringConv.h"
#include "CurlHttpRequest.h"
#include "HttpLog.h"
#include "PlatformHttp.h"
#include "SslCertificateStore.h"

namespace
{
	/**
	 * The engine's FGenericPlatformHttp::IsURLEncoded: only unreserved characters count, so not even
	 * '%', '+', '&' or '='. A POST or DELETE without a Content-Type must carry such a body.
	 */
	bool IsURLEncoded(const TArray<uint8>& Payload)
	{
		for (const uint8 Byte : Payload)
		{
			const bool bAlphaNumeric = (Byte >= 'a' && Byte <= 'z') || (Byte >= 'A' && Byte <= 'Z') || (Byte >= '0' && Byte <= '9');
			if (!bAlphaNumeric && Byte != '-' && Byte != '_' && Byte != '.' && Byte != '~')
			{
				return false;
			}
		}
		return true;
	}
}

// The engine's FHttpRequestCommon::PreCheck, word for word in its log lines.
bool FCurlHttpRequest::PreCheck() const
{
	if (IsInFlight() || Transfer)
	{
		UE_LOG(LogHttp, Warning, TEXT("ProcessRequest failed. Still processing last request."));
		return false;
	}
	if (URL.IsEmpty())
	{
		UE_LOG(LogHttp, Warning, TEXT("ProcessRequest failed. No URL was specified."));
		return false;
	}
	if (!URL.StartsWith(TEXT("http://")) && !URL.StartsWith(TEXT("https://")))
	{
		UE_LOG(LogHttp, Warning, TEXT("ProcessRequest failed. URL '%s' is not a valid HTTP request."), *URL);
		return false;
	}
	return true;
}

bool FCurlHttpRequest::FinishRefusedRequest()
{
	// The engine's FinishRequestNotInHttpManager on the game thread: FinishRequest at once, before
	// ProcessRequest returns false. No response exists, so it takes the failure branch, which reads
	// what the previous attempt left (a fresh request: "libcurl error: 0 (No error)", and
	// Failed_ConnectionError as nothing went over the wire).
	CheckProgressDelegate();
	LogFailure();
	Status = GetFailedStatus();
	CompleteDelegate.ExecuteIfBound(SharedThis(this), nullptr, false);
	Response.Reset();
	return false;
}

bool FCurlHttpRequest::SetupRequest()
{
	if ((Verb.IsEmpty() || Verb == TEXT("GET")) && Payload.Num() > 0)
	{
		UE_LOG(LogHttp, Warning, TEXT("An HTTP Get request cannot contain a payload."));
		return false;
	}
	const FString ShownVerb = Verb.IsEmpty() ? FString(TEXT("GET")) : Verb;
	UE_LOG(LogHttp, Verbose, TEXT("%p: URL='%s'"), this, *URL);
	UE_LOG(LogHttp, Verbose, TEXT("%p: Verb='%s'"), this, *ShownVerb);
	UE_LOG(LogHttp, Verbose, TEXT("%p: Custom headers are %s"), this, Headers.Num() ? TEXT("present") : TEXT("NOT present"));
	UE_LOG(LogHttp, Verbose, TEXT("%p: Payload size=%llu"), this, GetContentLength());
	// The engine's SetupRequest: these go after the caller's headers, only when absent, and stay.
	if (GetHeader(TEXT("User-Agent")).IsEmpty())
	{
		Headers.Add(TEXT("User-Agent"), FPlatformHttp::GetDefaultUserAgent());
	}
	if (GetHeader(TEXT("Content-Length")).IsEmpty())
	{
		Headers.Add(TEXT("Content-Length"), FString::Printf(TEXT("%llu"), GetContentLength()));
	}
	// Keeps libcurl from sending "Expect: 100-continue" (and itself goes out as nothing).
	if (GetHeader(TEXT("Expect")).IsEmpty())
	{
		Headers.Add(TEXT("Expect"), FString());
	}
	return true;
}

FCurlTransfer::FSetup FCurlHttpRequest::MakeSetup(const TSharedPtr<FCurlHttpResponse, ESPMode::ThreadSafe>& NewResponse) const
{
	FCurlTransfer::FSetup Setup;
	Setup.Url = FTCHARToUTF8(*URL).Get();
	Setup.Verb = Verb.IsEmpty() ? std::string("GET") : std::string(FTCHARToUTF8(*Verb).Get());
	for (const FString& Line : GetAllHeaders())
	{
		Setup.HeaderLines.emplace_back(FTCHARToUTF8(*Line).Get());
	}
	Setup.Body.assign(reinterpret_cast<const char*>(Payload.GetData()), static_cast<size_t>(Payload.Num()));
	Setup.Response = NewResponse;
	Setup.BodyStream = ResponseBodyReceiveStream;
	Setup.bHasTimeout = Timeout.IsSet();
	Setup.TimeoutSeconds = Timeout.IsSet() ? static_cast<double>(Timeout.GetValue()) : 0.0;
	Setup.RootCertificates = SslCertificateStore::Get();
	Setup.RequestAddress = this;
	Setup.RequestURL = URL;
	Setup.bHasContentType = !GetContentType().IsEmpty();
	Setup.bBodyURLEncoded = IsURLEncoded(Payload);
	return Setup;
}
