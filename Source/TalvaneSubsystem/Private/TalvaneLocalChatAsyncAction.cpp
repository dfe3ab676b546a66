#include "TalvaneLocalChatAsyncAction.h"

#include "TalvaneAsyncRecords.h"
#include "TalvaneSubsystem.h"
#include "UObject/UObjectGlobals.h"

UTalvaneLocalChatAsyncAction* UTalvaneLocalChatAsyncAction::NimbrelLocalChatAsync(UObject* WorldContextObject, const FString& InContent,
	FNimbrelLocalChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader)
{
	UTalvaneLocalChatAsyncAction* Node = NewObject<UTalvaneLocalChatAsyncAction>();
	Node->SetWorldContext(WorldContextObject);
	Node->Content = InContent;
	Node->Record = &InRequest;
	Node->RecordLifetime = InRequest.Lifetime.Watch();
	Node->Headers = InCustomMetadataHeader;
	return Node;
}

FGuid UTalvaneLocalChatAsyncAction::SendRequest(UTalvaneSubsystem& InSubsystem)
{
	if (!TalvaneAsyncRecords::IsRecordAlive(Record, RecordLifetime, *this))
	{
		return FGuid();
	}
	return InSubsystem.NimbrelLocalChatRequest(Content, *Record, Headers);
}

void UTalvaneLocalChatAsyncAction::BroadcastReport(const ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport)
{
	BroadcastPin(InPin == ETalvaneNodePin::Progress ? OnProgress : OnFailure, FNimbrelChatResponses(), InReport);
}

void UTalvaneLocalChatAsyncAction::BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome)
{
	const FNimbrelChatResponses Response = TalvaneAsyncRecords::ParseChat(InOutcome);
	BroadcastPin(OnSuccess, Response, TalvaneAsyncRecords::ChatSuccessReport(InOutcome, Response));
}
