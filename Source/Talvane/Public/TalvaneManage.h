#pragma once

#include "Containers/Ticker.h"
#include "CoreMinimal.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneType.h"

class IHttpRequest;
class IHttpResponse;

namespace TalvaneHttp
{
	struct FHTTP;
	class FTalvaneReceivedBody;
}

struct FTalvaneRequestState;

/** Reports a finished or failed request: protocol, answer texts, reasoning texts, message, request headers. */
DECLARE_DELEGATE_FiveParams(FTalvaneResponseDelegate, ENimbrelProtocol, const TArray<FString>&, const TArray<FString>&,
	const FString&, const FNimbrelContextInfo&);

/** Reports a streamed answer as it arrives: protocol, answer text, reasoning text, request headers, byte counts. */
DECLARE_DELEGATE_SixParams(FTalvaneProgressDelegate, ENimbrelProtocol, const FString&, const FString&,
	const FNimbrelContextInfo&, int32, int32);

/** How one request ended, as its own listener hears it. */
struct FTalvaneRequestOutcome
{
	ENimbrelProtocol Protocol = ENimbrelProtocol::NIMBREL_NONE;
	/** The answer is whole and reached the success report; false for every failure. */
	bool bSucceeded = false;
	/** The request asked for a streamed answer, so Body is an event stream when the server sent one. */
	bool bStreamed = false;
	/** The HTTP status code; 0 when no answer arrived at all. */
	int32 Code = 0;
	/** The body as it arrived, every event of a stream included. */
	FString Body;
	/** For a failure, what went wrong in a few plain words: the error's own message when the body carries one. */
	FString Message;
	/** How long the request took, and the token usage when the server sent it. */
	FTalvaneRequestTimings Timings;
};

/** Reports the end of one request to its own listener. */
DECLARE_DELEGATE_OneParam(FTalvaneRequestOutcomeDelegate, const FTalvaneRequestOutcome&);

/** What one request's own listener is told: its progress reports, then exactly one outcome. */
struct FTalvaneRequestListener
{
	FTalvaneProgressDelegate OnProgress;
	FTalvaneRequestOutcomeDelegate OnComplete;
};

/**
 * Issues chat, local chat and fill-in-the-middle requests and turns their answers into success,
 * progress and failure reports. Each request keeps its own state (the record whose conversation it
 * extends, its stream decoder and the text reported so far), so any number may be in flight at once.
 *
 * A failed request can be sent again, if the engine ini asks for it ("[Talvane] MaxRetries"): the
 * retry keeps the request's GUID and record, waits on the core ticker, and the caller hears only the
 * final outcome. Destroying the manager cancels its requests and forgets its retries.
 *
 * Everything runs on the game thread. The manager must stay at one address while it has a transport,
 * which is why it can be neither copied nor moved.
 */
class TALVANE_API FTalvaneManage
{
public:
	FTalvaneManage();
	~FTalvaneManage();
	FTalvaneManage(const FTalvaneManage&) = delete;
	FTalvaneManage(FTalvaneManage&&) = delete;
	FTalvaneManage& operator=(const FTalvaneManage&) = delete;
	FTalvaneManage& operator=(FTalvaneManage&&) = delete;

	/** Builds a new transport (dropping any earlier one, its API key and its requests). */
	void Init();
	/** Builds the transport unless it exists. */
	void CheckBuildInit();
	/** Whether the transport exists. */
	bool IsValid() const;

	/** Sets the API key sent with every later request; nothing is sent while it is empty. */
	void SetAPIKey(const FString& InAPIKey);
	/** True (the default): progress and success carry the whole text so far. False: progress carries only new text. */
	void SetStreamCombinedReply(bool bNewStreamCombinedReply);
	bool IsStreamCombinedReply() const;

	/**
	 * Appends the question to InRequest.Messages and sends it; returns the request GUID, all zero when
	 * nothing was sent. The answer is written into InRequest when it arrives, so keep the record at a
	 * stable address until then (a UPROPERTY, a Blueprint variable, a TArray<TUniquePtr<...>>), never
	 * as an element of a TArray that may grow meanwhile. A record destroyed first is never written.
	 *
	 * The newest question wins: a request still in flight (or waiting to be sent again) on the same
	 * record is cancelled and ends as a failure whose message is GetSupersededMessage(); its answer
	 * never enters the record. A game that wants both answers sends them on two records.
	 */
	FGuid NimbrelChatRequest(const FString& InContent, FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);
	/**
	 * Sends one step of a tool loop (see FTalvaneToolLoop) on InRequest. With InQuestion, as
	 * NimbrelChatRequest: the question is appended and requests in flight on the record are superseded.
	 * Without it (null), the conversation as it stands, whose last messages are tool results. Either way
	 * the answer is not written into the record: the loop writes its turns itself. A newer question on
	 * the record supersedes a step as it does any request.
	 */
	FGuid NimbrelChatToolStep(const FString* InQuestion, FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);
	/** Sends a fill-in-the-middle request; its answer enters no conversation. */
	FGuid NimbrelFIMRequest(FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);
	/**
	 * Appends the question to InRequest.Messages and sends it to the local chat server. As with
	 * NimbrelChatRequest, keep the record at a stable address until the answer has arrived, and a
	 * request still in flight on the same record is superseded.
	 */
	FGuid NimbrelLocalChatRequest(const FString& InContent, FNimbrelLocalChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);

