// How a request finishes (the engine's FCurlHttpRequest::FinishRequest): on the game thread, from
// FHttpManager::Tick, once its transfer has ended. Only here does the response learn its status
// code and become ready to read.

#include "Containers/StringConv.h"
#include "CurlHttpRequest.h"
#include "CurlHttpResponse.h"
#include "HttpLog.h"

void FCurlHttpRequest::StopClock()
{
	FinishedElapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - StartTime).count();
}

void FCurlHttpRequest::FinishRequest()
{
	if (!Transfer)
	{
		return;
	}
	StopClock();
	CheckProgressDelegate();
	bool bSucceeded = false;
	if (News.End == ECurlTransferEnd::Completed)
	{
		CurlCompletionResult = News.CurlResult;
		bSucceeded = Response && ReadCompletion();
	}
	if (Response)
	{
		BroadcastNewlyReceivedHeaders();
		Response->MarkReady();
	}
	InfoMessages = Transfer ? Transfer->TakeInfoMessages() : std::vector<std::pair<int32, FString>>();
	Transfer.reset();

	if (bSucceeded)
	{
		LogSuccess();
		Status = EHttpRequestStatus::Succeeded;
		CompleteDelegate.ExecuteIfBound(SharedThis(this), Response, true);
		return;
	}
	LogFailure();
	Status = GetFailedStatus();
	// The delegate sees what arrived, if anything did; the request keeps no response afterwards.
	CompleteDelegate.ExecuteIfBound(SharedThis(this), Response, false);
	Response.Reset();
}

bool FCurlHttpRequest::ReadCompletion()
{
	Response->SetCompletionInfo(News.ResponseCode, static_cast<uint64>(News.DownloadLength));
	if (Response->GetResponseCode() <= 0 && URL.StartsWith(TEXT("Http")))
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: invalid HTTP response code received. URL: %s, HTTP code: %d, content length: %llu, actual payload size: %llu"),
			this, *URL, Response->GetResponseCode(), Response->GetContentLength(), Response->GetTotalBytesRead());
		return false;
	}
	return CurlCompletionResult == CURLE_OK;
}

void FCurlHttpRequest::LogSuccess() const
{
	// The engine makes server errors (500 to 503) visible; everything else only when verbose.
	const int32 Code = Response->GetResponseCode();
	const bool bDebugServerResponse = Code >= 500 && Code <= 503;
	if (!bDebugServerResponse && !UE_LOG_ACTIVE(LogHttp, Verbose))
	{
		return;
	}
	if (bDebugServerResponse)
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: request has been successfully processed. URL: %s, HTTP code: %d, content length: %llu, actual payload size: %llu, elapsed: %.2fs"),
			this, *URL, Code, Response->GetContentLength(), Response->GetTotalBytesRead(), GetElapsedTime());
	}
	else
	{
		UE_LOG(LogHttp, Log, TEXT("%p: request has been successfully processed. URL: %s, HTTP code: %d, content length: %llu, actual payload size: %llu, elapsed: %.2fs"),
			this, *URL, Code, Response->GetContentLength(), Response->GetTotalBytesRead(), GetElapsedTime());
	}
	for (const FString& Header : Response->GetAllHeaders())
	{
		if (Header.StartsWith(TEXT("Authorization")) || Header.StartsWith(TEXT("Set-Cookie")))
		{
			continue;
		}
		if (bDebugServerResponse)
		{
			UE_LOG(LogHttp, Warning, TEXT("%p Response Header %s"), this, *Header);
		}
		else
		{
			UE_LOG(LogHttp, Verbose, TEXT("%p Response Header %s"), this, *Header);
		}
	}
}

void FCurlHttpRequest::LogFailure() const
{
	if (bCanceled)
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: request was cancelled"), this);
	}
	else if (News.End == ECurlTransferEnd::NotAdded)
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: request failed, libcurl multi error: %d (%s)"), this, static_cast<int32>(News.MultiResult),
			UTF8_TO_TCHAR(curl_multi_strerror(News.MultiResult)));
	}
	else
	{
		// A time-out leaves libcurl's last result in place: usually 0 ("No error"), as in the engine.
		UE_LOG(LogHttp, Warning, TEXT("%p: request failed, libcurl error: %d (%s)"), this, static_cast<int32>(CurlCompletionResult),
			UTF8_TO_TCHAR(curl_easy_strerror(CurlCompletionResult)));
	}
	if (bCanceled)
	{
		return;
	}
	// What libcurl said along the way, so the failure can be told from the log alone.
	for (const std::pair<int32, FString>& Message : InfoMessages)
	{
		UE_LOG(LogHttp, Warning, TEXT("%p: libcurl info message cache %d (%s)"), this, Message.first, *Message.second);
	}
}

EHttpRequestStatus::Type FCurlHttpRequest::GetFailedStatus() const
{
	if (bCanceled)
	{
		return EHttpRequestStatus::Failed;
	}
	if (News.End == ECurlTransferEnd::Completed)
	{
		switch (CurlCompletionResult)
		{
		case CURLE_COULDNT_CONNECT:
		case CURLE_COULDNT_RESOLVE_PROXY:
		case CURLE_COULDNT_RESOLVE_HOST:
		case CURLE_SSL_CONNECT_ERROR:
			// Safe to retry: the server never saw the request.
			return EHttpRequestStatus::Failed_ConnectionError;
		default:
			return EHttpRequestStatus::Failed;
		}
	}
	return News.bAnyActivity ? EHttpRequestStatus::Failed : EHttpRequestStatus::Failed_ConnectionError;
}
