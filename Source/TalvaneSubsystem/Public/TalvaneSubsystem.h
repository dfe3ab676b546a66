#pragma once

#include "CoreMinimal.h"
#include "Subsystems/GameInstanceSubsystem.h"
#include "TalvaneManage.h"
#include "TalvaneToolLoop.h"
#include "TalvaneType.h"
#include "TalvaneSubsystem.generated.h"

DECLARE_DYNAMIC_MULTICAST_DELEGATE_FiveParams(FHttpNimbrelResponseDelegate, ENimbrelProtocol, InPTProtocol, const TArray<FString>&, InData,
	const TArray<FString>&, InReasoningData, const FString&, InMsg, const FNimbrelContextInfo&, InMeta);

DECLARE_DYNAMIC_MULTICAST_DELEGATE_SixParams(FHttpNimbrelProgressResponseDelegate, ENimbrelProtocol, InPTProtocol, const FString&, InString,
	const FString&, InReasoningString, const FNimbrelContextInfo&, InMeta, int32, SendBytes, int32, BytesReceived);

DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FHttpNimbrelHeaderReceivedResponseDelegate, const FString&, InHeardName, const FString&, InHeardValue);

/**
 * Chat with the Nimbrel cloud service or a local chat server from Blueprints and game code. Fill a
 * request record, call a request function, keep the GUID it returns, and bind OnSuccess, OnProgress
 * and OnFailure; every report carries the request's headers in InMeta, custom headers included.
 */
UCLASS(BlueprintType)
class TALVANESUBSYSTEM_API UTalvaneSubsystem : public UGameInstanceSubsystem
{
	GENERATED_BODY()

public:
	/** 针对响应 */
	UPROPERTY(BlueprintAssignable, meta = (ToolTip = "针对响应"))
	FHttpNimbrelResponseDelegate OnSuccess;

	/** 流式响应 */
	UPROPERTY(BlueprintAssignable, meta = (ToolTip = "流式响应"))
	FHttpNimbrelProgressResponseDelegate OnProgress;

	/** 出错后走这个 */
	UPROPERTY(BlueprintAssignable, meta = (ToolTip = "出错后走这个"))
	FHttpNimbrelResponseDelegate OnFailure;

	UPROPERTY(BlueprintAssignable)
	FHttpNimbrelHeaderReceivedResponseDelegate OnReceivedResponse;

	/** 线上对话 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Online", meta = (ToolTip = "线上对话"))
	FGuid NimbrelChatRequest(const FString& InContent, UPARAM(ref) FNimbrelChatRequest& InRequest,
		const TMap<FString, FString>& InCustomMetadataHeader);

	/** FIM线上对话 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Online", meta = (ToolTip = "FIM线上对话"))
	FGuid NimbrelFIMRequest(UPARAM(ref) FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader);

	/** 针对本地对话 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Local", meta = (ToolTip = "针对本地对话"))
	FGuid NimbrelLocalChatRequest(const FString& InContent, UPARAM(ref) FNimbrelLocalChatRequest& InRequest,
		const TMap<FString, FString>& InCustomMetadataHeader);

	UFUNCTION(BlueprintCallable, Category = "Nimbrel")
	void CancelRequest(const FGuid& InRequestID);

	/** APIKEy */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Common", meta = (ToolTip = "APIKEy"))
	void SetAPIKey(const FString& InAPIKey);

	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Common")
	void SetStreamCombinedReply(bool bNewStreamCombinedReply);

	UFUNCTION(BlueprintCallable, BlueprintPure, Category = "Nimbrel|Common")
	bool IsStreamCombinedReply() const;

	/** 从流式语句中找到不一样的语句 需要提前缓存语句 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel", meta = (ToolTip = "从流式语句中找到不一样的语句 需要提前缓存语句"))
	void HandleStreamStatementResponses(const FString& InOriginalStreamStatement, UPARAM(ref) TArray<FString>& InStatementCache,
		TArray<FString>& OutDifferentStatement, bool bIncludeLastSentence = false);

	/**
	 * The timings of a request this subsystem sent, by its GUID: time to the first byte, to the first
	 * answer text and to completion, characters per second of a streamed answer, and the token usage
	 * when the server sent it. While the request is in flight they hold what is known so far; the final
	 * ones are readable while its last report is delivered (in OnSuccess, OnFailure or a request node's
	 * last pin). False afterwards, and for an unknown GUID.
	 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel")
	bool GetRequestTimings(const FGuid& InRequestID, FTalvaneRequestTimings& OutTimings) const;

	/**
	 * A conversation as JSON text, to keep in a save game: every field of every message of a record's
	 * Messages (a chat or a local chat record). Read it back with ConversationFromJson.
	 */
	UFUNCTION(BlueprintCallable, BlueprintPure, Category = "Nimbrel|Conversation")
	static FString ConversationToJson(const TArray<FNimbrelContextMessage>& InMessages);

	/**
	 * Reads text written by ConversationToJson into InOutMessages (pass the record's Messages), which
	 * then holds exactly the messages written. Text that does not parse leaves InOutMessages untouched
	 * and returns false, with the reason in OutError (and in the log): a save that went bad never empties
	 * a conversation.
	 */
	UFUNCTION(BlueprintCallable, Category = "Nimbrel|Conversation")
	static bool ConversationFromJson(const FString& InJson, UPARAM(ref) TArray<FNimbrelContextMessage>& InOutMessages, FString& OutError);

	/**
	 * Lets InListener alone hear one request this subsystem sent, until it ends: its progress, then
	 * exactly one outcome (see FTalvaneManage::SetRequestListener). For the per-request nodes and C++.
	 */
	void ListenToRequest(const FGuid& InRequestID, FTalvaneRequestListener InListener);
	/**
	 * Starts a tool loop through this subsystem's manager (see FTalvaneToolLoop::Start). Null when
	 * nothing was sent (OutError says why), and once the game instance has ended. Call Cancel on the loop
	 * only while HasShutDown() is false: the loop uses this subsystem's manager.
	 */
	TSharedPtr<FTalvaneToolLoop> StartToolLoop(const FString& InQuestion, FNimbrelChatRequest& InRequest, UObject* InTarget,
		const TArray<FName>& InFunctionNames, int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader,
		FTalvaneToolLoopListener InListener, FString& OutError);
	/** Stops a request's listener from hearing anything more; the request itself goes on. */
	void StopListeningToRequest(const FGuid& InRequestID);

	/**
	 * Cancels every request this subsystem started; nothing of them is reported afterwards. The game
	 * instance is ending: the engine destroys nothing here, so the subsystem object stays valid until a
	 * garbage collection finds nothing holds it.
	 */
	void Deinitialize() override;

	/** Whether the game instance has ended (Deinitialize ran): the subsystem sends and reports nothing any more. */
	bool HasShutDown() const { return bDeinitialized; }

protected:
	/** Whether the game instance has ended; nothing is sent any more. */
	bool IsShutDown() const;

	/** Builds the manager and binds its reports on first use. */
	void CheckNeedBuild();
	void InitTalvane();

	FTalvaneManage Manager;
	bool bDeinitialized = false;
};
