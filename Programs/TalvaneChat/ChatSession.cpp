#include "ChatSession.h"

#include <chrono>
#include <thread>

#include "ChatFailureWords.h"
#include "ChatListener.h"
#include "ChatLogCapture.h"
#include "ChatTimings.h"
#include "Containers/Ticker.h"
#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "Engine/World.h"
#include "UObject/UObjectGlobals.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "Misc/ConfigCacheIni.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Modules/ModuleManager.h"
#include "ReferenceServer.h"
#include "TalvaneChatAsyncAction.h"
#include "TalvaneFIMAsyncAction.h"
#include "TalvaneJsonStream.h"
#include "TalvaneLocalChatAsyncAction.h"
#include "TalvaneSubsystem.h"
#include "TalvaneToolLoopAsyncAction.h"
#include "Terminal.h"

namespace
{
	/** Sent when a local chat server takes no key: the plugin sends nothing without one. */
	const TCHAR* const LocalPlaceholderKey = TEXT("local-server");
	const TCHAR* const EmbeddedServerKey = TEXT("talvane-chat-key");

	std::string ToUTF8(const FString& Text)
	{
		return FTCHARToUTF8(*Text).Get();
	}
}

FChatSession::FChatSession(FChatOptions InOptions)
	: Options(MoveTemp(InOptions))
{
}

FChatSession::~FChatSession()
{
	Stop();
}

bool FChatSession::Start(std::string& OutError)
{
	LogCapture = std::make_unique<FChatLogCapture>();
	if (!Options.bVerbose)
	{
		// Failures are shown in plain words below; the raw log lines would only repeat them.
		GLog->RemoveOutputDevice(GLogConsole);
	}
	GLog->AddOutputDevice(LogCapture.get());

	FString APIKey = Options.APIKey;
	if (Options.BaseURL.IsEmpty() && Options.LocalHost.IsEmpty())
	{
		TalvaneReference::FServerOptions ServerOptions;
		ServerOptions.ApiKey = ToUTF8(APIKey.IsEmpty() ? FString(EmbeddedServerKey) : APIKey);
		Server = std::make_unique<TalvaneReference::FReferenceServer>(ServerOptions);
		if (Server->Start() < 0)
		{
			OutError = "could not start the embedded reference server on 127.0.0.1";
			return false;
		}
		GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), *FString(Server->GetBaseURL().c_str()), GEngineIni);
		APIKey = FString(ServerOptions.ApiKey.c_str());
	}
	else if (!Options.BaseURL.IsEmpty())
	{
		GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), *Options.BaseURL, GEngineIni);
	}
	if (APIKey.IsEmpty() && !Options.LocalHost.IsEmpty())
	{
		APIKey = LocalPlaceholderKey;
	}
	if (APIKey.IsEmpty())
	{
		OutError = "no API key: pass --api-key or set NIMBREL_API_KEY";
		return false;
	}

	if (!FModuleManager::Get().LoadModule(TEXT("Talvane")) || !FModuleManager::Get().LoadModule(TEXT("TalvaneSubsystem")))
	{
		OutError = "could not load the Talvane modules";
		return false;
	}
	if (Options.MaxRetries >= 0)
	{
		GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), *FString::FromInt(Options.MaxRetries), GEngineIni);
	}
	// A standalone game's instance, under the engine, with its world: the request nodes find the
	// subsystem through it, and the engine's world context keeps it alive until Stop.
	GameInstance = NewObject<UGameInstance>(GEngine);
	GameInstance->InitializeStandalone();
	Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
	if (!Subsystem)
	{
		OutError = "the game instance has no Talvane subsystem";
		return false;
	}
	// Inside the game instance, so it is also the nodes' world context; the game instance holds it.
	Listener = NewObject<UChatListener>(GameInstance);
	GameInstance->RegisterReferencedObject(Listener);
	Listener->Session = this;
	if (!Options.bNode)
	{
		// With --node each request reports on its own node's pins instead.
		Subsystem->OnSuccess.AddDynamic(Listener, &UChatListener::HandleSuccess);
		Subsystem->OnProgress.AddDynamic(Listener, &UChatListener::HandleProgress);
		Subsystem->OnFailure.AddDynamic(Listener, &UChatListener::HandleFailure);
	}
	Subsystem->SetStreamCombinedReply(!Options.bDelta);
	Subsystem->SetAPIKey(APIKey);
	ApplyRecordDefaults();
	return true;
}

void FChatSession::Stop()
{
	if (GameInstance)
	{
		UWorld* World = GameInstance->GetWorld();
		GameInstance->Shutdown();
		// The engine forgets the game instance: a later collection frees it and what it held.
		GEngine->DestroyWorldContext(World);
		GameInstance = nullptr;
		Subsystem = nullptr;
		Tavern = nullptr;
	}
	if (Listener)
	{
		Listener->Session = nullptr;
		Listener = nullptr;
	}
	if (Server)
	{
		Server->Stop();
		Server.reset();
	}
	if (LogCapture)
	{
		GLog->RemoveOutputDevice(LogCapture.get());
		LogCapture.reset();
	}
}