	/** Cancels a request in flight, or waiting to be sent again; it then completes as a failure. */
	void CancelRequest(const FGuid& InRequestID);
	/** Whether the request is still in flight (or waiting to be sent again). False on a manager without a transport. */
	bool IsValidRequest(const FGuid& InRequestID) const;

	/**
	 * Lets InListener hear the request alone, besides the manager's own delegates: each progress report
	 * as ProgressDelegate gets it, then one outcome when the request ends (a retry is no end). Does
	 * nothing for a request that is not in flight.
	 */
	void SetRequestListener(const FGuid& InRequestID, FTalvaneRequestListener InListener);
	/** Stops a request's listener from hearing anything more. */
	void RemoveRequestListener(const FGuid& InRequestID);

	/**
	 * The timings of a request: what is known so far while it is in flight, and the final ones while
	 * its last report is delivered (inside the success or failure delegates and its listener's outcome).
	 * False once that report has been delivered, and for a GUID the manager does not know.
	 */
	bool GetRequestTimings(const FGuid& InRequestID, FTalvaneRequestTimings& OutTimings) const;

	/**
	 * Cancels every request in flight or waiting to be sent again and releases the transport, telling
	 * nobody: neither the delegates nor any listener hears of these requests again. For an owner that
	 * is going away; a later request builds a new transport.
	 */
	void Shutdown();

	/** The failure message of a request that a newer question on the same record superseded. */
	static const FString& GetSupersededMessage();

	/** Finds the statements of a growing text not reported before; see TalvaneJson::HandleStreamStatementResponses. */
	void HandleStreamStatementResponses(const FString& InOriginalStreamStatement, TArray<FString>& InStatementCache,
		TArray<FString>& OutDifferentStatement, bool bIncludeLastSentence);

	FTalvaneResponseDelegate SuccessDelegate;
	FTalvaneProgressDelegate ProgressDelegate;
	FTalvaneResponseDelegate FailureDelegate;

protected:
	void AddAskQuestion(const FString& InQuestion, TArray<FNimbrelContextMessage>& InMessages);
	void AddAnswer(const FString& InAnswer, TArray<FNimbrelContextMessage>& InMessages);

	void OnRequestComplete(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, TSharedPtr<IHttpResponse, ESPMode::ThreadSafe> Response,
		bool bConnectedSuccessfully);
	void OnErrorHandle(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, TSharedPtr<IHttpResponse, ESPMode::ThreadSafe> Response);
	void OnErrorHandle(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, int32 Code, const FString& Content);

	void OnRequestProgress(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, int32 BytesSent, int32 BytesReceived);
	void OnRequestProgress64(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, uint64 BytesSent, uint64 BytesReceived);

	/**
	 * Starts tracking a request that was sent: Body is where its answer arrives, Messages and Lifetime
	 * name the conversation it extends, if any. A request that asked for a whole answer has no stream to
	 * decode while it arrives.
	 */
	void TrackRequest(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& InRequest,
		TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> InBody, ENimbrelProtocol InProtocol,
		TArray<FNimbrelContextMessage>* InMessages, TWeakPtr<uint8> InLifetime, bool bInStream = true);

	/** How many requests the manager still keeps state for (those in flight). */
	int32 GetTrackedRequestCount() const { return Requests.Num(); }

private:
	/** A failed request waiting on the core ticker to be sent again, with the failure to report should it be cancelled. */
	struct FPendingRetry
	{
		TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request;
		TSharedPtr<FTalvaneRequestState> State;
		FTSTicker::FDelegateHandle Ticker;
		int32 Code = 0;
		FString Body;
	};

