#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneType.h"
#include "TalvaneFIMAsyncAction.generated.h"

/** Every pin of the fill-in-the-middle node, with the data of FTalvaneNodeReport after the response. */
DECLARE_DYNAMIC_MULTICAST_DELEGATE_SevenParams(FTalvaneAsyncFIMPin, const FNimbrelFIMResponses&, Response, const FString&, Text,
	const FString&, Reasoning, int32, StatusCode, const FString&, Body, const FString&, ErrorMessage,
	const FTalvaneRequestTimings&, Timings);

/** The "Nimbrel FIM" node: one fill-in-the-middle request with pins of its own; OnSuccess's Response is the whole parsed answer. */
UCLASS()
class TALVANESUBSYSTEM_API UTalvaneFIMAsyncAction : public UTalvaneAsyncRequest
{
	GENERATED_BODY()

public:
	/** Sends the request when the node runs. */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Online",
		meta = (BlueprintInternalUseOnly = "true", WorldContext = "WorldContextObject", DisplayName = "Nimbrel FIM"))
	static UTalvaneFIMAsyncAction* NimbrelFIMAsync(UObject* WorldContextObject, UPARAM(ref) FNimbrelFIMRequest& InRequest,
		const TMap<FString, FString>& InCustomMetadataHeader);

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncFIMPin OnProgress;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncFIMPin OnSuccess;

	UPROPERTY(BlueprintAssignable)
	FTalvaneAsyncFIMPin OnFailure;

protected:
	FGuid SendRequest(UTalvaneSubsystem& InSubsystem) override;
	void BroadcastReport(ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport) override;
	void BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome) override;

private:
	FNimbrelFIMRequest* Record = nullptr;
	TWeakPtr<uint8> RecordLifetime;
	TMap<FString, FString> Headers;
};
