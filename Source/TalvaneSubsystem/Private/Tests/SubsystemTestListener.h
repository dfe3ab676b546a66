#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"
#include "UObject/Object.h"
#include "SubsystemTestListener.generated.h"

/** Records what the subsystem broadcasts, bound with AddDynamic as a Blueprint or game object would be. */
UCLASS()
class USubsystemTestListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleSuccess(ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FString& InMsg, const FNimbrelContextInfo& InMeta)
	{
		Successes.Add(InData);
		SuccessProtocols.Add(InPTProtocol);
	}

	UFUNCTION()
	void HandleProgress(ENimbrelProtocol InPTProtocol, const FString& InString, const FString& InReasoningString,
		const FNimbrelContextInfo& InMeta, int32 SendBytes, int32 BytesReceived)
	{
		Progress.Add(InString);
	}

	UFUNCTION()
	void HandleFailure(ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FString& InMsg, const FNimbrelContextInfo& InMeta)
	{
		Failures.Add(InData);
		FailureMessages.Add(InMsg);
	}

	UFUNCTION()
	void HandleHeader(const FString& InHeardName, const FString& InHeardValue)
	{
		++HeadersHeard;
	}

	int32 Finished() const { return Successes.Num() + Failures.Num(); }

	TArray<TArray<FString>> Successes;
	TArray<ENimbrelProtocol> SuccessProtocols;
	TArray<FString> Progress;
	TArray<TArray<FString>> Failures;
	TArray<FString> FailureMessages;
	int32 HeadersHeard = 0;
};
