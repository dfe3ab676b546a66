#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneType.h"
#include "UObject/Object.h"
#include "AsyncNodeTestListener.generated.h"

/** Records what a request node's pins fire, bound with AddDynamic as a Blueprint graph binds them. */
UCLASS()
class UAsyncNodeTestListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleChatProgress(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		RecordProgress(Response.Choices.Num() > 0, {Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	UFUNCTION()
	void HandleChatSuccess(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		ChatSuccesses.Add(Response);
		SuccessReports.Add({Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	UFUNCTION()
	void HandleChatFailure(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		RecordFailure(Response.Choices.Num() > 0, {Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	UFUNCTION()
	void HandleFIMProgress(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		RecordProgress(Response.Choices.Num() > 0, {Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	UFUNCTION()
	void HandleFIMSuccess(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		FIMSuccesses.Add(Response);
		SuccessReports.Add({Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	UFUNCTION()
	void HandleFIMFailure(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
	{
		RecordFailure(Response.Choices.Num() > 0, {Text, Reasoning, StatusCode, Body, ErrorMessage, Timings});
	}

	int32 Finished() const { return ChatSuccesses.Num() + FIMSuccesses.Num() + FailureCodes.Num(); }

	TArray<FString> Progress;
	TArray<FNimbrelChatResponses> ChatSuccesses;
	TArray<FNimbrelFIMResponses> FIMSuccesses;
	TArray<int32> FailureCodes;
	TArray<FString> FailureBodies;
	TArray<FString> FailureMessages;
	/** Every pin's data besides the response, as it fired. */
	TArray<FTalvaneNodeReport> ProgressReports;
	TArray<FTalvaneNodeReport> SuccessReports;
	TArray<FTalvaneNodeReport> FailureReports;
	/** Progress and failure pins whose Response held an answer: a Blueprint would read a stale or wrong one. */
	int32 ResponsesOffSuccess = 0;

private:
	void RecordProgress(const bool bInHasResponse, const FTalvaneNodeReport& InReport)
	{
		Progress.Add(InReport.Text);
		ProgressReports.Add(InReport);
		ResponsesOffSuccess += bInHasResponse ? 1 : 0;
	}

	void RecordFailure(const bool bInHasResponse, const FTalvaneNodeReport& InReport)
	{
		FailureCodes.Add(InReport.StatusCode);
		FailureBodies.Add(InReport.Body);
		FailureMessages.Add(InReport.ErrorMessage);
		FailureReports.Add(InReport);
		ResponsesOffSuccess += bInHasResponse ? 1 : 0;
	}
};
