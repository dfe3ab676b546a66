#include "TalvaneAsyncRequest.h"

#include "Engine/GameInstance.h"
#include "TalvaneLog.h"
#include "TalvaneSubsystem.h"

namespace
{
	/** How often a node looks whether its world context is still there while its request is quiet. */
	constexpr float WorldWatchSeconds = 0.1f;
}

void UTalvaneAsyncRequest::SetWorldContext(const UObject* InWorldContextObject)
{
	WorldContext = InWorldContextObject;
	bHadWorldContext = InWorldContextObject != nullptr;
}

void UTalvaneAsyncRequest::Activate()
{
	if (bActivated || bEnded)
	{
		return;
	}
	bActivated = true;
	const UObject* Context = WorldContext.Get();
	if (bHadWorldContext && !Context)
	{
		// The world this node belonged to has gone before the node ran: there is nobody to tell.
		End();
		return;
	}
	RegisterWithGameInstance(Context);
	UGameInstance* GameInstance = RegisteredWithGameInstance.Get();
	UTalvaneSubsystem* Found = GameInstance ? GameInstance->GetSubsystem<UTalvaneSubsystem>() : nullptr;
	if (!Found)
	{
		Fail(0, FString(), TEXT("The world context has no game instance with a Talvane subsystem, so nothing was sent."));
		return;
	}
	Subsystem = Found;
	if (!StartSending(*Found))
	{
		return;
	}
	// The closure holds the node weakly: a node collected first is never called.
	const TWeakObjectPtr<UTalvaneAsyncRequest> WeakThis(this);
	WorldWatch = FTSTicker::GetCoreTicker().AddTicker(FTickerDelegate::CreateLambda([WeakThis](const float DeltaTime)
	{
		UTalvaneAsyncRequest* Node = WeakThis.Get();
		return Node && Node->WatchWorld(DeltaTime);
	}), WorldWatchSeconds);
}

bool UTalvaneAsyncRequest::StartSending(UTalvaneSubsystem& InSubsystem)
{
	RequestID = SendRequest(InSubsystem);
	if (!RequestID.IsValid())
	{
		Fail(0, FString(), TEXT("The request was not sent; the log says why."));
		return false;
	}
	// The closures hold the node weakly: a node collected first is never called.
	const TWeakObjectPtr<UTalvaneAsyncRequest> WeakThis(this);
	FTalvaneRequestListener Listener;
	Listener.OnProgress.BindLambda([WeakThis](const ENimbrelProtocol, const FString& InText, const FString& InReasoning,
		const FNimbrelContextInfo&, const int32, const int32)
	{
		if (UTalvaneAsyncRequest* Node = WeakThis.Get())
		{
			Node->HandleProgress(InText, InReasoning, Node->RequestID);
		}
	});
	Listener.OnComplete.BindLambda([WeakThis](const FTalvaneRequestOutcome& InOutcome)
	{
		if (UTalvaneAsyncRequest* Node = WeakThis.Get())
		{
			Node->HandleOutcome(InOutcome);
		}
	});
	InSubsystem.ListenToRequest(RequestID, MoveTemp(Listener));
	return true;
}

void UTalvaneAsyncRequest::CancelSent(UTalvaneSubsystem& InSubsystem)
{
	InSubsystem.CancelRequest(RequestID);
}

void UTalvaneAsyncRequest::AbandonSent(UTalvaneSubsystem& InSubsystem)
{
	if (RequestID.IsValid())
	{
		// Stop listening first: the cancelled request's failure must reach nobody.
		InSubsystem.StopListeningToRequest(RequestID);
		InSubsystem.CancelRequest(RequestID);
	}
}

void UTalvaneAsyncRequest::Cancel()
{
	if (bEnded)
	{
		return;
	}
	UTalvaneSubsystem* Sender = Subsystem.Get();
	if (!bActivated || !Sender || Sender->HasShutDown())
	{
		// Nothing will report this request any more (never sent, or its subsystem has shut down): end here.
		Fail(0, FString(), TEXT("The request was cancelled."));
		return;
	}
	// The cancelled request completes as a failure on a later tick, and OnFailure fires then.
	CancelSent(*Sender);
}

void UTalvaneAsyncRequest::BeginDestroy()
{
	if (!bEnded)
	{
		Abandon();
	}
	Super::BeginDestroy();
}

FGuid UTalvaneAsyncRequest::SendRequest(UTalvaneSubsystem&)
{
	UE_LOG(TalvaneLog, Error, TEXT("%s sends no request of its own: use one of the Talvane request nodes."), *GetClass()->GetName());
	return FGuid();
}

void UTalvaneAsyncRequest::BroadcastReport(ETalvaneNodePin, const FTalvaneNodeReport&)
{
}

void UTalvaneAsyncRequest::BroadcastSuccess(const FTalvaneRequestOutcome&)
{
}

void UTalvaneAsyncRequest::HandleProgress(const FString& InText, const FString& InReasoning, const FGuid& InTimedRequestID)
{
	if (bEnded)
	{
		return;
	}
	if (!IsWorldAlive())
	{
		Abandon();
		return;
	}
	FTalvaneNodeReport Report;
	Report.Text = InText;
	Report.Reasoning = InReasoning;
	if (const UTalvaneSubsystem* Sender = Subsystem.Get())
	{
		Sender->GetRequestTimings(InTimedRequestID, Report.Timings);
	}
	BroadcastReport(ETalvaneNodePin::Progress, Report);
}

void UTalvaneAsyncRequest::HandleOutcome(const FTalvaneRequestOutcome& InOutcome)
{
	if (bEnded)
	{
		return;
	}
	if (!IsWorldAlive())
	{
		End();
		return;
	}
	if (InOutcome.bSucceeded)
	{
		End();
		BroadcastSuccess(InOutcome);
		return;
	}
	Fail(InOutcome.Code, InOutcome.Body, InOutcome.Message, InOutcome.Timings);
}

void UTalvaneAsyncRequest::Fail(const int32 InCode, const FString& InBody, const FString& InMessage, const FTalvaneRequestTimings& InTimings)
{
	End();
	FTalvaneNodeReport Report;
	Report.StatusCode = InCode;
	Report.Body = InBody;
	Report.ErrorMessage = InMessage;
	Report.Timings = InTimings;
	BroadcastReport(ETalvaneNodePin::Failure, Report);
}

bool UTalvaneAsyncRequest::WatchWorld(float)
{
	if (bEnded)
	{
		return false;
	}
	if (!IsWorldAlive())
	{
		Abandon();
		return false;
	}
	return true;
}

bool UTalvaneAsyncRequest::IsWorldAlive() const
{
	// The game instance's end deinitialises the subsystem but destroys nothing: its flag tells.
	const UTalvaneSubsystem* Sender = Subsystem.Get();
	return (!bHadWorldContext || WorldContext.IsValid()) && Sender && !Sender->HasShutDown();
}

void UTalvaneAsyncRequest::Abandon()
{
	UTalvaneSubsystem* Sender = Subsystem.Get();
	// A subsystem that has shut down cancelled its requests already.
	const bool bCancel = Sender && !Sender->HasShutDown();
	End();
	if (bCancel)
	{
		AbandonSent(*Sender);
	}
}

void UTalvaneAsyncRequest::End()
{
	if (bEnded)
	{
		return;
	}
	bEnded = true;
	if (UTalvaneSubsystem* Sender = Subsystem.Get())
	{
		Sender->StopListeningToRequest(RequestID);
	}
	FTSTicker::RemoveTicker(WorldWatch);
	SetReadyToDestroy();
}
