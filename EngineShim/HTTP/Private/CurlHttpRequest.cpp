#include "CurlHttpRequest.h"

#include <algorithm>
#include <limits>

#include "Containers/StringConv.h"
#include "CurlHttpResponse.h"
#include "CurlWorker.h"
#include "HttpLog.h"
#include "HttpManager.h"
#include "HttpModule.h"

namespace
{
	int32 ClampToInt32(const int64 Value)
	{
		return static_cast<int32>(std::min<int64>(Value, std::numeric_limits<int32>::max()));
	}

	/** The engine lets a POST go without a Content-Type only when its body is already URL-encoded. */
	bool IsURLEncoded(const TArray<uint8>& Payload)
	{
		for (const uint8 Byte : Payload)
		{
			const bool bAlphaNumeric = (Byte >= 'a' && Byte <= 'z') || (Byte >= 'A' && Byte <= 'Z') || (Byte >= '0' && Byte <= '9');
			if (!bAlphaNumeric && Byte != '-' && Byte != '_' && Byte != '.' && Byte != '~' && Byte != '%' && Byte != '+'
				&& Byte != '&' && Byte != '=')
			{
				return false;
			}
		}
		return true;
	}

	FString FromUTF8(const std::string& Text)
	{
		const FUTF8ToTCHAR Converted(Text.data(), static_cast<int32>(Text.size()));
		return FString(Converted.Length(), Converted.Get());
	}
}

FCurlHttpRequest::FCurlHttpRequest() = default;

FCurlHttpRequest::~FCurlHttpRequest() = default;

FString FCurlHttpRequest::GetURL() const
{
	return URL;
}

FString FCurlHttpRequest::GetHeader(const FString& HeaderName) const
{
	const FString* Found = Headers.Find(HeaderName);
	return Found ? *Found : FString();
}

TArray<FString> FCurlHttpRequest::GetAllHeaders() const
{
	TArray<FString> Result;
	for (const TPair<FString, FString>& Header : Headers)
	{
		Result.Add(Header.Key + TEXT(": ") + Header.Value);
	}
	return Result;
}

FString FCurlHttpRequest::GetContentType() const
{
	return GetHeader(TEXT("Content-Type"));
}

uint64 FCurlHttpRequest::GetContentLength() const
{
	return static_cast<uint64>(Payload.Num());
}

const TArray<uint8>& FCurlHttpRequest::GetContent() const
{
	return Payload;
}

FString FCurlHttpRequest::GetVerb() const
{
	return Verb;
}

void FCurlHttpRequest::SetVerb(const FString& InVerb)
{
	Verb = InVerb.ToUpper();
}

void FCurlHttpRequest::SetURL(const FString& InURL)
{
	URL = InURL;
}

void FCurlHttpRequest::SetContent(const TArray<uint8>& ContentPayload)
{
	Payload = ContentPayload;
}

void FCurlHttpRequest::SetContent(TArray<uint8>&& ContentPayload)
{
	Payload = MoveTemp(ContentPayload);
}

void FCurlHttpRequest::SetContentAsString(const FString& ContentString)
{
	const FTCHARToUTF8 Converted(*ContentString, ContentString.Len());
	Payload = TArray<uint8>(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length());
}

bool FCurlHttpRequest::SetResponseBodyReceiveStream(TSharedRef<FArchive> Stream)
{
	ResponseBodyReceiveStream = Stream;
	return true;
}

void FCurlHttpRequest::SetHeader(const FString& HeaderName, const FString& HeaderValue)
{
	Headers.Add(HeaderName, HeaderValue);
}

void FCurlHttpRequest::AppendToHeader(const FString& HeaderName, const FString& AdditionalHeaderValue)
{
	FString* Existing = Headers.Find(HeaderName);
	if (Existing && !Existing->IsEmpty())
	{
		Existing->Append(TEXT(", "));
		Existing->Append(AdditionalHeaderValue);
		return;
	}
	Headers.Add(HeaderName, AdditionalHeaderValue);
}

void FCurlHttpRequest::SetTimeout(const float InTimeoutSecs)
{
	Timeout = InTimeoutSecs;
}

void FCurlHttpRequest::ClearTimeout()
{
	Timeout.Reset();
}

TOptional<float> FCurlHttpRequest::GetTimeout() const
{
	return Timeout;
}

const FHttpResponsePtr FCurlHttpRequest::GetResponse() const
{
	return Response;
}

