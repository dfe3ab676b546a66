#pragma once

#include "Containers/Ticker.h"
#include "CoreMinimal.h"
#include "Kismet/BlueprintAsyncActionBase.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"
#include "TalvaneAsyncRequest.generated.h"

class UTalvaneSubsystem;

DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FTalvaneAsyncProgressPin, const FString&, Text, const FString&, Reasoning);

DECLARE_DYNAMIC_MULTICAST_DELEGATE_ThreeParams(FTalvaneAsyncFailurePin, int32, StatusCode, const FString&, Body, const FString&, ErrorMessage);

/**
 * What the per-request Blueprint nodes share: one request sent through the Talvane subsystem of the
 * world context's game instance, and pins that fire for that request alone. OnProgress fires as a
 * streamed answer arrives (the text and reasoning so far, or only the new text in delta mode); then
 * exactly one of OnSuccess (on the subclass) and OnFailure. OnFailure carries the status code (0
 * when no answer arrived), the raw body and the error message read from it.
 *
 * The node lives with the game instance it registered with until the request ends. When its world
 * context object is destroyed, or its game instance ends (its subsystem is deinitialised), the node
 * cancels its request and fires nothing more.
 *
 * The node itself is an output pin ("Async Action"), so a graph can keep it and call Cancel.
 */
UCLASS(Abstract, meta = (ExposedAsyncProxy = "AsyncAction"))
class TALVANESUBSYSTEM_API UTalvaneAsyncRequest : public UBlueprintAsyncActionBase
{
	GENERATED_BODY()

public:
	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncProgressPin OnProgress;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncFailurePin OnFailure;

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
	/** Fires OnSuccess with the answer's record, parsed from the body. */
	virtual void BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome);

private:
	void HandleProgress(const FString& InText, const FString& InReasoning);
	void HandleOutcome(const FTalvaneRequestOutcome& InOutcome);
	/** Fires OnFailure (once) and ends the node. */
	void Fail(int32 InCode, const FString& InBody, const FString& InMessage);
	/** The core ticker's call: gives up when the world context or the game instance has gone. */
	bool WatchWorld(float DeltaTime);
	/** Whether the node's world context is still there and the subsystem it sent through has not shut down. */
	bool IsWorldAlive() const;
	/** Cancels the request without a word and ends the node. */
	void Abandon();
	/** Stops listening and watching, and releases the node. */
	void End();

	FWeakObjectPtr WorldContext;
	bool bHadWorldContext = false;
	TWeakObjectPtr<UTalvaneSubsystem> Subsystem;
	FGuid RequestID;
	FTSTicker::FDelegateHandle WorldWatch;
	bool bActivated = false;
	bool bEnded = false;
};
