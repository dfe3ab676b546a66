#pragma once

#include "CoreMinimal.h"
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
	void HandleProgress(const FString& Text, const FString& Reasoning)
	{
		Progress.Add(Text);
	}

	UFUNCTION()
	void HandleChatSuccess(const FNimbrelChatResponses& Response)
	{
		ChatSuccesses.Add(Response);
	}

	UFUNCTION()
	void HandleFIMSuccess(const FNimbrelFIMResponses& Response)
	{
		FIMSuccesses.Add(Response);
	}

	UFUNCTION()
	void HandleFailure(int32 StatusCode, const FString& Body, const FString& ErrorMessage)
	{
		FailureCodes.Add(StatusCode);
		FailureBodies.Add(Body);
		FailureMessages.Add(ErrorMessage);
	}

	int32 Finished() const { return ChatSuccesses.Num() + FIMSuccesses.Num() + FailureCodes.Num(); }

	TArray<FString> Progress;
	TArray<FNimbrelChatResponses> ChatSuccesses;
	TArray<FNimbrelFIMResponses> FIMSuccesses;
	TArray<int32> FailureCodes;
	TArray<FString> FailureBodies;
	TArray<FString> FailureMessages;
};
