#include "TalvaneChatAsyncAction.h"

#include "TalvaneAsyncRecords.h"
#include "TalvaneSubsystem.h"
#include "UObject/UObjectGlobals.h"

UTalvaneChatAsyncAction* UTalvaneChatAsyncAction::NimbrelChatAsync(UObject* WorldContextObject, const FString& InContent,
	FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader)
{
	UTalvaneChatAsyncAction* Node = NewObject<UTalvaneChatAsyncAction>();
	Node->SetWorldContext(WorldContextObject);
	Node->Content = InContent;
	Node->Record = &InRequest;
	Node->RecordLifetime = InRequest.Lifetime.Watch();
	Node->Headers = InCustomMetadataHeader;
	return Node;
}

FGuid UTalvaneChatAsyncAction::SendRequest(UTalvaneSubsystem& InSubsystem)
{
	if (!TalvaneAsyncRecords::IsRecordAlive(Record, RecordLifetime, *this))
	{
		return FGuid();
	}
	return InSubsystem.NimbrelChatRequest(Content, *Record, Headers);
}

void UTalvaneChatAsyncAction::BroadcastReport(const ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport)
{
	BroadcastPin(InPin == ETalvaneNodePin::Progress ? OnProgress : OnFailure, FNimbrelChatResponses(), InReport);
}

void UTalvaneChatAsyncAction::BroadcastSuccess(const FTalvaneRequestOutcome& InOutcome)
{
	const FNimbrelChatResponses Response = TalvaneAsyncRecords::ParseChat(InOutcome);
	BroadcastPin(OnSuccess, Response, TalvaneAsyncRecords::ChatSuccessReport(InOutcome, Response));
}
