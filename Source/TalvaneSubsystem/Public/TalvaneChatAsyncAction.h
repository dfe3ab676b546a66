#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneType.h"
#include "TalvaneChatAsyncAction.generated.h"

/** Every pin of the chat nodes, with the data of FTalvaneNodeReport after the response. */
DECLARE_DYNAMIC_MULTICAST_DELEGATE_SevenParams(FTalvaneAsyncChatPin, const FNimbrelChatResponses&, Response, const FString&, Text,
	const FString&, Reasoning, int32, StatusCode, const FString&, Body, const FString&, ErrorMessage,
	const FTalvaneRequestTimings&, Timings);

/**
 * The "Nimbrel Chat" node: one chat request to the cloud service with pins of its own. OnSuccess's
 * Response is the whole parsed answer: content, reasoning, tool calls, finish reason and usage; for a
 * streamed answer they are put together from its deltas.
 */
UCLASS()
class TALVANESUBSYSTEM_API UTalvaneChatAsyncAction : public UTalvaneAsyncRequest
{
	GENERATED_BODY()

public:
	/**
	 * Appends the question to the record's conversation and sends it when the node runs. The answer is
	 * added to the record when it arrives, so the record must stay where it is until then (a Blueprint
	 * variable, a UPROPERTY).
	 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Online",
		meta = (BlueprintInternalUseOnly = "true", WorldContext = "WorldContextObject", DisplayName = "Nimbrel Chat"))
	static UTalvaneChatAsyncAction* NimbrelChatAsync(UObject* WorldContextObject, const FString& InContent,
		UPARAM(ref) FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncChatPin OnProgress;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncChatPin OnSuccess;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncChatPin OnFailure;

protected:
	FGuid SendRequest(UTalvaneSubsystem& InSubsystem) override;
	void BroadcastReport(ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport) override;
	void BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome) override;

private:
	FString Content;
	FNimbrelChatRequest* Record = nullptr;
	TWeakPtr<uint8> RecordLifetime;
	TMap<FString, FString> Headers;
};
