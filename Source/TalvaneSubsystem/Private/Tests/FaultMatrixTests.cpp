#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "FaultMatrixExpectation.h"
#include "FaultMatrixRows.h"
#include "Misc/AutomationTest.h"
#include "SubsystemTestListener.h"
#include "TalvaneSubsystem.h"
#include "TestLogCapture.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneFaultMatrix;
using namespace TalvaneTestServer;

// Every fault scenario of the reference server, against every kind of request (chat, local chat,
// FIM), whole and streamed, with the subsystem in whole and in delta mode: one It per cell. Each cell
// checks that exactly one final report comes and that it is the right one, that the answer text is
// exact where the server sent one, that the conversation record holds just what it should, and that
// the plugin and the HTTP module log the lines the fault calls for and nothing else.
BEGIN_DEFINE_SPEC(FTalvaneFaultMatrixSpec, "Talvane.Subsystem.FaultMatrix", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	/** Time-out of the rows whose server keeps quiet for longer. */
	// The stall-after-headers rows need their headers before it, on a loaded machine and under a
	// sanitizer too; the rows' stalls (30 s) outlast it fifteen times.
	static constexpr double ShortTimeoutSeconds = 2.0;
	/** How long to keep ticking after the final report, for a second report to show if there were one. */
	static constexpr double SettleSeconds = 0.05;

	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	USubsystemTestListener* Listener = nullptr;
	FIniSnapshot RetrySettings;

	void RunCell(const FFaultRow& Row, ERequestKind Kind, bool bStream, bool bCombined);
	TMap<FString, FString> MakeHeaders(const FFaultRow& Row) const;
	void Send(ERequestKind Kind, bool bStream, const TMap<FString, FString>& Headers, FNimbrelChatRequest& Chat,
		FNimbrelLocalChatRequest& Local);
	void CheckReport(const FCellExpectation& Expected, ERequestKind Kind, bool bStream, bool bCombined);
	void CheckProgress(const FCellExpectation& Expected, bool bCombined);
	void CheckRecord(const FCellExpectation& Expected, ERequestKind Kind, bool bStream, const TArray<FNimbrelContextMessage>& Messages);
	void CheckLog(const FCellExpectation& Expected, const TArray<FCapturedLogLine>& Lines);
	void ExpectProblemLines(const FCellExpectation& Expected);
END_DEFINE_SPEC(FTalvaneFaultMatrixSpec)

TMap<FString, FString> FTalvaneFaultMatrixSpec::MakeHeaders(const FFaultRow& Row) const
{
	TMap<FString, FString> Headers;
	if (!Row.Scenario.IsEmpty())
	{
		Headers.Add(TEXT("X-Talvane-Scenario"), Row.Scenario);
	}
	for (const TPair<FString, FString>& Header : Row.Headers)
	{
		Headers.Add(Header.Key, Header.Value);
	}
	if (Row.bFailOnce)
	{
		Headers.Add(TEXT("X-Talvane-Fail-Times"), TEXT("1"));
		Headers.Add(TEXT("X-Talvane-Fail-Status"), FString::FromInt(Row.Status));
		// The server counts attempts by key for as long as it runs, so each request brings a fresh one.
		Headers.Add(TEXT("X-Talvane-Fail-Key"), FGuid::NewGuid().ToString(EGuidFormats::Digits));
	}
	return Headers;
}

void FTalvaneFaultMatrixSpec::Send(const ERequestKind Kind, const bool bStream, const TMap<FString, FString>& Headers,
	FNimbrelChatRequest& Chat, FNimbrelLocalChatRequest& Local)
{
	FGuid RequestID;
	if (Kind == ERequestKind::Chat)
	{
		Chat.Model = ENimbrelModel::NIMBREL_CHAT;
		Chat.bStream = bStream;
		RequestID = Subsystem->NimbrelChatRequest(TEXT("Hello"), Chat, Headers);
	}
	else if (Kind == ERequestKind::LocalChat)
	{
		Local.URL = GetServerHostPort();
		Local.ChatID = TEXT("7");
		Local.bStream = bStream;
		RequestID = Subsystem->NimbrelLocalChatRequest(TEXT("Hello"), Local, Headers);
	}
	else
	{
		FNimbrelFIMRequest Fim;
		Fim.Model = ENimbrelModel::NIMBREL_CHAT;
		Fim.Prompt = TEXT("a");
		Fim.Suffix = TEXT("b");
		Fim.bStream = bStream;
		RequestID = Subsystem->NimbrelFIMRequest(Fim, Headers);
	}
	TestTrue(TEXT("the request was sent"), RequestID.IsValid());
}

void FTalvaneFaultMatrixSpec::RunCell(const FFaultRow& Row, const ERequestKind Kind, const bool bStream, const bool bCombined)
{
	ConfigureCloud(GetServerBaseURL(), Row.bShortTimeout ? ShortTimeoutSeconds : 0.0);
	const FCellExpectation Expected = Expect(Row, Kind, bStream);
	ExpectProblemLines(Expected);
	Subsystem->SetStreamCombinedReply(bCombined);
	Subsystem->OnSuccess.AddDynamic(Listener, &USubsystemTestListener::HandleSuccess);
	Subsystem->OnProgress.AddDynamic(Listener, &USubsystemTestListener::HandleProgress);
	Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
	Subsystem->SetAPIKey(ServerKey);

	FNimbrelChatRequest Chat;
	FNimbrelLocalChatRequest Local;
	TArray<FCapturedLogLine> Lines;
	{
		FTestLogCapture Capture;
		Send(Kind, bStream, MakeHeaders(Row), Chat, Local);
		if (!TickUntil([this]() { return Listener->Finished() > 0; }, 30.0))
		{
			AddError(TEXT("no final report within 30 seconds"));
		}
		TickUntil([]() { return false; }, SettleSeconds);
		Lines = Capture.GetLines();
	}
	CheckReport(Expected, Kind, bStream, bCombined);
	CheckProgress(Expected, bCombined);
	if (Kind != ERequestKind::FIM)
	{
		CheckRecord(Expected, Kind, bStream, Kind == ERequestKind::Chat ? Chat.Messages : Local.Messages);
	}
	CheckLog(Expected, Lines);
}

void FTalvaneFaultMatrixSpec::CheckReport(const FCellExpectation& Expected, const ERequestKind Kind, const bool bStream, const bool bCombined)
{
	TestEqual(TEXT("exactly one final report"), Listener->Finished(), 1);
	if (!Expected.bSuccess)
	{
		TestEqual(TEXT("the final report is a failure"), Listener->Failures.Num(), 1);
		if (Listener->Failures.Num() == 1)
		{
			TestEqual(TEXT("the failure carries one body"), Listener->Failures[0].Num(), 1);
			TestTrue(TEXT("the failure says Error"), Listener->FailureMessages[0].Equals(TEXT("Error"), ESearchCase::CaseSensitive));
			if (!Expected.BodyMarker.IsEmpty() && Listener->Failures[0].Num() == 1)
			{
				TestTrue(TEXT("the failure carries the server's error body"), Listener->Failures[0][0].Contains(Expected.BodyMarker, ESearchCase::CaseSensitive));
			}
		}
		return;
	}
	TestEqual(TEXT("the final report is a success"), Listener->Successes.Num(), 1);
	if (Listener->Successes.Num() != 1)
	{
		return;
	}
	if (Expected.bNoText)
	{
		TestEqual(TEXT("the success carries no text"), Listener->Successes[0].Num(), 0);
		return;
	}
	// Where the text already reached the listener through progress, the success carries a placeholder.
	const bool bPlaceholder = bStream && (Kind == ERequestKind::FIM ? bCombined : !bCombined);
	const FString Reported = Listener->Successes[0].Num() == 1 ? Listener->Successes[0][0] : FString(TEXT("<not one text>"));
	const FString Wanted = bPlaceholder ? FString(TEXT(" ")) : Expected.Answer;
	TestTrue(FString::Printf(TEXT("the success carries \"%s\", not \"%s\""), *Wanted.Left(200), *Reported.Left(200)),
		Reported.Equals(Wanted, ESearchCase::CaseSensitive));
}

void FTalvaneFaultMatrixSpec::CheckProgress(const FCellExpectation& Expected, const bool bCombined)
{
	const TArray<FString>& Progress = Listener->Progress;
	if (!Expected.bProgress)
	{
		TestEqual(TEXT("no progress report"), Progress.Num(), 0);
		return;
	}
	// Whole mode: each report holds the text so far. Delta mode: the reports joined are the text.
	FString SoFar;
	for (const FString& Text : Progress)
	{
		SoFar = bCombined ? Text : SoFar + Text;
		// (The engine's StartsWith is false for an empty prefix; a report may carry no new text yet.)
		if (!SoFar.IsEmpty() && !Expected.Answer.StartsWith(SoFar, ESearchCase::CaseSensitive))
		{
			AddError(FString::Printf(TEXT("progress \"%s\" is not the start of the answer"), *SoFar.Left(200)));
			return;
		}
	}
	if (Expected.bSuccess)
	{
		TestTrue(FString::Printf(TEXT("progress ends at the whole answer, not at \"%s\""), *SoFar.Left(200)),
			SoFar.Equals(Expected.Answer, ESearchCase::CaseSensitive));
	}
}

void FTalvaneFaultMatrixSpec::CheckRecord(const FCellExpectation& Expected, const ERequestKind Kind, const bool bStream,
	const TArray<FNimbrelContextMessage>& Messages)
{
	// A streamed answer enters the conversation when it succeeds; a whole one is reported but not appended.
	const bool bAnswered = Expected.bSuccess && bStream && !Expected.bNoText;
	TestEqual(TEXT("messages in the record"), Messages.Num(), bAnswered ? 2 : 1);
	if (Messages.Num() >= 1)
	{
		TestEqual(TEXT("the question is the user's"), Messages[0].Role, ENimbrelRole::NIMBREL_USER);
		TestTrue(TEXT("the question as asked"), Messages[0].Content.Equals(TEXT("Hello"), ESearchCase::CaseSensitive));
	}
	if (bAnswered && Messages.Num() == 2)
	{
		TestEqual(TEXT("the answer is the assistant's"), Messages[1].Role, ENimbrelRole::NIMBREL_ASSISTANT);
		TestTrue(TEXT("the answer as the server sent it"), Messages[1].Content.Equals(Expected.Answer, ESearchCase::CaseSensitive));
	}
}

void FTalvaneFaultMatrixSpec::CheckLog(const FCellExpectation& Expected, const TArray<FCapturedLogLine>& Lines)
{
	TArray<int32> Counts;
	Counts.SetNumZeroed(Expected.LogRules.Num());
	for (const FCapturedLogLine& Line : Lines)
	{
		const bool bProblem = Line.Verbosity <= ELogVerbosity::Warning;
		if (!bProblem && Line.Verbosity > ELogVerbosity::Log)
		{
			continue;
		}
		const int32 Rule = Expected.LogRules.IndexOfByPredicate([&Line, bProblem](const FLogRule& Candidate)
		{
			return Candidate.Category == Line.Category && Candidate.bProblem == bProblem
				&& Line.Text.Contains(Candidate.Substring, ESearchCase::CaseSensitive);
		});
		if (Rule == INDEX_NONE)
		{
			AddError(FString::Printf(TEXT("unexpected %s line: %s"), *Line.Category.ToString(), *Line.Text.Left(300)));
			continue;
		}
		++Counts[Rule];
	}
	for (int32 Index = 0; Index < Expected.LogRules.Num(); ++Index)
	{
		const FLogRule& Rule = Expected.LogRules[Index];
		if (Counts[Index] < Rule.MinCount || Counts[Index] > Rule.MaxCount)
		{
			AddError(FString::Printf(TEXT("%s lines with \"%s\": %d, expected %d to %d"), *Rule.Category.ToString(), *Rule.Substring,
				Counts[Index], Rule.MinCount, Rule.MaxCount));
		}
	}
}

namespace
{
	/** An expected-error pattern is always a regular expression; the rules hold plain text. */
	FString EscapeForPattern(const FString& InText)
	{
		const FString Special = TEXT("\\^$.|?*+()[]{}");
		FString Pattern;
		for (int32 Index = 0; Index < InText.Len(); ++Index)
		{
			const TCHAR Char = InText[Index];
			bool bSpecial = false;
			for (int32 SpecialIndex = 0; SpecialIndex < Special.Len(); ++SpecialIndex)
			{
				bSpecial = bSpecial || Special[SpecialIndex] == Char;
			}
			if (bSpecial)
			{
				Pattern.AppendChar(TEXT('\\'));
			}
			Pattern.AppendChar(Char);
		}
		return Pattern;
	}
}

void FTalvaneFaultMatrixSpec::ExpectProblemLines(const FCellExpectation& Expected)
{
	// The error lines the fault calls for are the cell's to count; the runner must not fail on them.
	for (const FLogRule& Rule : Expected.LogRules)
	{
		if (Rule.bProblem)
		{
			AddExpectedError(EscapeForPattern(Rule.Substring), EAutomationExpectedErrorFlags::Contains, 0);
		}
	}
}

void FTalvaneFaultMatrixSpec::Define()
{
	BeforeEach([this]()
	{
		RetrySettings = FIniSnapshot(TEXT("Talvane"), {TEXT("MaxRetries"), TEXT("RetryMaxSeconds")});
		GameInstance = NewObject<UGameInstance>(GEngine);
		GameInstance->AddToRoot();
		GameInstance->Init();
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		Listener = NewObject<USubsystemTestListener>();
		Listener->AddToRoot();
	});

	AfterEach([this]()
	{
		GameInstance->Shutdown();
		GameInstance->RemoveFromRoot();
		Listener->RemoveFromRoot();
		GameInstance = nullptr;
		Listener = nullptr;
		Subsystem = nullptr;
		ResetCloud();
		RetrySettings.Restore();
	});

	for (const FFaultRow& Row : GetRows())
	{
		Describe(Row.Name, [this, Row]()
		{
			for (const ERequestKind Kind : {ERequestKind::Chat, ERequestKind::LocalChat, ERequestKind::FIM})
			{
				for (const bool bStream : {false, true})
				{
					for (const bool bCombined : {true, false})
					{
						const FString Cell = FString::Printf(TEXT("%s %s, %s mode"), GetKindName(Kind), bStream ? TEXT("streamed") : TEXT("whole"),
							bCombined ? TEXT("whole") : TEXT("delta"));
						It(Cell, [this, Row, Kind, bStream, bCombined]()
						{
							// Only the retried row may send again, and then at once: retries would hide the other rows' faults.
							const bool bRetry = Row.Fault == EFault::FailOnceRetried;
							GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), bRetry ? TEXT("1") : TEXT("0"), GEngineIni);
							GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("0.05"), GEngineIni);
							RunCell(Row, Kind, bStream, bCombined);
						});
					}
				}
			}
		});
	}
}

#endif
