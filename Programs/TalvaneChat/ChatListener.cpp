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

void UChatListener::HandleNodeProgress(const FString& Text, const FString& Reasoning)
{
	if (Session)
	{
		Session->OnNodeProgress(Text, Reasoning);
	}
}

void UChatListener::HandleNodeChatSuccess(const FNimbrelChatResponses& Response)
{
	if (Session)
	{
		const FNimbrelChatResponseChoice* Choice = Response.Choices.Num() > 0 ? &Response.Choices[0] : nullptr;
		Session->OnNodeSuccess(Choice ? Choice->Message.Content : FString(), Choice ? Choice->Message.ReasoningContent : FString());
	}
}

void UChatListener::HandleNodeFIMSuccess(const FNimbrelFIMResponses& Response)
{
	if (Session)
	{
		Session->OnNodeSuccess(Response.Choices.Num() > 0 ? Response.Choices[0].Text : FString(), FString());
	}
}

void UChatListener::HandleNodeFailure(const int32 StatusCode, const FString& Body, const FString& ErrorMessage)
{
	if (Session)
	{
		Session->OnNodeFailure(StatusCode, Body);
	}
}
