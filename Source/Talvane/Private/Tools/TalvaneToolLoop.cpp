#include "TalvaneToolLoop.h"

#include "TalvaneGameTools.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStreamAssembly.h"
#include "TalvaneLog.h"
#include "UObject/Object.h"

namespace
{
	const FString& GetCancelledMessage()
	{
		static const FString Message(TEXT("The tool loop was cancelled."));
		return Message;
	}

	/** The answer of one finished request: the first choice of its response record. */
	FNimbrelChatResponses ReadResponse(const FTalvaneRequestOutcome& InOutcome)
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

	/** The assistant turn of an answer that calls tools, as the history must carry it. */
	FNimbrelContextMessage MakeToolCallTurn(const FNimbrelChatResponseMessage& InMessage)
	{
		FNimbrelContextMessage Turn;
		Turn.Role = ENimbrelRole::NIMBREL_ASSISTANT;
		Turn.Content = InMessage.Content;
		Turn.ToolCalls = InMessage.ToolCalls;
		for (FNimbrelChatResponseToolCall& Call : Turn.ToolCalls)
		{
			// A stream may name the type only in a fragment that was lost to nothing; the wire needs it.
			Call.Type = TEXT("function");
		}
		return Turn;
	}
}

FTalvaneToolLoop::FTalvaneToolLoop(FTalvaneManage& InManage, FNimbrelChatRequest& InRequest, UObject* InTarget,
	const TArray<FName>& InFunctionNames, const int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader,
	FTalvaneToolLoopListener InListener)
	: Manage(InManage)
	, Record(&InRequest)
	, RecordLifetime(InRequest.Lifetime.Watch())
	, Target(InTarget)
	, FunctionNames(InFunctionNames)
	, MaxSteps(InMaxSteps < 1 ? DefaultMaxSteps : InMaxSteps)
	, Headers(InCustomMetadataHeader)
	, Listener(MoveTemp(InListener))
{
}

TSharedPtr<FTalvaneToolLoop> FTalvaneToolLoop::Start(FTalvaneManage& InManage, const FString& InQuestion, FNimbrelChatRequest& InRequest,
	UObject* InTarget, const TArray<FName>& InFunctionNames, const int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader,
	FTalvaneToolLoopListener InListener, FString& OutError)
{
	TArray<FNimbrelTools> Tools;
	if (!InTarget)
	{
		OutError = TEXT("The tool loop has no target object; nothing was sent.");
		UE_LOG(TalvaneLog, Warning, TEXT("%s"), *OutError);
		return nullptr;
	}
	if (!TalvaneGameTools::MakeTools(InTarget, InFunctionNames, Tools, OutError))
	{
		return nullptr;
	}
	const TSharedRef<FTalvaneToolLoop> Loop = MakeShareable(
		new FTalvaneToolLoop(InManage, InRequest, InTarget, InFunctionNames, InMaxSteps, InCustomMetadataHeader, MoveTemp(InListener)));
	Loop->Tools = MoveTemp(Tools);
	if (!Loop->SendStep(&InQuestion))
	{
		OutError = TEXT("The question could not be sent; see the log.");
		return nullptr;
	}
	return Loop;
}

FString FTalvaneToolLoop::MakeStepLimitMessage(const int32 InMaxSteps)
{
	return FString::Printf(TEXT("The tool loop reached its limit of %d requests while the model still called tools."), InMaxSteps);
}

void FTalvaneToolLoop::Cancel()
{
	if (bEnded)
	{
		return;
	}
	if (RequestID.IsValid())
	{
		// The cancelled request reports its failure through the listener, which ends the loop.
		bCancelRequested = true;
		Manage.CancelRequest(RequestID);
		return;
	}
	bCancelRequested = true;
}

