#pragma once

#include <memory>
#include <string>

#include "CoreMinimal.h"
#include "TalvaneRequestTimings.h"
#include "TalvaneType.h"

class UChatListener;
class UChatTavern;
struct FTalvaneToolCallReport;
class UGameInstance;
class UTalvaneAsyncRequest;
class UTalvaneSubsystem;
class FChatLogCapture;

namespace TalvaneReference
{
	class FReferenceServer;
}

/** What the command line chose. */
struct FChatOptions
{
	ENimbrelModel Model = ENimbrelModel::NIMBREL_CHAT;
	/** A model name sent instead of Model's (and as the local server's model); empty keeps the usual names. */
	FString ModelName;
	bool bStream = true;
	bool bDelta = false;
	bool bStatements = false;
	bool bColour = false;
	bool bVerbose = false;
	/** Local chat server host (with optional port); empty for the cloud service. */
	FString LocalHost;
	FString ChatID;
	/** Cloud base URL; empty means the embedded reference server. */
	FString BaseURL;
	FString APIKey;
	FString SystemPrompt;
	TMap<FString, FString> Headers;
	/** Send each request through a per-request node (as a Blueprint graph would) instead of the subsystem's delegates. */
	bool bNode = false;
	/** Ask through the tool loop, with the tavern's die and price list as tools. */
	bool bTools = false;
	/** [Talvane] MaxRetries for this run; negative leaves the ini as it is. */
	int32 MaxRetries = -1;
};

enum class ETurnResult : uint8
{
	Success,
	Failure,
	Cancelled,
};

/**
 * One chat program run: boots the modules, makes a game instance and gets the Talvane subsystem, as a
 * game would, then asks questions through it while ticking the HTTP manager. The conversation lives in
 * the session's request records.
 */
class FChatSession
{
public:
	explicit FChatSession(FChatOptions InOptions);
	~FChatSession();

	/** Starts everything; false with a one-line reason when that fails. */
	bool Start(std::string& OutError);
	void Stop();

	/** Asks one chat question (cloud or local) and prints the answer as it arrives. */
	ETurnResult Ask(const FString& Question);
	/** Asks for the text between Prompt and Suffix. */
	ETurnResult Fill(const FString& Prompt, const FString& Suffix);

	void ResetHistory();
	void SetModel(ENimbrelModel InModel);
	/** Plain words for the last failure, with the status code when there was one. */
	const std::string& GetLastError() const { return LastError; }

	void OnSuccess(ENimbrelProtocol InProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
		const FNimbrelContextInfo& InMeta);
	void OnProgress(const FString& InText, const FString& InReasoningText, const FNimbrelContextInfo& InMeta);
	void OnFailure(const FString& InBody, const FNimbrelContextInfo& InMeta);

	/** The pins of the turn's node: its progress, the whole answer, or the failure with its status code. */
	void OnNodeProgress(const FString& InText, const FString& InReasoningText);
	void OnNodeSuccess(const FString& InAnswer, const FString& InReasoning, const FTalvaneRequestTimings& InTimings);
	void OnNodeFailure(int32 InCode, const FString& InBody, const FTalvaneRequestTimings& InTimings);

	/** With --tools: one call the loop made, printed with its arguments and result. */
	void OnToolCall(const FTalvaneToolCallReport& InCall);
	/** With --tools: the loop failed; InMessage says why in its own words. */
	void OnToolLoopFailure(int32 InCode, const FString& InBody, const FString& InMessage, const FTalvaneRequestTimings& InTimings);

private:
	/** Asks through the tool loop (the subsystem's C++ loop, or its node with --node). */
	ETurnResult AskWithTools(const FString& Question);
	ETurnResult FinishToolTurn(ETurnResult InResult);
	ETurnResult WaitForAnswer(const FGuid& RequestID);
	/** Binds the node's pins, runs it and waits for one of its last two. */
	ETurnResult WaitForNode(UTalvaneAsyncRequest& Node);
	/** Ticks as a game's frames do until the turn is done; InCancel runs once when the user presses Ctrl-C. */
	ETurnResult WaitUntilDone(const TFunction<void()>& InCancel);
	void ShowProgress(const FString& InText, const FString& InReasoningText);
	void BeginTurn();
	void ShowReasoning(const FString& ReasoningSoFar);
	void ShowAnswer(const FString& AnswerSoFar);
	void ShowStatements(const FString& AnswerSoFar, bool bIncludeLast);
	void ShowUnfinishedStatement(const FString& Answer);
	void ApplyRecordDefaults();
	/** With --verbose: keeps the turn's timings while its last report is delivered, the only time they are readable. */
	void NoteTimings();
	/** Keeps the timings line that --verbose prints after the answer. */
	void NoteTimings(const FTalvaneRequestTimings& InTimings);

	FChatOptions Options;
	FNimbrelChatRequest ChatRecord;
	FNimbrelLocalChatRequest LocalRecord;
	std::unique_ptr<TalvaneReference::FReferenceServer> Server;
	std::unique_ptr<FChatLogCapture> LogCapture;
	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	UChatListener* Listener = nullptr;
	/** The game object whose functions --tools offers; made on first use, held by the game instance. */
	UChatTavern* Tavern = nullptr;
	/** The failure message of the last tool loop. */
	FString ToolLoopMessage;

	/** The turn in progress. */
	FGuid ActiveRequest;
	bool bTurnDone = false;
	bool bTurnFailed = false;
	FString ReasoningShown;
	FString AnswerShown;
	TArray<FString> StatementCache;
	bool bReasoningOpen = false;
	bool bAnswerOpen = false;
	FString FailureBody;
	/** The status code a node's failure carried; -1 when the code is read from the log. */
	int32 FailureCode = -1;
	std::string LastError;
	/** The turn's timings line (--verbose), printed after the answer. */
	std::string TimingsLine;
};
