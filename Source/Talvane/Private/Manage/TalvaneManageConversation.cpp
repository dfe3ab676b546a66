#include "TalvaneManage.h"

#include "HTTP/TalvaneHttp.h"
#include "Interfaces/IHttpRequest.h"
#include "TalvaneLog.h"
#include "TalvaneRequestState.h"

// One conversation, one question at a time. The bookkeeping replaces an unanswered question with the
// newer one, so the older request's answer would land after a question it does not answer: it is
// stopped before the newer question is sent.

const FString& FTalvaneManage::GetSupersededMessage()
{
	static const FString Message(TEXT("The request was superseded: a newer question was sent on the same conversation record."));
	return Message;
}

void FTalvaneManage::SupersedeRequestsOn(const TArray<FNimbrelContextMessage>& InMessages, const TWeakPtr<uint8>& InLifetime)
{
	// Collected first: cancelling may complete a request at once, and a report may start another.
	TArray<FGuid> InFlight;
	for (const TPair<const IHttpRequest*, TSharedPtr<FTalvaneRequestState>>& Entry : Requests)
	{
		FTalvaneRequestState& State = *Entry.Value;
		if (!State.bSuperseded && State.RequestID.IsValid() && State.ExtendsConversation(InMessages, InLifetime))
		{
			State.bCancelled = true;
			State.bSuperseded = true;
			InFlight.Add(State.RequestID);
		}
	}
	TArray<FGuid> Waiting;
	for (const TPair<FGuid, FPendingRetry>& Entry : PendingRetries)
	{
		if (Entry.Value.State->ExtendsConversation(InMessages, InLifetime))
		{
			Waiting.Add(Entry.Key);
		}
	}
	for (const FGuid& RequestID : InFlight)
	{
		UE_LOG(TalvaneLog, Log, TEXT("Request %s is superseded by a newer question on its conversation; it is cancelled."),
			*RequestID.ToString(EGuidFormats::Digits));
		HTTP->CancelRequest(RequestID);
	}
	for (const FGuid& RequestID : Waiting)
	{
		FPendingRetry Pending;
		if (PendingRetries.RemoveAndCopyValue(RequestID, Pending))
		{
			UE_LOG(TalvaneLog, Log, TEXT("Request %s, waiting to be sent again, is superseded by a newer question on its conversation."),
				*RequestID.ToString(EGuidFormats::Digits));
			FTSTicker::RemoveTicker(Pending.Ticker);
			ReportPendingFailure(Pending, 0, GetSupersededMessage(), GetSupersededMessage());
		}
	}
}
