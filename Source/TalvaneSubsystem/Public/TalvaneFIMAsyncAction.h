#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneType.h"
#include "TalvaneFIMAsyncAction.generated.h"

DECLARE_DYNAMIC_MULTICAST_DELEGATE_OneParam(FTalvaneAsyncFIMSuccessPin, const FNimbrelFIMResponses&, Response);

/** The "Nimbrel FIM" node: one fill-in-the-middle request with pins of its own; OnSuccess carries the whole parsed answer. */
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
	FTalvaneAsyncFIMSuccessPin OnSuccess;

protected:
	FGuid SendRequest(UTalvaneSubsystem& InSubsystem) override;
	void BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome) override;

private:
	FNimbrelFIMRequest* Record = nullptr;
	TWeakPtr<uint8> RecordLifetime;
	TMap<FString, FString> Headers;
};
