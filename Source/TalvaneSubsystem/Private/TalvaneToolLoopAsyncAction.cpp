#include "TalvaneToolLoopAsyncAction.h"

#include "TalvaneAsyncRecords.h"
#include "TalvaneSubsystem.h"
#include "UObject/UObjectGlobals.h"

UTalvaneToolLoopAsyncAction* UTalvaneToolLoopAsyncAction::NimbrelChatWithToolsAsync(UObject* WorldContextObject, const FString& InContent,
	FNimbrelChatRequest& InRequest, UObject* Target, const TArray<FName>& FunctionNames, const int32 StepLimit,
	const TMap<FString, FString>& InCustomMetadataHeader)
{
	UTalvaneToolLoopAsyncAction* Node = NewObject<UTalvaneToolLoopAsyncAction>();
	Node->SetWorldContext(WorldContextObject);
	Node->Content = InContent;
	Node->Record = &InRequest;
	Node->RecordLifetime = InRequest.Lifetime.Watch();
	Node->Target = Target;
	Node->FunctionNames = FunctionNames;
	Node->StepLimit = StepLimit;
	Node->Headers = InCustomMetadataHeader;
	return Node;
}

bool UTalvaneToolLoopAsyncAction::StartSending(UTalvaneSubsystem& InSubsystem)
{
	if (!TalvaneAsyncRecords::IsRecordAlive(Record, RecordLifetime, *this))
	{
		Fail(0, FString(), TEXT("The request was not sent; the log says why."));
		return false;
	}
	// The closures hold the node weakly: a node collected first is never called.
	const TWeakObjectPtr<UTalvaneToolLoopAsyncAction> WeakThis(this);
	FTalvaneToolLoopListener Listener;
	Listener.OnProgress.BindLambda(
		[WeakThis](
			const ENimbrelProtocol, const FString& InText, const FString& InReasoning, const FNimbrelContextInfo& InMeta, const int32, const int32)
		{
			if (UTalvaneToolLoopAsyncAction* Node = WeakThis.Get())
			{
				// Each step of the loop is a request of its own; its headers name it.
				FGuid StepID;
				FGuid::Parse(InMeta.Metas.FindRef(TEXT("RequestID")), StepID);
				Node->HandleProgress(InText, InReasoning, StepID);
			}
		});
	Listener.OnToolCall.BindLambda(
		[WeakThis](const FTalvaneToolCallReport& InCall)
		{
			if (UTalvaneToolLoopAsyncAction* Node = WeakThis.Get())
			{
				Node->HandleToolCall(InCall);
			}
		});
	Listener.OnComplete.BindLambda(
		[WeakThis](const FTalvaneToolLoopOutcome& InOutcome)
		{
			if (UTalvaneToolLoopAsyncAction* Node = WeakThis.Get())
			{
				Node->HandleLoopOutcome(InOutcome);
			}
		});
	FString Error;
	Loop = InSubsystem.StartToolLoop(Content, *Record, Target.Get(), FunctionNames, StepLimit, Headers, MoveTemp(Listener), Error);
	if (!Loop.IsValid())
	{
		Fail(0, FString(), Error);
		return false;
	}
	return true;
}

void UTalvaneToolLoopAsyncAction::CancelSent(UTalvaneSubsystem&)
{
	if (Loop.IsValid())
	{
		// The loop ends with "The tool loop was cancelled." through its outcome, now or on a later tick.
		Loop->Cancel();
	}
}

void UTalvaneToolLoopAsyncAction::AbandonSent(UTalvaneSubsystem&)
{
	// The node has ended, so the loop's outcome reaches nobody.
	const TSharedPtr<FTalvaneToolLoop> Stopping = MoveTemp(Loop);
	if (Stopping.IsValid())
	{
		Stopping->Cancel();
	}
}

void UTalvaneToolLoopAsyncAction::BroadcastReport(const ETalvaneNodePin InPin, const FTalvaneNodeReport& InReport)
{
	(InPin == ETalvaneNodePin::Progress ? OnProgress : OnFailure)
		.Broadcast(FNimbrelChatResponses(), InReport.Text, InReport.Reasoning, InReport.StatusCode, InReport.Body, InReport.ErrorMessage,
			InReport.Timings, FTalvaneToolCallReport());
}

void UTalvaneToolLoopAsyncAction::HandleToolCall(const FTalvaneToolCallReport& InCall)
{
	if (HasEnded())
	{
		return;
	}
	if (!IsWorldAlive())
	{
		Abandon();
		return;
	}
	OnToolCall.Broadcast(FNimbrelChatResponses(), FString(), FString(), 0, FString(), FString(), FTalvaneRequestTimings(), InCall);
}

void UTalvaneToolLoopAsyncAction::HandleLoopOutcome(const FTalvaneToolLoopOutcome& InOutcome)
{
	Loop.Reset();
	if (HasEnded())
	{
		return;
	}
	if (!IsWorldAlive())
	{
		End();
		return;
	}
	if (!InOutcome.bSucceeded)
	{
		Fail(InOutcome.Code, InOutcome.Body, InOutcome.Message, InOutcome.Timings);
		return;
	}
	End();
	OnSuccess.Broadcast(InOutcome.Response, InOutcome.Text, InOutcome.Reasoning, InOutcome.Code, InOutcome.Body, FString(),
		InOutcome.Timings, FTalvaneToolCallReport());
}
