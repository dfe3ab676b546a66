#include "TalvaneFIMAsyncAction.h"

#include "TalvaneAsyncRecords.h"
#include "TalvaneSubsystem.h"
#include "UObject/UObjectGlobals.h"

UTalvaneFIMAsyncAction* UTalvaneFIMAsyncAction::NimbrelFIMAsync(UObject* WorldContextObject, FNimbrelFIMRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	UTalvaneFIMAsyncAction* Node = NewObject<UTalvaneFIMAsyncAction>();
	Node->SetWorldContext(WorldContextObject);
	Node->Record = &InRequest;
	Node->RecordLifetime = InRequest.Lifetime.Watch();
	Node->Headers = InCustomMetadataHeader;
	return Node;
}

FGuid UTalvaneFIMAsyncAction::SendRequest(UTalvaneSubsystem& InSubsystem)
{
	if (!TalvaneAsyncRecords::IsRecordAlive(Record, RecordLifetime, *this))
	{
		return FGuid();
	}
	return InSubsystem.NimbrelFIMRequest(*Record, Headers);
}

void UTalvaneFIMAsyncAction::BroadcastReport(const ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport)
{
	BroadcastPin(InPin == ETalvaneNodePin::Progress ? OnProgress : OnFailure, FNimbrelFIMResponses(), InReport);
}

void UTalvaneFIMAsyncAction::BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome)
{
	const FNimbrelFIMResponses Response = TalvaneAsyncRecords::ParseFIM(InOutcome);
	BroadcastPin(OnSuccess, Response, TalvaneAsyncRecords::FIMSuccessReport(InOutcome, Response));
}
