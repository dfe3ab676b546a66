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

void UTalvaneFIMAsyncAction::BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome)
{
	OnSuccess.Broadcast(TalvaneAsyncRecords::ParseFIM(InOutcome));
}