void FChatSession::ApplyRecordDefaults()
{
	ChatRecord.Model = Options.Model;
	ChatRecord.ModelName = Options.ModelName;
	ChatRecord.bStream = Options.bStream;
	if (!Options.ModelName.IsEmpty())
	{
		LocalRecord.Model = Options.ModelName;
	}
	LocalRecord.bStream = Options.bStream;
	LocalRecord.URL = Options.LocalHost;
	LocalRecord.ChatID = Options.ChatID;
	if (!Options.SystemPrompt.IsEmpty())
	{
		FNimbrelContextMessage& System = ChatRecord.Messages.AddDefaulted_GetRef();
		System.Role = ENimbrelRole::NIMBREL_SYSTEM;
		System.Content = Options.SystemPrompt;
		LocalRecord.Messages.Add(System);
	}
}

void FChatSession::ResetHistory()
{
	ChatRecord.Messages.Reset();
	LocalRecord.Messages.Reset();
	ApplyRecordDefaults();
}

void FChatSession::SetModel(const ENimbrelModel InModel)
{
	Options.Model = InModel;
	ChatRecord.Model = InModel;
}

ETurnResult FChatSession::Ask(const FString& Question)
{
	BeginTurn();
	if (Options.bTools && Options.LocalHost.IsEmpty())
	{
		return AskWithTools(Question);
	}
	if (Options.bNode && Options.LocalHost.IsEmpty())
	{
		return WaitForNode(*UTalvaneChatAsyncAction::NimbrelChatAsync(Listener, Question, ChatRecord, Options.Headers));
	}
	if (Options.bNode)
	{
		return WaitForNode(*UTalvaneLocalChatAsyncAction::NimbrelLocalChatAsync(Listener, Question, LocalRecord, Options.Headers));
	}
	const FGuid RequestID = Options.LocalHost.IsEmpty()
		? Subsystem->NimbrelChatRequest(Question, ChatRecord, Options.Headers)
		: Subsystem->NimbrelLocalChatRequest(Question, LocalRecord, Options.Headers);
	return WaitForAnswer(RequestID);
}

ETurnResult FChatSession::Fill(const FString& Prompt, const FString& Suffix)
{
	BeginTurn();
	FNimbrelFIMRequest Record;
	Record.Model = Options.Model;
	Record.ModelName = Options.ModelName;
	Record.bStream = Options.bStream;
	Record.Prompt = Prompt;
	Record.Suffix = Suffix;
	if (Options.bNode)
	{
		// The node keeps a pointer to the record, which lives until the turn is over.
		return WaitForNode(*UTalvaneFIMAsyncAction::NimbrelFIMAsync(Listener, Record, Options.Headers));
	}
	return WaitForAnswer(Subsystem->NimbrelFIMRequest(Record, Options.Headers));
}

void FChatSession::BeginTurn()
{
	bTurnDone = false;
	bTurnFailed = false;
	ReasoningShown.Reset();
	AnswerShown.Reset();
	StatementCache.Reset();
	bReasoningOpen = false;
	bAnswerOpen = false;
	LastError.clear();
	FailureCode = -1;
	LogCapture->Reset();
	TimingsLine.clear();
	ChatTerminal::GInterrupted.store(false);
}

ETurnResult FChatSession::WaitForAnswer(const FGuid& RequestID)
{
	if (!RequestID.IsValid())
	{
		LastError = "the request was not sent";
		return ETurnResult::Failure;
	}
	ActiveRequest = RequestID;
	return WaitUntilDone([this, RequestID]() { Subsystem->CancelRequest(RequestID); });
}