FTalvaneToolLoop::FRecordMark FTalvaneToolLoop::MarkRecord() const
{
	FRecordMark Mark;
	if (const FNimbrelChatRequest* const Live = GetLiveRecord())
	{
		Mark.Num = Live->Messages.Num();
		if (Mark.Num > 0)
		{
			Mark.LastRole = Live->Messages.Last().Role;
			Mark.LastContent = Live->Messages.Last().Content;
		}
	}
	return Mark;
}

FNimbrelChatRequest* FTalvaneToolLoop::GetLiveRecord() const
{
	return RecordLifetime.IsValid() ? Record : nullptr;
}

bool FTalvaneToolLoop::SendStep(const FString* InQuestion)
{
	FNimbrelChatRequest* const Live = GetLiveRecord();
	if (!Live)
	{
		return false;
	}
	// The tools are the loop's, offered for its requests only: the record's own come back after the send.
	TArray<FNimbrelTools> CallerTools = MoveTemp(Live->Tools);
	const ENimbrelToolChoice CallerChoice = Live->ToolChoice;
	Live->Tools = Tools;
	Live->ToolChoice = CallerChoice == ENimbrelToolChoice::NB_NONE ? ENimbrelToolChoice::NB_AUTO : CallerChoice;
	const FGuid Sent = Manage.NimbrelChatToolStep(InQuestion, *Live, Headers);
	Live->Tools = MoveTemp(CallerTools);
	Live->ToolChoice = CallerChoice;
	if (!Sent.IsValid() || !Manage.IsValidRequest(Sent))
	{
		return false;
	}
	++Steps;
	RequestID = Sent;
	FTalvaneRequestListener StepListener;
	// The listener holds the loop: it lives while its request is in flight, and the manager forgets the
	// listener with the request's outcome (or, silently, when it shuts down).
	const TSharedRef<FTalvaneToolLoop> Self = AsShared();
	StepListener.OnProgress.BindLambda(
		[Self](ENimbrelProtocol InProtocol, const FString& InText, const FString& InReasoning, const FNimbrelContextInfo& InMeta,
			int32 InSent, int32 InReceived)
		{
			Self->Listener.OnProgress.ExecuteIfBound(InProtocol, InText, InReasoning, InMeta, InSent, InReceived);
		});
	StepListener.OnComplete.BindLambda(
		[Self](const FTalvaneRequestOutcome& InOutcome)
		{
			Self->OnStepComplete(InOutcome);
		});
	Manage.SetRequestListener(Sent, MoveTemp(StepListener));
	return true;
}

void FTalvaneToolLoop::OnStepComplete(const FTalvaneRequestOutcome& InOutcome)
{
	RequestID.Invalidate();
	FTalvaneToolLoopOutcome Outcome;
	Outcome.Code = InOutcome.Code;
	Outcome.Body = InOutcome.Body;
	Outcome.Timings = InOutcome.Timings;
	Outcome.Steps = Steps;
	if (bEnded)
	{
		return;
	}
	if (InOutcome.bSucceeded && bCancelRequested)
	{
		// The answer overtook the cancel: it is not recorded, and its calls are not run.
		Outcome.Message = GetCancelledMessage();
		End(Outcome);
		return;
	}
	if (!InOutcome.bSucceeded)
	{
		const bool bSuperseded = InOutcome.Message == FTalvaneManage::GetSupersededMessage();
		Outcome.Message = bCancelRequested && !bSuperseded ? GetCancelledMessage() : InOutcome.Message;
		End(Outcome);
		return;
	}
	Outcome.Response = ReadResponse(InOutcome);
	const FNimbrelChatResponseMessage Answer =
		Outcome.Response.Choices.Num() > 0 ? Outcome.Response.Choices[0].Message : FNimbrelChatResponseMessage();
	if (Answer.ToolCalls.Num() == 0)
	{
		Outcome.bSucceeded = true;
		Outcome.Text = Answer.Content;
		Outcome.Reasoning = Answer.ReasoningContent;
		if (FNimbrelChatRequest* const Live = GetLiveRecord())
		{
			FNimbrelContextMessage& Message = Live->Messages.AddDefaulted_GetRef();
			Message.Role = ENimbrelRole::NIMBREL_ASSISTANT;
			Message.Content = Answer.Content;
		}
		End(Outcome);
		return;
	}
	if (AnswerToolCalls(Answer, Outcome) && !SendStep(nullptr))
	{
		Outcome.Message = GetLiveRecord() ? FString(TEXT("The next request of the tool loop could not be sent; see the log."))
										  : FString(TEXT("The conversation record was destroyed during the tool loop."));
		End(Outcome);
	}
}

