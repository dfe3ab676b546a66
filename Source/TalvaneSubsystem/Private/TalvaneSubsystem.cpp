#include "TalvaneSubsystem.h"

#include "TalvaneConversationJson.h"
#include "TalvaneJsonStream.h"
#include "TalvaneLog.h"

FGuid UTalvaneSubsystem::NimbrelChatRequest(const FString& InContent, FNimbrelChatRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	if (IsShutDown())
	{
		return FGuid();
	}
	CheckNeedBuild();
	return Manager.NimbrelChatRequest(InContent, InRequest, InCustomMetadataHeader);
}

FGuid UTalvaneSubsystem::NimbrelFIMRequest(FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader)
{
	if (IsShutDown())
	{
		return FGuid();
	}
	CheckNeedBuild();
	return Manager.NimbrelFIMRequest(InRequest, InCustomMetadataHeader);
}

FGuid UTalvaneSubsystem::NimbrelLocalChatRequest(const FString& InContent, FNimbrelLocalChatRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	if (IsShutDown())
	{
		return FGuid();
	}
	CheckNeedBuild();
	return Manager.NimbrelLocalChatRequest(InContent, InRequest, InCustomMetadataHeader);
}

void UTalvaneSubsystem::CancelRequest(const FGuid& InRequestID)
{
	if (IsShutDown())
	{
		return;
	}
	CheckNeedBuild();
	Manager.CancelRequest(InRequestID);
}

void UTalvaneSubsystem::SetAPIKey(const FString& InAPIKey)
{
	CheckNeedBuild();
	Manager.SetAPIKey(InAPIKey);
}

void UTalvaneSubsystem::SetStreamCombinedReply(const bool bNewStreamCombinedReply)
{
	Manager.SetStreamCombinedReply(bNewStreamCombinedReply);
}

bool UTalvaneSubsystem::IsStreamCombinedReply() const
{
	return Manager.IsStreamCombinedReply();
}

void UTalvaneSubsystem::HandleStreamStatementResponses(const FString& InOriginalStreamStatement, TArray<FString>& InStatementCache,
	TArray<FString>& OutDifferentStatement, const bool bIncludeLastSentence)
{
	TalvaneJson::HandleStreamStatementResponses(InOriginalStreamStatement, InStatementCache, OutDifferentStatement, bIncludeLastSentence);
}

bool UTalvaneSubsystem::GetRequestTimings(const FGuid& InRequestID, FTalvaneRequestTimings& OutTimings) const
{
	return Manager.IsValid() && Manager.GetRequestTimings(InRequestID, OutTimings);
}

FString UTalvaneSubsystem::ConversationToJson(const TArray<FNimbrelContextMessage>& InMessages)
{
	FString Json;
	TalvaneJson::ConversationToJson(InMessages, Json);
	return Json;
}

bool UTalvaneSubsystem::ConversationFromJson(const FString& InJson, TArray<FNimbrelContextMessage>& InOutMessages, FString& OutError)
{
	return TalvaneJson::ConversationFromJson(InJson, InOutMessages, OutError);
}

void UTalvaneSubsystem::ListenToRequest(const FGuid& InRequestID, FTalvaneRequestListener InListener)
{
	Manager.SetRequestListener(InRequestID, MoveTemp(InListener));
}

TSharedPtr<FTalvaneToolLoop> UTalvaneSubsystem::StartToolLoop(const FString& InQuestion, FNimbrelChatRequest& InRequest, UObject* InTarget,
	const TArray<FName>& InFunctionNames, const int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader,
	FTalvaneToolLoopListener InListener, FString& OutError)
{
	if (IsShutDown())
	{
		OutError = TEXT("The game instance has ended; nothing was sent.");
		return nullptr;
	}
	CheckNeedBuild();
	return FTalvaneToolLoop::Start(Manager, InQuestion, InRequest, InTarget, InFunctionNames, InMaxSteps, InCustomMetadataHeader,
		MoveTemp(InListener), OutError);
}

void UTalvaneSubsystem::StopListeningToRequest(const FGuid& InRequestID)
{
	Manager.RemoveRequestListener(InRequestID);
}

void UTalvaneSubsystem::Deinitialize()
{
	// The game instance is ending (the end of play or of the game; a map change keeps it and its
	// subsystems): its objects may be destroyed at the next collection, so nothing of the requests in
	// flight may reach them any more.
	bDeinitialized = true;
	Manager.Shutdown();
	Super::Deinitialize();
}

bool UTalvaneSubsystem::IsShutDown() const
{
	if (bDeinitialized)
	{
		UE_LOG(TalvaneLog, Warning, TEXT("The Talvane subsystem of an ended game instance was asked to send or cancel a request; it does nothing."));
	}
	return bDeinitialized;
}

void UTalvaneSubsystem::CheckNeedBuild()
{
	if (!Manager.IsValid())
	{
		InitTalvane();
	}
}

void UTalvaneSubsystem::InitTalvane()
{
	Manager.Init();
	// The closures hold a plain pointer to this subsystem: they live in its own manager, so they cannot outlive it.
	Manager.SuccessDelegate.BindLambda(
		[this](const ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
			const FString& InMsg, const FNimbrelContextInfo& InMeta)
		{
			if (OnSuccess.IsBound())
			{
				const FNimbrelContextInfo Meta = InMeta;
				OnSuccess.Broadcast(InPTProtocol, InData, InReasoningData, InMsg, Meta);
			}
		});
	Manager.FailureDelegate.BindLambda(
		[this](const ENimbrelProtocol InPTProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
			const FString& InMsg, const FNimbrelContextInfo& InMeta)
		{
			if (OnFailure.IsBound())
			{
				const FNimbrelContextInfo Meta = InMeta;
				OnFailure.Broadcast(InPTProtocol, InData, InReasoningData, InMsg, Meta);
			}
		});
	Manager.ProgressDelegate.BindLambda(
		[this](const ENimbrelProtocol InPTProtocol, const FString& InString, const FString& InReasoningString,
			const FNimbrelContextInfo& InMeta, const int32 SendBytes, const int32 BytesReceived)
		{
			if (OnProgress.IsBound())
			{
				const FNimbrelContextInfo Meta = InMeta;
				OnProgress.Broadcast(InPTProtocol, InString, InReasoningString, Meta, SendBytes, BytesReceived);
			}
		});
}
