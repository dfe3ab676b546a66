#pragma once

#include "CoreMinimal.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"
#include "UObject/WeakObjectPtr.h"

class UObject;

/** How a tool loop ended: its final answer, or why there is none. */
struct FTalvaneToolLoopOutcome
{
	bool bSucceeded = false;
	/** The final answer's response record (assembled from the events when streamed). */
	FNimbrelChatResponses Response;
	/** The final answer's text and reasoning. */
	FString Text;
	FString Reasoning;
	/** Of the last request: its HTTP status code (0 when none arrived), its body, its timings. */
	int32 Code = 0;
	FString Body;
	FTalvaneRequestTimings Timings;
	/** For a failure, what went wrong in a few plain words. */
	FString Message;
	/** How many requests the loop sent. */
	int32 Steps = 0;
};

DECLARE_DELEGATE_OneParam(FTalvaneToolCallMadeDelegate, const FTalvaneToolCallReport&);
DECLARE_DELEGATE_OneParam(FTalvaneToolLoopOutcomeDelegate, const FTalvaneToolLoopOutcome&);

/** What the caller of a tool loop hears: progress of each request, each call as it is made, then exactly one outcome. */
struct FTalvaneToolLoopListener
{
	FTalvaneProgressDelegate OnProgress;
	FTalvaneToolCallMadeDelegate OnToolCall;
	FTalvaneToolLoopOutcomeDelegate OnComplete;
};

/**
 * A question answered with the help of a game object's functions: the loop offers the named functions
 * of the target as tools, runs each call the model makes (TalvaneGameTools::DispatchToolCall, on the
 * game thread), sends the results back and asks again, until an answer without tool calls, the step
 * limit, a cancel or a failure.
 *
 * The record keeps a valid history whatever ends the loop. Each answer that calls tools enters it as an
 * assistant turn with its calls, followed at once by one tool message per call (its ToolCallID set):
 * the turn and its results are written together, after the calls have run, so the record never holds a
 * tool-call turn without a result for each call. A turn whose calls are not run (the step limit, a
 * record or loop gone meanwhile, a newer question sent on the record by a game function) never enters
 * it. The final answer enters it as an assistant message.
 * A cancel or failure leaves what was written so far: the question, and any whole turns with their
 * results. A newer question on the record supersedes the loop as it does any request, also when a
 * game function or a tool-call report's handler sends it.
 */
class TALVANE_API FTalvaneToolLoop : public TSharedFromThis<FTalvaneToolLoop>
{
public:
	static constexpr int32 DefaultMaxSteps = 8;

	/**
	 * Starts a loop on InRequest (keep it at a stable address, as for NimbrelChatRequest; a record
	 * destroyed meanwhile is never written and ends the loop as a failure). InMaxSteps is the most
	 * requests the loop sends (less than 1 means DefaultMaxSteps). Returns null when nothing was sent:
	 * the tools could not be made from the target (OutError says which function and why) or the request
	 * could not be sent; no delegate fires then. Otherwise the listener hears exactly one outcome.
	 * InManage must outlive every call to Cancel; the loop lives as long as a request of it is in flight.
	 */
	static TSharedPtr<FTalvaneToolLoop> Start(FTalvaneManage& InManage, const FString& InQuestion, FNimbrelChatRequest& InRequest,
		UObject* InTarget, const TArray<FName>& InFunctionNames, int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader,
		FTalvaneToolLoopListener InListener, FString& OutError);

	/** Stops the loop: the request in flight is cancelled and the outcome is a failure that says so. Once ended, does nothing. */
	void Cancel();

	/** Whether the loop has not yet reported its outcome. */
	bool IsRunning() const { return !bEnded; }

	/** The GUID of the request in flight (all zero between steps and once ended). */
	FGuid GetRequestID() const { return RequestID; }

	/** The failure message of a loop whose last answer still called tools when its step limit was reached. */
	static FString MakeStepLimitMessage(int32 InMaxSteps);

private:
	FTalvaneToolLoop(FTalvaneManage& InManage, FNimbrelChatRequest& InRequest, UObject* InTarget, const TArray<FName>& InFunctionNames,
		int32 InMaxSteps, const TMap<FString, FString>& InCustomMetadataHeader, FTalvaneToolLoopListener InListener);

	/** Sends the next request (with the question for the first) and listens to it; false when nothing was sent. */
	bool SendStep(const FString* InQuestion);
	void OnStepComplete(const FTalvaneRequestOutcome& InOutcome);
	/** Runs the calls of one answer and writes its turn and results into the record; false when the loop must end instead. */
	bool AnswerToolCalls(const FNimbrelChatResponseMessage& InMessage, FTalvaneToolLoopOutcome& InOutOutcome);
	/** Reports the outcome once, and forgets the listener. */
	void End(const FTalvaneToolLoopOutcome& InOutcome);
	/** What the record ends with: a question sent on it meanwhile (by a game function or a report's handler) changes it. */
	struct FRecordMark
	{
		int32 Num = -1;
		ENimbrelRole LastRole = ENimbrelRole::NIMBREL_SYSTEM;
		FString LastContent;
		bool operator==(const FRecordMark& InOther) const
		{
			return Num == InOther.Num && LastRole == InOther.LastRole && LastContent.Equals(InOther.LastContent, ESearchCase::CaseSensitive);
		}
	};
	FRecordMark MarkRecord() const;
	/** The record, or null when it has been destroyed. */
	FNimbrelChatRequest* GetLiveRecord() const;

	FTalvaneManage& Manage;
	FNimbrelChatRequest* const Record;
	const TWeakPtr<uint8> RecordLifetime;
	const TWeakObjectPtr<UObject> Target;
	const TArray<FName> FunctionNames;
	const int32 MaxSteps;
	const TMap<FString, FString> Headers;
	FTalvaneToolLoopListener Listener;
	TArray<FNimbrelTools> Tools;
	FGuid RequestID;
	int32 Steps = 0;
	bool bEnded = false;
	/** Cancel was called while no request was in flight (from a tool-call report): the loop ends before it asks again. */
	bool bCancelRequested = false;
};
