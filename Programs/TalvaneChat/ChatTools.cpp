#include "ChatSession.h"

#include "ChatListener.h"
#include "ChatTavern.h"
#include "Engine/GameInstance.h"
#include "Math/UnrealMathUtility.h"
#include "TalvaneSubsystem.h"
#include "TalvaneToolLoopAsyncAction.h"
#include "Terminal.h"
#include "UObject/UObjectGlobals.h"

// talvane-chat --tools: the question goes through the tool loop with the tavern's two functions.

int32 UChatTavern::RollDie(const int32 Sides)
{
	return Sides < 1 ? 0 : FMath::Clamp(1 + static_cast<int32>(FMath::FRand() * static_cast<float>(Sides)), 1, Sides);
}

int32 UChatTavern::PriceOf(const FString& Item)
{
	static const TMap<FString, int32> Prices = {{TEXT("ale"), 3}, {TEXT("mead"), 5}, {TEXT("stew"), 4}, {TEXT("room"), 12}};
	const int32* Price = Prices.Find(Item.TrimStartAndEnd().ToLower());
	return Price ? *Price : 0;
}

namespace
{
	const TArray<FName>& TavernFunctions()
	{
		static const TArray<FName> Functions = {TEXT("RollDie"), TEXT("PriceOf")};
		return Functions;
	}
}

void FChatSession::OnToolCall(const FTalvaneToolCallReport& InCall)
{
	if (bAnswerOpen || bReasoningOpen)
	{
		ChatTerminal::Write(std::string(ChatTerminal::Reset(Options.bColour)) + "\n");
		bAnswerOpen = false;
		bReasoningOpen = false;
	}
	ChatTerminal::Write("[tool] " + std::string(FTCHARToUTF8(*InCall.Name).Get()) + " " + FTCHARToUTF8(*InCall.Arguments).Get() + " -> " +
						FTCHARToUTF8(*InCall.Result).Get() + "\n");
	// The answer after the calls starts afresh: what progress showed before belonged to an earlier request.
	AnswerShown.Reset();
	ReasoningShown.Reset();
}

void FChatSession::OnToolLoopFailure(
	const int32 InCode, const FString& InBody, const FString& InMessage, const FTalvaneRequestTimings& InTimings)
{
	OnNodeFailure(InCode, InBody, InTimings);
	ToolLoopMessage = InMessage;
}

ETurnResult FChatSession::AskWithTools(const FString& Question)
{
	if (!Tavern)
	{
		Tavern = NewObject<UChatTavern>(GameInstance);
		GameInstance->RegisterReferencedObject(Tavern);
	}
	ToolLoopMessage.Reset();
	if (Options.bNode)
	{
		UTalvaneToolLoopAsyncAction* Node = UTalvaneToolLoopAsyncAction::NimbrelChatWithToolsAsync(
			Listener, Question, ChatRecord, Tavern, TavernFunctions(), 0, Options.Headers);
		Node->OnToolCall.AddDynamic(Listener, &UChatListener::HandleToolNodeCall);
		return FinishToolTurn(WaitForNode(*Node));
	}
	FTalvaneToolLoopListener Heard;
	// The session outlives the loop's reports: they come only while WaitUntilDone ticks, and a loop
	// still running when the session stops goes with the subsystem's shutdown, silently.
	Heard.OnProgress.BindLambda(
		[this](ENimbrelProtocol, const FString& InText, const FString& InReasoning, const FNimbrelContextInfo&, int32, int32)
		{
			OnNodeProgress(InText, InReasoning);
		});
	Heard.OnToolCall.BindLambda(
		[this](const FTalvaneToolCallReport& InCall)
		{
			OnToolCall(InCall);
		});
	Heard.OnComplete.BindLambda(
		[this](const FTalvaneToolLoopOutcome& InOutcome)
		{
			InOutcome.bSucceeded ? OnNodeSuccess(InOutcome.Text, InOutcome.Reasoning, InOutcome.Timings)
								 : OnToolLoopFailure(InOutcome.Code, InOutcome.Body, InOutcome.Message, InOutcome.Timings);
		});
	FString Error;
	const TSharedPtr<FTalvaneToolLoop> Loop =
		Subsystem->StartToolLoop(Question, ChatRecord, Tavern, TavernFunctions(), 0, Options.Headers, MoveTemp(Heard), Error);
	if (!Loop.IsValid())
	{
		LastError = FTCHARToUTF8(*Error).Get();
		return ETurnResult::Failure;
	}
	return FinishToolTurn(WaitUntilDone(
		[Loop]()
		{
			Loop->Cancel();
		}));
}

ETurnResult FChatSession::FinishToolTurn(const ETurnResult InResult)
{
	// A loop whose last request succeeded ended for a reason of its own (the step limit): it says why in its own words.
	if (InResult == ETurnResult::Failure && !ToolLoopMessage.IsEmpty() && FailureCode >= 200 && FailureCode < 300)
	{
		LastError = FTCHARToUTF8(*ToolLoopMessage).Get();
	}
	return InResult;
}
