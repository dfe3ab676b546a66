#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "Containers/Map.h"
#include "CurlTransfer.h"
#include "Interfaces/IHttpRequest.h"

class FCurlHttpResponse;
class FCurlWorker;

/**
 * A request run by libcurl on the HTTP thread. Its own fields belong to the game thread; each
 * ProcessRequest makes a fresh FCurlTransfer and response: the HTTP thread fills the response's
 * body, and the manager's Tick turns what arrived into delegate calls. The response is published
 * (GetResponse) once a byte of the answer has arrived, and is ready to read once FinishRequest ran.
 */
class FCurlHttpRequest : public IHttpRequest
{
public:
	FCurlHttpRequest();
	~FCurlHttpRequest() override;

	// IHttpBase
	FString GetURL() const override;
	FString GetHeader(const FString& HeaderName) const override;
	TArray<FString> GetAllHeaders() const override;
	FString GetContentType() const override;
	uint64 GetContentLength() const override;
	const TArray<uint8>& GetContent() const override;

	// IHttpRequest
	FString GetVerb() const override;
	void SetVerb(const FString& InVerb) override;
	void SetURL(const FString& InURL) override;
	void SetContent(const TArray<uint8>& ContentPayload) override;
	void SetContent(TArray<uint8>&& ContentPayload) override;
	void SetContentAsString(const FString& ContentString) override;
	bool SetResponseBodyReceiveStream(TSharedRef<FArchive> Stream) override;
	void SetHeader(const FString& HeaderName, const FString& HeaderValue) override;
	void AppendToHeader(const FString& HeaderName, const FString& AdditionalHeaderValue) override;
	void SetTimeout(float InTimeoutSecs) override;
	void ClearTimeout() override;
	TOptional<float> GetTimeout() const override;
	bool ProcessRequest() override;
	FHttpRequestCompleteDelegate& OnProcessRequestComplete() override { return CompleteDelegate; }
	FHttpRequestProgressDelegate& OnRequestProgress() override { return ProgressDelegate; }
	FHttpRequestHeaderReceivedDelegate& OnHeaderReceived() override { return HeaderDelegate; }
	void CancelRequest() override;
	EHttpRequestStatus::Type GetStatus() const override { return Status.load(); }
	const FHttpResponsePtr GetResponse() const override;
	float GetElapsedTime() const override;

	/** Manager, game thread: delivers what arrived (progress, then headers); true once the transfer has ended. */
	bool TickFromManager();
	/** Manager, game thread, after removing the request: sets the final status and runs the completion delegate. */
	void FinishRequest();
	/** Manager: drops the delegates, so nothing runs for this request any more. */
	void UnbindDelegates();
	/** Manager, when it goes away with the request unfinished: the request fails without a call. */
	void Abandon();

private:
	bool IsInFlight() const;
	/** The engine's PreCheck: logs why a request cannot start. */
	bool PreCheck() const;
	/** Completes a request that ProcessRequest refused, at once, as the engine does on the game thread. */
	bool FinishRefusedRequest();
	/** Refuses a GET with a body; adds the headers the engine adds. */
	bool SetupRequest();
	FCurlTransfer::FSetup MakeSetup(const TSharedPtr<FCurlHttpResponse, ESPMode::ThreadSafe>& NewResponse) const;
	void ApplyNews();
	void CheckProgressDelegate();
	void BroadcastNewlyReceivedHeaders();
	void StopClock();
	bool ReadCompletion();
	void LogSuccess() const;
	void LogFailure() const;
	EHttpRequestStatus::Type GetFailedStatus() const;

	FString URL;
	FString Verb = TEXT("GET");
	TMap<FString, FString> Headers;
	TArray<uint8> Payload;
	TOptional<float> Timeout;
	TSharedPtr<FArchive> ResponseBodyReceiveStream;

	FHttpRequestCompleteDelegate CompleteDelegate;
	FHttpRequestProgressDelegate ProgressDelegate;
	FHttpRequestHeaderReceivedDelegate HeaderDelegate;

	std::atomic<EHttpRequestStatus::Type> Status{EHttpRequestStatus::NotStarted};
	/** Published to callers once a byte of the answer has arrived; null after a failure. */
	TSharedPtr<FCurlHttpResponse, ESPMode::ThreadSafe> Response;
	std::shared_ptr<FCurlTransfer> Transfer;
	std::weak_ptr<FCurlWorker> Worker;
	bool bCanceled = false;
	/** libcurl's result of the last completed transfer; kept across attempts, as the engine keeps it. */
	CURLcode CurlCompletionResult = CURLE_OK;

	// What the last tick took from the transfer, and what was already reported.
	FCurlTransfer::FNews News;
	/** libcurl's last info texts of the finished transfer, for the failure log. */
	std::vector<std::pair<int32, FString>> InfoMessages;
	uint64 LastReportedBytesSent = 0;
	uint64 LastReportedBytesRead = 0;
	/** Headers taken from the transfer and not yet broadcast (a delegate may tick again meanwhile). */
	TArray<TPair<FString, FString>> NewlyReceivedHeaders;

	std::chrono::steady_clock::time_point StartTime;
	double FinishedElapsedSeconds = -1.0;
};