	/** Sends a failed request again later when it may be; true when it will be (and nothing is reported now). */
	bool ScheduleRetry(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response,
		const TSharedPtr<FTalvaneRequestState>& State);
	/** The ticker's call: sends the request again under its GUID, or reports its failure when the engine refuses. */
	void SendAgain(const FGuid& InRequestID);
	/** Stops a waiting retry and reports its failure; false when the request is not waiting. */
	bool CancelPendingRetry(const FGuid& InRequestID);
	/** Reports the failure of a request that waits to be sent again, with its timings readable meanwhile. */
	void ReportPendingFailure(const FPendingRetry& InPending, int32 InCode, const FString& InContent, const FString& InMessage);
	/** Forgets every waiting retry, silently. */
	void DropPendingRetries();
	/** Cancels every request of the transport that is still in flight. */
	void CancelRequestsInFlight();
	/**
	 * Cancels every request in flight or waiting to be sent again whose answer would extend InMessages
	 * (of the record InLifetime watches): the question about to be sent replaces theirs in the record.
	 */
	void SupersedeRequestsOn(const TArray<FNimbrelContextMessage>& InMessages, const TWeakPtr<uint8>& InLifetime);

	/** Reports a failure to the delegate and to the request's listener, with Message in plain words (see FTalvaneRequestOutcome). */
	void ReportFailure(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, int32 Code, const FString& Content, const FString& Message);
	/** Tells the request's listener, if it has one, how the request ended, and forgets the listener. */
	void ReportOutcome(const IHttpRequest& Request, bool bSucceeded, int32 Code, const FString& Body, const FString& Message);
	/** Passes a progress report on to the request's listener, if it has one. */
	void ReportProgressToListener(const IHttpRequest& Request, ENimbrelProtocol InProtocol, const FString& InText, const FString& InReasoning,
		const FNimbrelContextInfo& InMeta, int32 BytesSent, int32 BytesReceived) const;

	/** Tracks the request the transport sent under InRequestID; nothing when nothing was sent. */
	void TrackSentRequest(const FGuid& InRequestID, ENimbrelProtocol InProtocol, TArray<FNimbrelContextMessage>* InMessages,
		TWeakPtr<uint8> InLifetime, bool bInStream);
	TSharedPtr<FTalvaneRequestState> FindRequestState(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request) const;
	TSharedPtr<FTalvaneRequestState> TakeRequestState(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request);
	/** The body of a finished request: its state's, or the transport's, or (neither kept one) the response's. */
	FString GetBodyText(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response,
		const FTalvaneRequestState* State) const;

	/** What OnRequestComplete does once a request has ended for good (no retry), while its timings are readable. */
	void CompleteRequest(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response,
		bool bConnectedSuccessfully, TSharedPtr<FTalvaneRequestState> State);
	/** Reads the token usage of a finished body into State, when the body carries one. */
	static void ReadUsage(const FString& InBody, bool bStream, FTalvaneRequestState& State);
	/** The timings of one request, from its state; InCompletedSeconds negative while it is in flight. */
	static FTalvaneRequestTimings MakeTimings(const FTalvaneRequestState* State, double InCompletedSeconds);

	void CompleteChat(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const FString& Body, bool bStream,
		FTalvaneRequestState* State);
	/** Reports, as progress, the text that only the end of a streamed body completed. */
	void ReportLastProgress(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, FTalvaneRequestState& State,
		const FString& NewText, const FString& NewReasoning);
	void CompleteFIM(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const FString& Body, bool bStream,
		const FTalvaneRequestState* State);

	TSharedPtr<TalvaneHttp::FHTTP, ESPMode::ThreadSafe> HTTP;
	bool bStreamCombinedReply = true;
	/**
	 * State of each request in flight, by the engine request object; an entry goes when its request
	 * completes. Keyed by the object, not by a header: a caller may send a "RequestID" header of its own.
	 */
	TMap<const IHttpRequest*, TSharedPtr<FTalvaneRequestState>> Requests;
	/** Failed requests waiting to be sent again, by the GUID their callers hold. */
	TMap<FGuid, FPendingRetry> PendingRetries;
	/**
	 * Listeners of single requests, by the engine request object: a retry sends the same object again,
	 * and an entry goes with its request's outcome, so no entry outlives its request.
	 */
	TMap<const IHttpRequest*, FTalvaneRequestListener> Listeners;

	/** A request whose last report is being delivered: its state stays readable for its timings until then. */
	struct FDelivery
	{
		FGuid RequestID;
		TSharedPtr<FTalvaneRequestState> State;
		double CompletedSeconds = 0.0;
	};
	/** The requests whose last report is being delivered, by engine request object; an entry lives only as long as that. */
	TMap<const IHttpRequest*, FDelivery> Deliveries;
};
