#include "ChatListener.h"

#include "ChatSession.h"

void UChatListener::HandleSuccess(const ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
	const FString& InMsg, const FNimbrelContextInfo& InMeta)
{
	if (Session)
	{
		Session->OnSuccess(InPTProtocol, InData, InReasoningData, InMeta);
	}
}

void UChatListener::HandleProgress(const ENimbrelProtocol InPTProtocol, const FString& InString, const FString& InReasoningString,
	const FNimbrelContextInfo& InMeta, const int32 SendBytes, const int32 BytesReceived)
{
	if (Session)
	{
		Session->OnProgress(InString, InReasoningString, InMeta);
	}
}

void UChatListener::HandleFailure(const ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
	const FString& InMsg, const FNimbrelContextInfo& InMeta)
{
	if (Session)
	{
		Session->OnFailure(InData.Num() > 0 ? InData[0] : FString(), InMeta);
	}
}