ETurnResult FChatSession::WaitForNode(UTalvaneAsyncRequest& Node)
{
	// Rooted while it runs, as a graph's reference would keep it in a game.
	Node.AddToRoot();
	// Each node class declares its own pins (one signature per class), so each is bound by its type.
	if (UTalvaneFIMAsyncAction* Fim = Cast<UTalvaneFIMAsyncAction>(&Node))
	{
		Fim->OnProgress.AddDynamic(Listener, &UChatListener::HandleNodeFIMProgress);
		Fim->OnSuccess.AddDynamic(Listener, &UChatListener::HandleNodeFIMSuccess);
		Fim->OnFailure.AddDynamic(Listener, &UChatListener::HandleNodeFIMFailure);
	}
	else if (UTalvaneToolLoopAsyncAction* Tools = Cast<UTalvaneToolLoopAsyncAction>(&Node))
	{
		Tools->OnProgress.AddDynamic(Listener, &UChatListener::HandleToolNodeProgress);
		Tools->OnSuccess.AddDynamic(Listener, &UChatListener::HandleToolNodeSuccess);
		Tools->OnFailure.AddDynamic(Listener, &UChatListener::HandleToolNodeFailure);
	}
	else if (UTalvaneChatAsyncAction* Chat = Cast<UTalvaneChatAsyncAction>(&Node))
	{
		Chat->OnProgress.AddDynamic(Listener, &UChatListener::HandleNodeChatProgress);
		Chat->OnSuccess.AddDynamic(Listener, &UChatListener::HandleNodeChatSuccess);
		Chat->OnFailure.AddDynamic(Listener, &UChatListener::HandleNodeChatFailure);
	}
	else if (UTalvaneLocalChatAsyncAction* Local = Cast<UTalvaneLocalChatAsyncAction>(&Node))
	{
		Local->OnProgress.AddDynamic(Listener, &UChatListener::HandleNodeChatProgress);
		Local->OnSuccess.AddDynamic(Listener, &UChatListener::HandleNodeChatSuccess);
		Local->OnFailure.AddDynamic(Listener, &UChatListener::HandleNodeChatFailure);
	}
	Node.Activate();
	ActiveRequest = Node.GetRequestID();
	// The node holds the pointer only while this turn lasts; a cancel makes it fire OnFailure.
	UTalvaneAsyncRequest* const Running = &Node;
	const ETurnResult Result = WaitUntilDone([Running]() { Running->Cancel(); });
	Node.RemoveFromRoot();
	return Result;
}

