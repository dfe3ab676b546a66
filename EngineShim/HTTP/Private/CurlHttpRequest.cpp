#include "CurlHttpRequest.h"

#include "Containers/StringConv.h"
#include "CurlHttpResponse.h"
#include "CurlWorker.h"
#include "HttpLog.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "PlatformHttp.h"
#include "SslCertificateStore.h"

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

bool FCurlHttpRequest::IsInFlight() const
{
	return Status.load() == EHttpRequestStatus::Processing;
}

// The engine ignores every change to a request in flight, with a warning each.
void FCurlHttpRequest::SetVerb(const FString& InVerb)
{
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::SetVerb() - attempted to set verb on a request that is inflight"));
		return;
	}
	Verb = InVerb.ToUpper();
}

void FCurlHttpRequest::SetURL(const FString& InURL)
{
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::SetURL() - attempted to set url on a request that is inflight"));
		return;
	}
	URL = InURL;
}

void FCurlHttpRequest::SetContent(const TArray<uint8>& ContentPayload)
{
	SetContent(TArray<uint8>(ContentPayload));
}

void FCurlHttpRequest::SetContent(TArray<uint8>&& ContentPayload)
{
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::SetContent() - attempted to set content on a request that is inflight"));
		return;
	}
	Payload = MoveTemp(ContentPayload);
}

void FCurlHttpRequest::SetContentAsString(const FString& ContentString)
{
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::SetContentAsString() - attempted to set content on a request that is inflight"));
		return;
	}
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
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::SetHeader() - attempted to set header on a request that is inflight"));
		return;
	}
	Headers.Add(HeaderName, HeaderValue);
}

void FCurlHttpRequest::AppendToHeader(const FString& HeaderName, const FString& AdditionalHeaderValue)
{
	if (IsInFlight())
	{
		UE_LOG(LogHttp, Warning, TEXT("FCurlHttpRequest::AppendToHeader() - attempted to append to header on a request that is inflight"));
		return;
	}
	if (HeaderName.IsEmpty() || AdditionalHeaderValue.IsEmpty())
	{
		return;
	}
	const FString* Existing = Headers.Find(HeaderName);
	Headers.Add(HeaderName, Existing && !Existing->IsEmpty() ? *Existing + TEXT(", ") + AdditionalHeaderValue : AdditionalHeaderValue);
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

bool FCurlHttpRequest::ProcessRequest()
{
	// The engine drops the previous response first, whether the request then starts or not.
	Response.Reset();
	LastReportedBytesRead = 0;
	if (!PreCheck() || !SetupRequest())
	{
		return FinishRefusedRequest();
	}
	FHttpManager& Manager = FHttpModule::Get().GetHttpManager();
	bCanceled = false;
	News = FCurlTransfer::FNews();
	NewlyReceivedHeaders.Reset();
	LastReportedBytesSent = 0;
	StartTime = std::chrono::steady_clock::now();
	FinishedElapsedSeconds = -1.0;
	Transfer = std::make_shared<FCurlTransfer>(MakeSetup(MakeShared<FCurlHttpResponse>(URL, this)));
	Worker = Manager.GetWorker();
	Status = EHttpRequestStatus::Processing;

	if (!Manager.AddThreadedRequest(SharedThis(this), Transfer))
	{
		Transfer.reset();
		Status = EHttpRequestStatus::NotStarted;
		// Only the stand-in gets here (its HTTP thread failed to start); it ends as a refusal does.
		UE_LOG(LogHttp, Warning, TEXT("%p: ProcessRequest failed: the HTTP thread is not running (URL=%s)"), this, *URL);
		return FinishRefusedRequest();
	}
	UE_LOG(LogHttp, Log, TEXT("%p: Starting %s request to URL='%s'"), this, *Verb, *URL);
	UE_LOG(LogHttp, Verbose, TEXT("%p: request (easy handle:%p) has been added to threaded queue for processing"), this, Transfer.get());
	return true;
}

void FCurlHttpRequest::CancelRequest()
{
	if (!Transfer || bCanceled)
	{
		return;
	}
	bCanceled = true;
	UE_LOG(LogHttp, Verbose, TEXT("%p: HTTP request canceled.  URL=%s"), this, *URL);
	if (const std::shared_ptr<FCurlWorker> Running = Worker.lock())
	{
		Running->CancelTransfer(Transfer);
	}
}

bool FCurlHttpRequest::TickFromManager()
{
	// Keyed on the transfer, not the status: a refused second ProcessRequest fails the request's
	// status while its transfer goes on, and the engine still finishes that transfer (a second
	// completion call).
	if (!Transfer)
	{
		return false;
	}
	Transfer->TakeNews(News);
	ApplyNews();
	CheckProgressDelegate();
	BroadcastNewlyReceivedHeaders();
	// A delegate that flushed may already have finished this request in a nested tick.
	return Transfer && News.End != ECurlTransferEnd::None;
}

void FCurlHttpRequest::ApplyNews()
{
	if (!Response && News.bAnyByteReceived)
	{
		Response = Transfer->GetResponse();
	}
	for (const std::pair<std::string, std::string>& Header : News.Headers)
	{
		NewlyReceivedHeaders.Emplace(FString(UTF8_TO_TCHAR(Header.first.c_str())), FString(UTF8_TO_TCHAR(Header.second.c_str())));
	}
	News.Headers.clear();
}

void FCurlHttpRequest::CheckProgressDelegate()
{
	// The received count comes from the atomic total: reading the payload here would race.
	const uint64 CurrentBytesRead = Response ? Response->GetTotalBytesRead() : 0;
	const uint64 CurrentBytesSent = Transfer ? static_cast<uint64>(Transfer->GetBytesSent()) : LastReportedBytesSent;
	const bool bBytesSentChanged = CurrentBytesSent != LastReportedBytesSent;
	const bool bBytesReceivedChanged = Response && CurrentBytesRead != LastReportedBytesRead;
	if (!IsInFlight() || !(bBytesSentChanged || bBytesReceivedChanged))
	{
		return;
	}
	LastReportedBytesSent = CurrentBytesSent;
	if (Response)
	{
		LastReportedBytesRead = CurrentBytesRead;
	}
	// The engine narrows the 64-bit counts to the delegate's int32 as C++ does.
	ProgressDelegate.ExecuteIfBound(SharedThis(this), static_cast<int32>(LastReportedBytesSent), static_cast<int32>(LastReportedBytesRead));
}

void FCurlHttpRequest::BroadcastNewlyReceivedHeaders()
{
	if (!Response)
	{
		return;
	}
	// Moved out first: a delegate may tick the manager again.
	TArray<TPair<FString, FString>> Delivered;
	Swap(Delivered, NewlyReceivedHeaders);
	for (const TPair<FString, FString>& Header : Delivered)
	{
		Response->MergeHeader(Header.Key, Header.Value);
		HeaderDelegate.ExecuteIfBound(SharedThis(this), Header.Key, Header.Value);
	}
}

void FCurlHttpRequest::UnbindDelegates()
{
	CompleteDelegate.Unbind();
	ProgressDelegate.Unbind();
	HeaderDelegate.Unbind();
}

void FCurlHttpRequest::Abandon()
{
	if (!Transfer)
	{
		return;
	}
	StopClock();
	Transfer.reset();
	Response.Reset();
	Status = EHttpRequestStatus::Failed;
}