float FCurlHttpRequest::GetElapsedTime() const
{
	if (Status.load() == EHttpRequestStatus::NotStarted)
	{
		return 0.0f;
	}
	if (FinishedElapsedSeconds >= 0.0)
	{
		return static_cast<float>(FinishedElapsedSeconds);
	}
	return std::chrono::duration<float>(std::chrono::steady_clock::now() - StartTime).count();
}

const TCHAR* FCurlHttpRequest::FindRefusal() const
{
	if (Status.load() == EHttpRequestStatus::Processing)
	{
		return TEXT("the request is still in flight");
	}
	if (URL.IsEmpty())
	{
		return TEXT("the URL is empty");
	}
	if (!URL.StartsWith(TEXT("http://")) && !URL.StartsWith(TEXT("https://")))
	{
		return TEXT("the URL does not start with http:// or https://");
	}
	if ((Verb.IsEmpty() || Verb == TEXT("GET")) && Payload.Num() > 0)
	{
		return TEXT("a GET request cannot carry a body");
	}
	return nullptr;
}

bool FCurlHttpRequest::RefuseRequest(const TCHAR* Reason)
{
	UE_LOG(LogHttp, Warning, TEXT("%p: ProcessRequest failed: %s (URL=%s)"), this, Reason, *URL);
	// A request in flight keeps its state: only this call fails.
	if (Status.load() != EHttpRequestStatus::Processing)
	{
		Status = EHttpRequestStatus::Failed;
		Response.Reset();
	}
	CompleteDelegate.ExecuteIfBound(SharedThis(this), nullptr, false);
	return false;
}

void FCurlHttpRequest::WarnWhenContentTypeMissing() const
{
	if (Verb == TEXT("POST") && GetContentType().IsEmpty() && !IsURLEncoded(Payload))
	{
		// The engine stops on an assertion here; an error line makes the mistake just as visible in tests.
		UE_LOG(LogHttp, Error, TEXT("%p: POST to %s has no Content-Type header and a body that is not URL-encoded"), this, *URL);
	}
}

FCurlTransfer::FSetup FCurlHttpRequest::MakeSetup() const
{
	FCurlTransfer::FSetup Setup;
	Setup.Url = FTCHARToUTF8(*URL).Get();
	Setup.Verb = Verb.IsEmpty() ? std::string("GET") : std::string(FTCHARToUTF8(*Verb).Get());
	for (const FString& Line : GetAllHeaders())
	{
		Setup.HeaderLines.emplace_back(FTCHARToUTF8(*Line).Get());
	}
	Setup.Body.assign(reinterpret_cast<const char*>(Payload.GetData()), static_cast<size_t>(Payload.Num()));
	Setup.BodyStream = ResponseBodyReceiveStream;
	Setup.InactivitySeconds = Timeout.IsSet() ? static_cast<double>(Timeout.GetValue()) : 0.0;
	return Setup;
}

bool FCurlHttpRequest::ProcessRequest()
{
	if (const TCHAR* Refusal = FindRefusal())
	{
		return RefuseRequest(Refusal);
	}
	WarnWhenContentTypeMissing();
	FHttpManager& Manager = FHttpModule::Get().GetHttpManager();

	Response.Reset();
	bCanceled = false;
	News = FCurlTransfer::FNews();
	NewHeaders.Reset();
	LastReportedBytesSent = 0;
	LastReportedBytesReceived = 0;
	StartTime = std::chrono::steady_clock::now();
	FinishedElapsedSeconds = -1.0;
	Transfer = std::make_shared<FCurlTransfer>(MakeSetup());
	Worker = Manager.GetWorker();
	Status = EHttpRequestStatus::Processing;

	if (!Manager.AddThreadedRequest(SharedThis(this), Transfer))
	{
		Transfer.reset();
		Status = EHttpRequestStatus::NotStarted;
		return RefuseRequest(TEXT("the HTTP thread is not running"));
	}
	UE_LOG(LogHttp, Verbose, TEXT("%p: %s %s"), this, *Verb, *URL);
	return true;
}

void FCurlHttpRequest::CancelRequest()
{
	if (Status.load() != EHttpRequestStatus::Processing || bCanceled)
	{
		UE_LOG(LogHttp, Verbose, TEXT("%p: CancelRequest ignored: the request is not in flight"), this);
		return;
	}
	bCanceled = true;
	UE_LOG(LogHttp, Verbose, TEXT("%p: cancelling (URL=%s)"), this, *URL);
	if (const std::shared_ptr<FCurlWorker> Running = Worker.lock())
	{
		Running->CancelTransfer(Transfer);
	}
}

