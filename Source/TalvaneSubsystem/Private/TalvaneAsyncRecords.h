#pragma once

#include "CoreMinimal.h"
#include "TalvaneAsyncRequest.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"

/** What the request nodes share beyond their base class: the answer's record, and the check that their request record still exists. */
namespace TalvaneAsyncRecords
{
	/** The chat record of a successful outcome: put together from the events of a stream, else read from the whole answer. */
	FNimbrelChatResponses ParseChat(const FTalvaneRequestOutcome& InOutcome);
	/** The same for a fill-in-the-middle answer. */
	FNimbrelFIMResponses ParseFIM(const FTalvaneRequestOutcome& InOutcome);

	/** What OnSuccess carries beside the chat record: the first choice's content and reasoning, the status code and the raw body. */
	FTalvaneNodeReport ChatSuccessReport(const FTalvaneRequestOutcome& InOutcome, const FNimbrelChatResponses& InResponse);
	/** The same for a fill-in-the-middle answer: the first choice's text. */
	FTalvaneNodeReport FIMSuccessReport(const FTalvaneRequestOutcome& InOutcome, const FNimbrelFIMResponses& InResponse);

	/** Whether the record a node was given is still there to be sent; logs a warning naming the node when it is not. */
	bool IsRecordAlive(const void* InRecord, const TWeakPtr<uint8>& InLifetime, const UObject& InNode);
}
