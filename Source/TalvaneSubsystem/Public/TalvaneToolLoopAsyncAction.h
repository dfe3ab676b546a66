#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneToolLoop.h"
#include "TalvaneType.h"
#include "TalvaneToolLoopAsyncAction.generated.h"

/** Every pin of the tool loop node: the data of the chat node's pins, then the tool call a pin reports (empty but on OnToolCall). */
DECLARE_DYNAMIC_MULTICAST_DELEGATE_EightParams(FTalvaneAsyncToolLoopPin, const FNimbrelChatResponses&, Response, const FString&, Text,
	const FString&, Reasoning, int32, StatusCode, const FString&, Body, const FString&, ErrorMessage,
	const FTalvaneRequestTimings&, Timings, const FTalvaneToolCallReport&, ToolCall);

/**
 * The "Nimbrel Chat With Tools" node: a question answered with the help of a game object's functions
 * (see FTalvaneToolLoop). OnProgress fires as each streamed answer arrives, OnToolCall as each call is
 * made (ToolCall: the name, the arguments, the result sent back), then exactly one of OnSuccess (the
 * final answer's Response and Text) and OnFailure (ErrorMessage says why: a list that cannot be
 * offered, the step limit, a cancel, a newer question on the record, a failed request).
 */
UCLASS()
class TALVANESUBSYSTEM_API UTalvaneToolLoopAsyncAction : public UTalvaneAsyncRequest
{
	GENERATED_BODY()

public:
	/**
	 * Asks the question with the named functions of Target offered as tools, runs each call the model
	 * makes and sends the results back, until an answer without tool calls or StepLimit requests (less
	 * than 1: 8). The question, each tool-call turn with its results, and the answer enter the record, so
	 * it must stay where it is until the node ends (a Blueprint variable, a UPROPERTY).
	 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Online",
		meta = (BlueprintInternalUseOnly = "true", WorldContext = "WorldContextObject", DisplayName = "Nimbrel Chat With Tools"))
	static UTalvaneToolLoopAsyncAction* NimbrelChatWithToolsAsync(UObject* WorldContextObject, const FString& InContent,
		UPARAM(ref) FNimbrelChatRequest& InRequest, UObject* Target, const TArray<FName>& FunctionNames, int32 StepLimit,
		const TMap<FString, FString>& InCustomMetadataHeader);

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncToolLoopPin OnProgress;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncToolLoopPin OnToolCall;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncToolLoopPin OnSuccess;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncToolLoopPin OnFailure;

protected:
	bool StartSending(UTalvaneSubsystem& InSubsystem) override;
	void CancelSent(UTalvaneSubsystem& InSubsystem) override;
	void AbandonSent(UTalvaneSubsystem& InSubsystem) override;
	void BroadcastReport(ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport) override;

private:
	void HandleToolCall(const FTalvaneToolCallReport& InCall);
	void HandleLoopOutcome(const FTalvaneToolLoopOutcome& InOutcome);

	FString Content;
	FNimbrelChatRequest* Record = nullptr;
	TWeakPtr<uint8> RecordLifetime;
	TWeakObjectPtr<UObject> Target;
	TArray<FName> FunctionNames;
	int32 StepLimit = FTalvaneToolLoop::DefaultMaxSteps;
	TMap<FString, FString> Headers;
	TSharedPtr<FTalvaneToolLoop> Loop;
};
