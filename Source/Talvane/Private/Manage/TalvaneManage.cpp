#include "TalvaneManage.h"

#include "HTTP/TalvaneHttp.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "HAL/PlatformTime.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "TalvaneJsonStream.h"
#include "TalvaneRequestState.h"

FTalvaneManage::FTalvaneManage() = default;

FTalvaneManage::~FTalvaneManage()
{
	// Nothing of this manager may run later: its retries are forgotten and its transfers stopped.
	// The transport goes before the delegates, so no callback can reach them while they are torn down.
	Shutdown();
}

void FTalvaneManage::Shutdown()
{
	// The transport goes before the delegates and listeners, so no callback can reach them while
	// they are torn down; the transport's cancelled requests report to nobody.
	DropPendingRetries();
	CancelRequestsInFlight();
	HTTP.Reset();
	Requests.Empty();
	Listeners.Empty();
	Deliveries.Empty();
}

void FTalvaneManage::Init()
{
	TalvaneHttp::FHTTPDelegate Bundle;
	// The closures hold a plain pointer to this manager. That is sound: they live in the transport,
	// which this manager owns and releases first when it dies, and the manager never moves.
	Bundle.RequestCompleteDelegate.BindLambda(
		[this](FHttpRequestPtr Request, FHttpResponsePtr Response, const bool bConnectedSuccessfully)
		{
			OnRequestComplete(Request, Response, bConnectedSuccessfully);
		});
	Bundle.RequestProgressDelegate.BindLambda(
		[this](FHttpRequestPtr Request, const int32 BytesSent, const int32 BytesReceived)
		{
			OnRequestProgress(Request, BytesSent, BytesReceived);
		});
	HTTP = TalvaneHttp::FHTTP::CreateHTTPObject(Bundle);
	// Requests of the old transport will never report to this manager again.
	Requests.Empty();
	Listeners.Empty();
	DropPendingRetries();
}

void FTalvaneManage::CheckBuildInit()
{
	if (!IsValid())
	{
		Init();
	}
}

bool FTalvaneManage::IsValid() const
{
	return HTTP.IsValid();
}

void FTalvaneManage::SetAPIKey(const FString& InAPIKey)
{
	CheckBuildInit();
	HTTP->SetKey(InAPIKey);
}

void FTalvaneManage::SetStreamCombinedReply(const bool bNewStreamCombinedReply)
{
	bStreamCombinedReply = bNewStreamCombinedReply;
}

bool FTalvaneManage::IsStreamCombinedReply() const
{
	return bStreamCombinedReply;
}

FGuid FTalvaneManage::NimbrelChatRequest(const FString& InContent, FNimbrelChatRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	CheckBuildInit();
	SupersedeRequestsOn(InRequest.Messages, InRequest.Lifetime.Watch());
	const FGuid RequestID = HTTP->Request(InContent, InRequest, InCustomMetadataHeader, TalvaneHttp::EHTTPVerbType::HTTP_POST);
	TrackSentRequest(RequestID, ENimbrelProtocol::NIMBREL_CHAT, &InRequest.Messages, InRequest.Lifetime.Watch(), InRequest.bStream);
	return RequestID;
}

FGuid FTalvaneManage::NimbrelChatToolStep(const FString* InQuestion, FNimbrelChatRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	CheckBuildInit();
	FGuid RequestID;
	if (InQuestion)
	{
		SupersedeRequestsOn(InRequest.Messages, InRequest.Lifetime.Watch());
		RequestID = HTTP->Request(*InQuestion, InRequest, InCustomMetadataHeader, TalvaneHttp::EHTTPVerbType::HTTP_POST);
	}
	else
	{
		RequestID = HTTP->RequestAsItStands(InRequest, InCustomMetadataHeader, TalvaneHttp::EHTTPVerbType::HTTP_POST);
	}
	TrackSentRequest(RequestID, ENimbrelProtocol::NIMBREL_CHAT, &InRequest.Messages, InRequest.Lifetime.Watch(), InRequest.bStream);
	const FHttpRequestPtr* Sent = RequestID.IsValid() ? HTTP->HttpRequests.Find(RequestID) : nullptr;
	if (const TSharedPtr<FTalvaneRequestState> State = Sent ? Requests.FindRef(Sent->Get()) : nullptr)
	{
		State->bLoopKeepsRecord = true;
	}
	return RequestID;
}

FGuid FTalvaneManage::NimbrelFIMRequest(FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader)
{
	CheckBuildInit();
	const FGuid RequestID = HTTP->Request(InRequest, InCustomMetadataHeader, TalvaneHttp::EHTTPVerbType::HTTP_POST);
	TrackSentRequest(RequestID, ENimbrelProtocol::NIMBREL_FIM, nullptr, nullptr, InRequest.bStream);
	return RequestID;
}