bool FTalvaneToolLoop::AnswerToolCalls(const FNimbrelChatResponseMessage& InMessage, FTalvaneToolLoopOutcome& InOutOutcome)
{
	if (Steps >= MaxSteps)
	{
		InOutOutcome.Message = MakeStepLimitMessage(MaxSteps);
		UE_LOG(TalvaneLog, Warning, TEXT("%s Its calls were not run."), *InOutOutcome.Message);
		End(InOutOutcome);
		return false;
	}
	// Every call runs before the record changes: a game function that sends a question on the record or
	// destroys it finds no half-written turn, and the turn is written only with all its results.
	const FRecordMark Before = MarkRecord();
	TArray<FTalvaneToolCallReport> Reports;
	for (const FNimbrelChatResponseToolCall& Call : InMessage.ToolCalls)
	{
		FTalvaneToolCallReport& Report = Reports.AddDefaulted_GetRef();
		Report.Name = Call.Function.Name;
		Report.Arguments = Call.Function.Arguments;
		Report.bRan = TalvaneGameTools::DispatchToolCall(Target, FunctionNames, Call, Report.Result);
	}
	FNimbrelChatRequest* const Live = GetLiveRecord();
	if (!Live || bEnded || !(MarkRecord() == Before))
	{
		// Gone, or a game function sent a newer question on the record: that question wins.
		InOutOutcome.Message =
			Live ? FTalvaneManage::GetSupersededMessage() : FString(TEXT("The conversation record was destroyed during the tool loop."));
		End(InOutOutcome);
		return false;
	}
	Live->Messages.Add(MakeToolCallTurn(InMessage));
	for (int32 Index = 0; Index < Reports.Num(); ++Index)
	{
		FNimbrelContextMessage& Result = Live->Messages.AddDefaulted_GetRef();
		Result.Role = ENimbrelRole::NIMBREL_TOOL;
		Result.Content = Reports[Index].Result;
		Result.ToolCallID = InMessage.ToolCalls[Index].ID;
	}
	const FRecordMark Written = MarkRecord();
	for (const FTalvaneToolCallReport& Report : Reports)
	{
		Listener.OnToolCall.ExecuteIfBound(Report);
	}
	if (!bEnded && GetLiveRecord() && !(MarkRecord() == Written))
	{
		// A report's handler sent a newer question on the record: the loop asks nothing more.
		InOutOutcome.Message = FTalvaneManage::GetSupersededMessage();
		End(InOutOutcome);
	}
	if (bCancelRequested && !bEnded)
	{
		InOutOutcome.Message = GetCancelledMessage();
		End(InOutOutcome);
	}
	return !bEnded;
}

void FTalvaneToolLoop::End(const FTalvaneToolLoopOutcome& InOutcome)
{
	if (bEnded)
	{
		return;
	}
	bEnded = true;
	if (!InOutcome.bSucceeded)
	{
		UE_LOG(TalvaneLog, Log, TEXT("The tool loop ended after %d requests: %s"), InOutcome.Steps, *InOutcome.Message);
	}
	// Moved out first: the outcome's handler may drop the last reference to this loop.
	FTalvaneToolLoopOutcomeDelegate OnComplete = MoveTemp(Listener.OnComplete);
	Listener = FTalvaneToolLoopListener();
	OnComplete.ExecuteIfBound(InOutcome);
}
