#pragma once

#include "CoreMinimal.h"
#include "TalvaneSubsystem.h"
#include "TalvaneType.h"
#include "UObject/Object.h"
#include "TimingsTestListener.generated.h"

/** Reads a request's timings from inside the subsystem's success event, as a Blueprint handler would. */
UCLASS()
class UTimingsTestListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleSuccess(ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FString& InMsg, const FNimbrelContextInfo& InMeta)
	{
		FGuid RequestID;
		FGuid::Parse(InMeta.Metas.FindRef(TEXT("RequestID")), RequestID);
		FTalvaneRequestTimings Timings;
		bReadInEvent = Subsystem && Subsystem->GetRequestTimings(RequestID, Timings);
		Read = Timings;
		++Reports;
	}

	/** Not a reference the collector follows: the test's rooted game instance keeps the subsystem alive. */
	UTalvaneSubsystem* Subsystem = nullptr;

	bool bReadInEvent = false;
	FTalvaneRequestTimings Read;
	int32 Reports = 0;
};