ETurnResult FChatSession::WaitUntilDone(const TFunction<void()>& InCancel)
{
	bool bCancelled = false;
	auto LastTick = std::chrono::steady_clock::now();
	while (!bTurnDone)
	{
		if (ChatTerminal::GInterrupted.exchange(false) && !bCancelled)
		{
			bCancelled = true;
			InCancel();
		}
		// One frame of a game: the core ticker (retry waits, the nodes' watch of their world), then HTTP.
		const auto Now = std::chrono::steady_clock::now();
		const float DeltaSeconds = std::chrono::duration<float>(Now - LastTick).count();
		FTSTicker::GetCoreTicker().Tick(DeltaSeconds);
		FHttpModule::Get().GetHttpManager().Tick(DeltaSeconds);
		LastTick = Now;
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	if (bAnswerOpen || bReasoningOpen)
	{
		ChatTerminal::Write(std::string(ChatTerminal::Reset(Options.bColour)) + "\n");
	}
	if (!TimingsLine.empty())
	{
		ChatTerminal::Write(TimingsLine + "\n");
	}
	if (bCancelled)
	{
		return ETurnResult::Cancelled;
	}
	if (bTurnFailed)
	{
		// Through the delegates the status code reaches the log after the failure report, so the words are put together now.
		const int32 Code = FailureCode >= 0 ? FailureCode : LogCapture->GetLastCode();
		LastError = DescribeChatFailure(Code, FailureBody, AnswerShown.Len());
		return ETurnResult::Failure;
	}
	return ETurnResult::Success;
}

void FChatSession::OnProgress(const FString& InText, const FString& InReasoningText, const FNimbrelContextInfo& InMeta)
{
	if (!InMeta.Metas.FindRef(TEXT("RequestID")).Equals(ActiveRequest.ToString(EGuidFormats::Digits), ESearchCase::IgnoreCase))
	{
		return;
	}
	ShowProgress(InText, InReasoningText);
}

void FChatSession::OnNodeProgress(const FString& InText, const FString& InReasoningText)
{
	ShowProgress(InText, InReasoningText);
}

void FChatSession::OnNodeSuccess(const FString& InAnswer, const FString& InReasoning, const FTalvaneRequestTimings& InTimings)
{
	NoteTimings(InTimings);
	// The node hands over the whole answer; whatever progress already showed is not shown again.
	ShowReasoning(InReasoning);
	if (Options.bStatements)
	{
		ShowStatements(InAnswer, true);
		ShowUnfinishedStatement(InAnswer);
	}
	else
	{
		ShowAnswer(InAnswer);
	}
	bTurnDone = true;
}

void FChatSession::OnNodeFailure(const int32 InCode, const FString& InBody, const FTalvaneRequestTimings& InTimings)
{
	NoteTimings(InTimings);
	FailureCode = InCode;
	FailureBody = InBody;
	bTurnFailed = true;
	bTurnDone = true;
}

void FChatSession::ShowProgress(const FString& InText, const FString& InReasoningText)
{
	// Whole mode hands over the text so far, delta mode only what is new: keep a running copy either way.
	const FString Reasoning = Options.bDelta ? ReasoningShown + InReasoningText : InReasoningText;
	const FString Answer = Options.bDelta ? AnswerShown + InText : InText;
	ShowReasoning(Reasoning);
	if (Options.bStatements)
	{
		ShowStatements(Answer, false);
		AnswerShown = Answer;
	}
	else
	{
		ShowAnswer(Answer);
	}
}

void FChatSession::OnSuccess(const ENimbrelProtocol InProtocol, const TArray<FString>& InData, const TArray<FString>& InReasoningData,
	const FNimbrelContextInfo& InMeta)
{
	if (!InMeta.Metas.FindRef(TEXT("RequestID")).Equals(ActiveRequest.ToString(EGuidFormats::Digits), ESearchCase::IgnoreCase))
	{
		return;
	}
	NoteTimings();
	const bool bPlaceholder = InData.Num() == 1 && InData[0] == TEXT(" ");
	const bool bStreamedFIM = InProtocol == ENimbrelProtocol::NIMBREL_FIM && Options.bStream;
	// A streamed answer already arrived through progress; whole answers (and the FIM text of delta mode) arrive here.
	if (!Options.bStream || (bStreamedFIM && !bPlaceholder) || AnswerShown.IsEmpty())
	{
		if (InReasoningData.Num() > 0 && !InReasoningData[0].IsEmpty())
		{
			ShowReasoning(InReasoningData[0]);
		}
		if (InData.Num() > 0 && !bPlaceholder)
		{
			Options.bStatements ? ShowStatements(InData[0], true) : ShowAnswer(InData[0]);
		}
	}
	else if (Options.bStatements)
	{
		ShowStatements(AnswerShown, true);
	}
	if (Options.bStatements)
	{
		ShowUnfinishedStatement(InData.Num() > 0 && !bPlaceholder ? InData[0] : AnswerShown);
	}
	bTurnDone = true;
}

void FChatSession::OnFailure(const FString& InBody, const FNimbrelContextInfo& InMeta)
{
	if (!InMeta.Metas.FindRef(TEXT("RequestID")).Equals(ActiveRequest.ToString(EGuidFormats::Digits), ESearchCase::IgnoreCase))
	{
		return;
	}
	NoteTimings();
	FailureBody = InBody;
	bTurnFailed = true;
	bTurnDone = true;
}

void FChatSession::NoteTimings()
{
	FTalvaneRequestTimings Timings;
	if (Subsystem->GetRequestTimings(ActiveRequest, Timings))
	{
		NoteTimings(Timings);
	}
}

void FChatSession::NoteTimings(const FTalvaneRequestTimings& InTimings)
{
	if (Options.bVerbose)
	{
		TimingsLine = DescribeTimings(InTimings);
	}
}

void FChatSession::ShowReasoning(const FString& ReasoningSoFar)
{
	if (ReasoningSoFar.Len() <= ReasoningShown.Len())
	{
		return;
	}
	if (!bReasoningOpen)
	{
		ChatTerminal::Write(std::string(ChatTerminal::Dim(Options.bColour)) + "(thinking) ");
		bReasoningOpen = true;
	}
	ChatTerminal::Write(ReasoningSoFar.RightChop(ReasoningShown.Len()));
	ReasoningShown = ReasoningSoFar;
}

void FChatSession::ShowAnswer(const FString& AnswerSoFar)
{
	if (AnswerSoFar.Len() <= AnswerShown.Len())
	{
		return;
	}
	if (!bAnswerOpen)
	{
		// Reasoning ends where the answer begins.
		ChatTerminal::Write(std::string(bReasoningOpen ? "\n" : "") + ChatTerminal::Reset(Options.bColour));
		bAnswerOpen = true;
	}
	ChatTerminal::Write(AnswerSoFar.RightChop(AnswerShown.Len()));
	AnswerShown = AnswerSoFar;
}

void FChatSession::ShowStatements(const FString& AnswerSoFar, const bool bIncludeLast)
{
	TArray<FString> NewStatements;
	Subsystem->HandleStreamStatementResponses(AnswerSoFar, StatementCache, NewStatements, bIncludeLast);
	for (const FString& Statement : NewStatements)
	{
		if (bReasoningOpen && !bAnswerOpen)
		{
			ChatTerminal::Write(std::string("\n") + ChatTerminal::Reset(Options.bColour));
		}
		bAnswerOpen = false;
		ChatTerminal::Write(Statement.TrimStartAndEnd() + TEXT("\n"));
	}
}

void FChatSession::ShowUnfinishedStatement(const FString& Answer)
{
	// Statements end at a sentence mark; whatever follows the last one is shown once the answer is complete.
	int32 Start = Answer.Len();
	while (Start > 0 && !TalvaneJson::IsSplit(Answer[Start - 1]))
	{
		--Start;
	}
	const FString Tail = Answer.RightChop(Start).TrimStartAndEnd();
	if (!Tail.IsEmpty())
	{
		ChatTerminal::Write(Tail + TEXT("\n"));
	}
}