bool FCurlHttpRequest::TickFromManager()
{
	if (Status.load() != EHttpRequestStatus::Processing || !Transfer)
	{
		return false;
	}
	Transfer->TakeNews(News);
	ApplyNews();
	BroadcastProgress();
	BroadcastNewHeaders();
	// A delegate that flushed may already have finished this request in a nested tick.
	return Status.load() == EHttpRequestStatus::Processing && News.End != ECurlTransferEnd::None;
}

void FCurlHttpRequest::ApplyNews()
{
	if (!Response && (News.ResponseCode > 0 || !News.Body.empty()))
	{
		Response = MakeShared<FCurlHttpResponse>(URL);
	}
	if (Response)
	{
		if (News.ResponseCode > 0)
		{
			Response->SetResponseCode(News.ResponseCode);
		}
		Response->AppendContent(News.Body.data(), static_cast<int32>(News.Body.size()));
		for (const std::pair<std::string, std::string>& Header : News.Headers)
		{
			const FString Name = FromUTF8(Header.first);
			const FString& Value = Response->AddHeader(Name, FromUTF8(Header.second));
			NewHeaders.Emplace(Name, Value);
		}
	}
	// Cleared, not freed: the capacity goes back to the HTTP thread at the next swap.
	News.Body.clear();
}

void FCurlHttpRequest::BroadcastProgress()
{
	const int64 Sent = News.BytesSent;
	const int64 Received = Response ? News.BytesReceived : LastReportedBytesReceived;
	if (Sent == LastReportedBytesSent && Received == LastReportedBytesReceived)
	{
		return;
	}
	LastReportedBytesSent = Sent;
	LastReportedBytesReceived = Received;
	ProgressDelegate.ExecuteIfBound(SharedThis(this), ClampToInt32(Sent), ClampToInt32(Received));
}

void FCurlHttpRequest::BroadcastNewHeaders()
{
	// Moved out first: a delegate may tick the manager again.
	TArray<TPair<FString, FString>> Delivered;
	Swap(Delivered, NewHeaders);
	for (const TPair<FString, FString>& Header : Delivered)
	{
		HeaderDelegate.ExecuteIfBound(SharedThis(this), Header.Key, Header.Value);
	}
}

void FCurlHttpRequest::StopClock()
{
	FinishedElapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - StartTime).count();
}

void FCurlHttpRequest::FinishRequest()
{
	if (Status.load() != EHttpRequestStatus::Processing)
	{
		return;
	}
	StopClock();
	Transfer.reset();
	const bool bCompleted = News.End == ECurlTransferEnd::Completed && Response && Response->GetResponseCode() > 0;
	if (bCompleted && !bCanceled)
	{
		Status = EHttpRequestStatus::Succeeded;
		UE_LOG(LogHttp, Verbose, TEXT("%p: finished with %d (URL=%s)"), this, Response->GetResponseCode(), *URL);
		CompleteDelegate.ExecuteIfBound(SharedThis(this), Response, true);
		return;
	}

	if (bCanceled || News.End == ECurlTransferEnd::Cancelled)
	{
		UE_LOG(LogHttp, Log, TEXT("%p: request cancelled (URL=%s)"), this, *URL);
	}
	else if (News.End == ECurlTransferEnd::Completed)
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: request failed: no HTTP status received (URL=%s)"), this, *URL);
	}
	else
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: request failed: %s (URL=%s)"), this, UTF8_TO_TCHAR(News.Error.c_str()), *URL);
	}
	// The caller sees what arrived, if anything did; the request itself keeps no response.
	FHttpResponsePtr Partial;
	if (News.bAnyByteReceived)
	{
		Partial = Response ? FHttpResponsePtr(Response) : FHttpResponsePtr(MakeShared<FCurlHttpResponse>(URL));
	}
	Response.Reset();
	Status = News.bAnyByteReceived ? EHttpRequestStatus::Failed : EHttpRequestStatus::Failed_ConnectionError;
	CompleteDelegate.ExecuteIfBound(SharedThis(this), Partial, false);
}

void FCurlHttpRequest::UnbindDelegates()
{
	CompleteDelegate.Unbind();
	ProgressDelegate.Unbind();
	HeaderDelegate.Unbind();
}

void FCurlHttpRequest::Abandon()
{
	if (Status.load() != EHttpRequestStatus::Processing)
	{
		return;
	}
	StopClock();
	Transfer.reset();
	Response.Reset();
	Status = EHttpRequestStatus::Failed;
}
