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

void UChatListener::HandleNodeChatProgress(const FNimbrelChatResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	if (Session)
	{
		Session->OnNodeProgress(Text, Reasoning);
	}
}

void UChatListener::HandleNodeChatSuccess(const FNimbrelChatResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	// The Text and Reasoning pins carry the answer's first choice; the response holds the rest.
	if (Session)
	{
		Session->OnNodeSuccess(Text, Reasoning, Timings);
	}
}

void UChatListener::HandleNodeChatFailure(const FNimbrelChatResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	if (Session)
	{
		Session->OnNodeFailure(StatusCode, Body, Timings);
	}
}

void UChatListener::HandleNodeFIMProgress(const FNimbrelFIMResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	if (Session)
	{
		Session->OnNodeProgress(Text, Reasoning);
	}
}

void UChatListener::HandleNodeFIMSuccess(const FNimbrelFIMResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	// The Text and Reasoning pins carry the answer's first choice; the response holds the rest.
	if (Session)
	{
		Session->OnNodeSuccess(Text, Reasoning, Timings);
	}
}

void UChatListener::HandleNodeFIMFailure(const FNimbrelFIMResponses&, const FString& Text, const FString& Reasoning, const int32 StatusCode, const FString& Body,
	const FString& ErrorMessage, const FTalvaneRequestTimings& Timings)
{
	if (Session)
	{
		Session->OnNodeFailure(StatusCode, Body, Timings);
	}
}

void UChatListener::HandleToolNodeProgress(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
	const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
{
	if (Session)
	{
		Session->OnNodeProgress(Text, Reasoning);
	}
}

void UChatListener::HandleToolNodeCall(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
	const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
{
	if (Session)
	{
		Session->OnToolCall(ToolCall);
	}
}

void UChatListener::HandleToolNodeSuccess(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
	const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
{
	if (Session)
	{
		Session->OnNodeSuccess(Text, Reasoning, Timings);
	}
}

void UChatListener::HandleToolNodeFailure(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
	const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall)
{
	if (Session)
	{
		Session->OnToolLoopFailure(StatusCode, Body, ErrorMessage, Timings);
	}
}
