#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneType.h"
#include "TalvaneLocalChatAsyncAction.generated.h"

/** The "Nimbrel Local Chat" node: one request to the local chat server, with pins of its own (see UTalvaneChatAsyncAction). */
UCLASS()
class TALVANESUBSYSTEM_API UTalvaneLocalChatAsyncAction : public UTalvaneAsyncRequest
{
	GENERATED_BODY()

public:
	/** Appends the question to the record's conversation and sends it when the node runs; keep the record in place until the answer. */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Local",
		meta = (BlueprintInternalUseOnly = "true", WorldContext = "WorldContextObject", DisplayName = "Nimbrel Local Chat"))
	static UTalvaneLocalChatAsyncAction* NimbrelLocalChatAsync(UObject* WorldContextObject, const FString& InContent,
		UPARAM(ref) FNimbrelLocalChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);

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
	FNimbrelLocalChatRequest* Record = nullptr;
	TWeakPtr<uint8> RecordLifetime;
	TMap<FString, FString> Headers;
};
