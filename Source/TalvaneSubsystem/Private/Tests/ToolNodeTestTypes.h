#pragma once

// The game object and the pin listener of the tool loop node's specs.

#include "CoreMinimal.h"
#include "TalvaneToolLoopAsyncAction.h"
#include "TalvaneType.h"
#include "UObject/Object.h"
#include "ToolNodeTestTypes.generated.h"

/** An innkeeper with a die and a price list; counts the calls, so a spec can tell which ran. */
UCLASS()
class UToolNodeTestInnkeeper : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, Category="Inn", meta=(ToolTip="Rolls a die with the given number of sides."))
	int32 RollDie(int32 Sides)
	{
		++Calls;
		return Sides + 1;
	}

	UFUNCTION(BlueprintCallable, Category="Inn", meta=(ToolTip="The price of an item, in copper coins."))
	int32 PriceOf(const FString& Item)
	{
		++Calls;
		return Item.Len() * 2;
	}

	UFUNCTION(BlueprintCallable, Category="Inn")
	void Befriend(UObject* Other)
	{
		++Calls;
	}

	int32 Calls = 0;
};

/** Records what the tool loop node's pins fire, bound with AddDynamic as a Blueprint graph binds them. */
UCLASS()
class UToolNodeTestListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleProgress(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
	{
		++Progress;
		ProgressWithTimings += Timings.SecondsToFirstByte >= 0.0f ? 1 : 0;
	}

	UFUNCTION()
	void HandleToolCall(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
	{
		ToolCalls.Add(ToolCall);
		if (CancelOnCall)
		{
			CancelOnCall->Cancel();
		}
	}

	UFUNCTION()
	void HandleSuccess(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
	{
		Successes.Add(Text);
		SuccessChoices += Response.Choices.Num();
	}

	UFUNCTION()
	void HandleFailure(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
	{
		Failures.Add(ErrorMessage);
	}

	int32 Finished() const { return Successes.Num() + Failures.Num(); }

	/** A node to cancel from its first tool-call pin. */
	UPROPERTY()
	UTalvaneToolLoopAsyncAction* CancelOnCall = nullptr;

	int32 Progress = 0;
	/** Progress pins whose Timings held the current step's timings so far. */
	int32 ProgressWithTimings = 0;
	TArray<FTalvaneToolCallReport> ToolCalls;
	TArray<FString> Successes;
	int32 SuccessChoices = 0;
	TArray<FString> Failures;
};
