#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"
#include "TalvaneRequestTimings.h"
#include "UObject/Object.h"
#include "ChatListener.generated.h"

class FChatSession;

/** Receives the subsystem's broadcasts, as a game object bound with AddDynamic would, and hands them to the session. */
UCLASS()
class UChatListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleSuccess(ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FString& InMsg, const FNimbrelContextInfo& InMeta);

	UFUNCTION()
	void HandleProgress(ENimbrelProtocol InPTProtocol, const FString& InString, const FString& InReasoningString,
		const FNimbrelContextInfo& InMeta, int32 SendBytes, int32 BytesReceived);

	UFUNCTION()
	void HandleFailure(ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FString& InMsg, const FNimbrelContextInfo& InMeta);

	/** The pins of a request node (with --node): every pin carries the response and the same data. */
	UFUNCTION()
	void HandleNodeChatProgress(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	UFUNCTION()
	void HandleNodeChatSuccess(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	UFUNCTION()
	void HandleNodeChatFailure(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	UFUNCTION()
	void HandleNodeFIMProgress(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	UFUNCTION()
	void HandleNodeFIMSuccess(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	UFUNCTION()
	void HandleNodeFIMFailure(const FNimbrelFIMResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode, const FString& Body,
		const FString& ErrorMessage, const FTalvaneRequestTimings& Timings);

	/** The pins of the tool loop node (with --tools --node). */
	UFUNCTION()
	void HandleToolNodeProgress(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall);

	UFUNCTION()
	void HandleToolNodeCall(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall);

	UFUNCTION()
	void HandleToolNodeSuccess(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall);

	UFUNCTION()
	void HandleToolNodeFailure(const FNimbrelChatResponses& Response, const FString& Text, const FString& Reasoning, int32 StatusCode,
		const FString& Body, const FString& ErrorMessage, const FTalvaneRequestTimings& Timings, const FTalvaneToolCallReport& ToolCall);

	/** The session that owns this listener; it outlives every broadcast. */
	FChatSession* Session = nullptr;
};