FGuid FTalvaneManage::NimbrelLocalChatRequest(const FString& InContent, FNimbrelLocalChatRequest& InRequest,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	CheckBuildInit();
	SupersedeRequestsOn(InRequest.Messages, InRequest.Lifetime.Watch());
	const FGuid RequestID = HTTP->Request(InContent, InRequest, InCustomMetadataHeader, TalvaneHttp::EHTTPVerbType::HTTP_POST);
	TrackSentRequest(RequestID, ENimbrelProtocol::NIMBREL_LOCAL_CHAT, &InRequest.Messages, InRequest.Lifetime.Watch(), InRequest.bStream);
	return RequestID;
}

void FTalvaneManage::CancelRequest(const FGuid& InRequestID)
{
	CheckBuildInit();
	if (CancelPendingRetry(InRequestID))
	{
		return;
	}
	for (const TPair<const IHttpRequest*, TSharedPtr<FTalvaneRequestState>>& Entry : Requests)
	{
		// A cancelled request ends as a failure and is never sent again.
		Entry.Value->bCancelled = Entry.Value->bCancelled || Entry.Value->RequestID == InRequestID;
	}
	HTTP->CancelRequest(InRequestID);
}

void FTalvaneManage::SetRequestListener(const FGuid& InRequestID, FTalvaneRequestListener InListener)
{
	const FPendingRetry* Pending = PendingRetries.Find(InRequestID);
	const FHttpRequestPtr* InFlight = HTTP.IsValid() && InRequestID.IsValid() ? HTTP->HttpRequests.Find(InRequestID) : nullptr;
	const IHttpRequest* Request = Pending ? Pending->Request.Get() : InFlight ? InFlight->Get() : nullptr;
	if (Request)
	{
		Listeners.Add(Request, MoveTemp(InListener));
	}
}

void FTalvaneManage::RemoveRequestListener(const FGuid& InRequestID)
{
	const FPendingRetry* Pending = PendingRetries.Find(InRequestID);
	const FHttpRequestPtr* InFlight = HTTP.IsValid() && InRequestID.IsValid() ? HTTP->HttpRequests.Find(InRequestID) : nullptr;
	if (const IHttpRequest* Request = Pending ? Pending->Request.Get() : InFlight ? InFlight->Get() : nullptr)
	{
		Listeners.Remove(Request);
	}
}

bool FTalvaneManage::IsValidRequest(const FGuid& InRequestID) const
{
	return PendingRetries.Contains(InRequestID) || (HTTP.IsValid() && HTTP->IsValidRequest(InRequestID));
}

void FTalvaneManage::HandleStreamStatementResponses(const FString& InOriginalStreamStatement, TArray<FString>& InStatementCache,
	TArray<FString>& OutDifferentStatement, const bool bIncludeLastSentence)
{
	TalvaneJson::HandleStreamStatementResponses(InOriginalStreamStatement, InStatementCache, OutDifferentStatement, bIncludeLastSentence);
}

void FTalvaneManage::AddAskQuestion(const FString& InQuestion, TArray<FNimbrelContextMessage>& InMessages)
{
	CheckBuildInit();
	HTTP->AddAskQuestion(InQuestion, InMessages);
}

void FTalvaneManage::AddAnswer(const FString& InAnswer, TArray<FNimbrelContextMessage>& InMessages)
{
	CheckBuildInit();
	HTTP->AddAnswer(InAnswer, InMessages);
}

void FTalvaneManage::TrackRequest(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& InRequest,
	TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> InBody, const ENimbrelProtocol InProtocol,
	TArray<FNimbrelContextMessage>* InMessages, TWeakPtr<uint8> InLifetime, const bool bInStream)
{
	if (InRequest.IsValid())
	{
		const TSharedRef<FTalvaneRequestState> State = MakeShared<FTalvaneRequestState>(InProtocol, InMessages, MoveTemp(InLifetime));
		State->bStreamed = bInStream;
		State->Body = MoveTemp(InBody);
		State->SentSeconds = FPlatformTime::Seconds();
		Requests.Add(InRequest.Get(), State);
	}
}

void FTalvaneManage::TrackSentRequest(const FGuid& InRequestID, const ENimbrelProtocol InProtocol, TArray<FNimbrelContextMessage>* InMessages,
	TWeakPtr<uint8> InLifetime, const bool bInStream)
{
	// A request that completed inside the send (the engine refused it) is no longer registered.
	const FHttpRequestPtr* Sent = InRequestID.IsValid() ? HTTP->HttpRequests.Find(InRequestID) : nullptr;
	if (Sent)
	{
		TrackRequest(*Sent, HTTP->FindReceivedBody(*Sent), InProtocol, InMessages, MoveTemp(InLifetime), bInStream);
		Requests.FindChecked(Sent->Get())->RequestID = InRequestID;
	}
}

TSharedPtr<FTalvaneRequestState> FTalvaneManage::FindRequestState(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request) const
{
	return Requests.FindRef(Request.Get());
}

TSharedPtr<FTalvaneRequestState> FTalvaneManage::TakeRequestState(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request)
{
	TSharedPtr<FTalvaneRequestState> State;
	Requests.RemoveAndCopyValue(Request.Get(), State);
	return State;
}
