#pragma once

#include "Containers/Ticker.h"
#include "CoreMinimal.h"
#include "Kismet/BlueprintAsyncActionBase.h"
#include "TalvaneManage.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneType.h"
#include "TalvaneAsyncRequest.generated.h"

class UTalvaneSubsystem;

/**
 * What every exec pin of a request node carries besides the parsed response, in pin order. The editor
 * makes a node's data pins from its first delegate alone, so all three delegates of a node class share
 * one parameter list: (Response, Text, Reasoning, StatusCode, Body, ErrorMessage, Timings). To add a
 * datum, add it here, to each node class's delegate declaration (SevenParams becomes EightParams) and to
 * BroadcastPin.
 */
struct FTalvaneNodeReport
{
	/** The answer's text: so far (or only the new text in delta mode) on progress, whole on success. */
	FString Text;
	/** The reasoning text, as Text. */
	FString Reasoning;
	/** The HTTP status code once the request has ended; 0 on progress, and when no answer arrived. */
	int32 StatusCode = 0;
	/** The raw body once the request has ended. */
	FString Body;
	/** On failure, what went wrong; empty otherwise. */
	FString ErrorMessage;
	/** How long the request has taken so far; whole once it has ended (see FTalvaneRequestTimings). */
	FTalvaneRequestTimings Timings;
};

/** The pins a node fires without a parsed response. */
enum class ETalvaneNodePin : uint8
{
	Progress,
	Failure,
};

/**
 * What the per-request Blueprint nodes share: one request sent through the Talvane subsystem of the
 * world context's game instance, and pins that fire for that request alone. OnProgress fires as a
 * streamed answer arrives (Text and Reasoning so far, or only the new text in delta mode); then
 * exactly one of OnSuccess and OnFailure. Every pin carries the same data pins: the parsed Response
 * (empty but on success), Text, Reasoning, StatusCode (0 when no answer arrived), the raw Body,
 * the ErrorMessage (on failure) and the Timings so far. Each node class declares its three delegates with its response type.
 *
 * The node lives with the game instance it registered with until the request ends. When its world
 * context object is destroyed, or its game instance ends (its subsystem is deinitialised), the node
 * cancels its request and fires nothing more.
 *
 * The node itself is an output pin (shown as "AsyncAction"), so a graph can keep it and call Cancel.
 */
UCLASS(Abstract, meta = (ExposedAsyncProxy = "AsyncAction"))
class TALVANESUBSYSTEM_API UTalvaneAsyncRequest : public UBlueprintAsyncActionBase
{
	GENERATED_BODY()

public:
	/**
	 * Cancels the request and ends the node: OnFailure then fires once with "The request was cancelled.",
	 * unless the node has already ended. When the subsystem has shut down already, that happens at once;
	 * otherwise as the cancelled request completes, on a later tick (if the game instance ends before
	 * that, the node ends without a word, as at any end of its game instance).
	 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel")
	void Cancel();

	/** The GUID of the request; all zero until it is sent, and when nothing could be sent. */
	const FGuid& GetRequestID() const { return RequestID; }
	/** Whether the node has fired its last pin, or gave up with its world. */
	bool HasEnded() const { return bEnded; }

	void Activate() override;
	void BeginDestroy() override;

protected:
	/** Remembers the world context; the factories call it. */
	void SetWorldContext(const UObject* InWorldContextObject);

	/** Sends the request through the subsystem; returns its GUID, all zero when nothing was sent. Each node class sends its own kind. */
	virtual FGuid SendRequest(UTalvaneSubsystem& InSubsystem);
	/** Fires the node class's OnProgress or OnFailure with the report and an empty response. */
	virtual void BroadcastReport(ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport);
	/** Fires OnSuccess with the answer's record, parsed from the body, its text, status code and body. */
	virtual void BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome);

	/**
	 * Sends through InSubsystem and listens to what was sent; false when nothing was (the node has then
	 * failed). By default one request of SendRequest, heard through the subsystem.
	 */
	virtual bool StartSending(UTalvaneSubsystem& InSubsystem);
	/** Cancels what was sent, so that its failure reaches the node later. */
	virtual void CancelSent(UTalvaneSubsystem& InSubsystem);
	/** Cancels what was sent once the node has ended: nothing of it may reach the node. */
	virtual void AbandonSent(UTalvaneSubsystem& InSubsystem);

	/** Fires OnProgress, with the timings so far of InTimedRequestID (the node's request, or a tool loop's current step). */
	void HandleProgress(const FString& InText, const FString& InReasoning, const FGuid& InTimedRequestID);
	void HandleOutcome(const FTalvaneRequestOutcome& InOutcome);
	/** Fires OnFailure (once) and ends the node. */
	void Fail(int32 InCode, const FString& InBody, const FString& InMessage, const FTalvaneRequestTimings& InTimings = FTalvaneRequestTimings());
	/** Whether the node's world context is still there and the subsystem it sent through has not shut down. */
	bool IsWorldAlive() const;
	/** The subsystem the node sent through; null before it ran, and once collected. */
	UTalvaneSubsystem* GetSender() const { return Subsystem.Get(); }
	/** Cancels what was sent without a word and ends the node. */
	void Abandon();
	/** Stops listening and watching, and releases the node. */
	void End();

	/** Fires one of a node class's delegates: the response, then the report's data in pin order. */
	template <typename TPinDelegate, typename TResponse>
	static void BroadcastPin(const TPinDelegate& InPin, const TResponse& InResponse, const FTalvaneNodeReport& InReport)
	{
		InPin.Broadcast(InResponse, InReport.Text, InReport.Reasoning, InReport.StatusCode, InReport.Body, InReport.ErrorMessage,
			InReport.Timings);
	}

private:
	/** The core ticker's call: gives up when the world context or the game instance has gone. */
	bool WatchWorld(float DeltaTime);

	FWeakObjectPtr WorldContext;
	bool bHadWorldContext = false;
	TWeakObjectPtr<UTalvaneSubsystem> Subsystem;
	FGuid RequestID;
	FTSTicker::FDelegateHandle WorldWatch;
	bool bActivated = false;
	bool bEnded = false;
};
