#include "TalvaneAsyncRecords.h"

#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStreamAssembly.h"
#include "TalvaneLog.h"
#include "UObject/Object.h"

FNimbrelChatResponses TalvaneAsyncRecords::ParseChat(const FTalvaneRequestOutcome& InOutcome)
{
	FNimbrelChatResponses Response;
	if (InOutcome.bStreamed)
	{
		TalvaneJson::AssembleStreamedChatResponses(InOutcome.Body, Response);
	}
	else
	{
		TalvaneJson::StringToNimbrelChatResponses(InOutcome.Body, Response);
	}
	return Response;
}

FNimbrelFIMResponses TalvaneAsyncRecords::ParseFIM(const FTalvaneRequestOutcome& InOutcome)
{
	FNimbrelFIMResponses Response;
	if (InOutcome.bStreamed)
	{
		TalvaneJson::AssembleStreamedFIMResponses(InOutcome.Body, Response);
	}
	else
	{
		TalvaneJson::StringToNimbrelFIMResponses(InOutcome.Body, Response);
	}
	return Response;
}

namespace
{
	FTalvaneNodeReport EndedReport(const FTalvaneRequestOutcome& InOutcome, const FString& InText, const FString& InReasoning)
	{
		FTalvaneNodeReport Report;
		Report.Text = InText;
		Report.Reasoning = InReasoning;
		Report.StatusCode = InOutcome.Code;
		Report.Body = InOutcome.Body;
		Report.Timings = InOutcome.Timings;
		return Report;
	}
}

FTalvaneNodeReport TalvaneAsyncRecords::ChatSuccessReport(const FTalvaneRequestOutcome& InOutcome, const FNimbrelChatResponses& InResponse)
{
	const FNimbrelChatResponseChoice* Choice = InResponse.Choices.Num() > 0 ? &InResponse.Choices[0] : nullptr;
	return EndedReport(InOutcome, Choice ? Choice->Message.Content : FString(), Choice ? Choice->Message.ReasoningContent : FString());
}

FTalvaneNodeReport TalvaneAsyncRecords::FIMSuccessReport(const FTalvaneRequestOutcome& InOutcome, const FNimbrelFIMResponses& InResponse)
{
	return EndedReport(InOutcome, InResponse.Choices.Num() > 0 ? InResponse.Choices[0].Text : FString(), FString());
}

bool TalvaneAsyncRecords::IsRecordAlive(const void* InRecord, const TWeakPtr<uint8>& InLifetime, const UObject& InNode)
{
	if (InRecord && InLifetime.IsValid())
	{
		return true;
	}
	UE_LOG(TalvaneLog, Warning, TEXT("%s: the request record it was given no longer exists, so nothing was sent."), *InNode.GetName());
	return false;
}
