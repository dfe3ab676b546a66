#include "HTTP/TalvaneHttp.h"
#include "Misc/AutomationTest.h"
#include "TalvaneType.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneConversationSpec, "Talvane.Conversation", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TSharedPtr<TalvaneHttp::FHTTP, ESPMode::ThreadSafe> HTTP;
	TArray<FNimbrelContextMessage> Messages;

	static TArray<FNimbrelContextMessage> MakeConversation(const FString& Roles);
	static FString Show(const TArray<FNimbrelContextMessage>& InMessages);
	static TArray<FString> AllRoleSequences(int32 MaxLength);
	FString AskOn(const FString& Roles);
	FString AnswerOn(const FString& Roles);

	void DefineAskQuestion();
	void DefineAnswer();
	void DefineConversation();
END_DEFINE_SPEC(FTalvaneConversationSpec)

// A conversation is written as one letter per message: S system, U user, A assistant, T tool. Each
// message's text is its letter and its position (U1 for a user message at index 1).
TArray<FNimbrelContextMessage> FTalvaneConversationSpec::MakeConversation(const FString& Roles)
{
	TArray<FNimbrelContextMessage> Result;
	for (int32 Index = 0; Index < Roles.Len(); ++Index)
	{
		FNimbrelContextMessage& Message = Result.AddDefaulted_GetRef();
		const TCHAR Letter = Roles[Index];
		Message.Role = Letter == TEXT('U') ? ENimbrelRole::NIMBREL_USER
			: Letter == TEXT('A') ? ENimbrelRole::NIMBREL_ASSISTANT
			: Letter == TEXT('T') ? ENimbrelRole::NIMBREL_TOOL
			: ENimbrelRole::NIMBREL_SYSTEM;
		Message.Content = FString::Chr(Letter) + FString::FromInt(Index);
	}
	return Result;
}

// "U:U0|A:A1|U:q": role letter and text of each message, so a failure shows the whole array.
FString FTalvaneConversationSpec::Show(const TArray<FNimbrelContextMessage>& InMessages)
{
	static const TCHAR* const Letters[] = {TEXT("S"), TEXT("U"), TEXT("A"), TEXT("T")};
	TArray<FString> Parts;
	for (const FNimbrelContextMessage& Message : InMessages)
	{
		const int32 Role = static_cast<int32>(Message.Role);
		Parts.Add(FString(Role < 4 ? Letters[Role] : TEXT("?")) + TEXT(":") + Message.Content);
	}
	return FString::Join(Parts, TEXT("|"));
}

TArray<FString> FTalvaneConversationSpec::AllRoleSequences(const int32 MaxLength)
{
	TArray<FString> Sequences = {FString()};
	for (int32 Start = 0; Start < Sequences.Num(); ++Start)
	{
		if (Sequences[Start].Len() < MaxLength)
		{
			for (const TCHAR* Letter : {TEXT("S"), TEXT("U"), TEXT("A"), TEXT("T")})
			{
				Sequences.Add(Sequences[Start] + Letter);
			}
		}
	}
	return Sequences;
}

FString FTalvaneConversationSpec::AskOn(const FString& Roles)
{
	Messages = MakeConversation(Roles);
	HTTP->AddAskQuestion(TEXT("q"), Messages);
	return Show(Messages);
}

FString FTalvaneConversationSpec::AnswerOn(const FString& Roles)
{
	Messages = MakeConversation(Roles);
	HTTP->AddAnswer(TEXT("a"), Messages);
	return Show(Messages);
}

void FTalvaneConversationSpec::Define()
{
	BeforeEach([this]()
	{
		HTTP = TalvaneHttp::FHTTP::CreateHTTPObject(TalvaneHttp::FHTTPDelegate());
		Messages.Reset();
	});
	AfterEach([this]()
	{
		HTTP.Reset();
		Messages.Empty();
	});
	DefineAskQuestion();
	DefineAnswer();
	DefineConversation();
}

void FTalvaneConversationSpec::DefineAskQuestion()
{
	Describe("AddAskQuestion", [this]()
	{
		It("gives the worked results", [this]()
		{
			TestTrue("[] + q", FString(AskOn(TEXT(""))).Equals(TEXT("U:q"), ESearchCase::CaseSensitive));
			TestTrue("[U, A] + q", FString(AskOn(TEXT("UA"))).Equals(TEXT("U:U0|A:A1|U:q"), ESearchCase::CaseSensitive));
			TestTrue("[U, A, U] + q", FString(AskOn(TEXT("UAU"))).Equals(TEXT("U:U0|A:A1|U:q"), ESearchCase::CaseSensitive));
			TestTrue("[S, A] + q", FString(AskOn(TEXT("SA"))).Equals(TEXT("S:S0|A:A1|U:q"), ESearchCase::CaseSensitive));
		});

		It("keeps a system prompt that starts the conversation", [this]()
		{
			TestTrue("[S] + q", FString(AskOn(TEXT("S"))).Equals(TEXT("S:S0|U:q"), ESearchCase::CaseSensitive));
			TestTrue("[S, U, A] + q", FString(AskOn(TEXT("SUA"))).Equals(TEXT("S:S0|U:U1|A:A2|U:q"), ESearchCase::CaseSensitive));
		});

		It("replaces a run of unanswered questions with the new one", [this]()
		{
			TestTrue("[S, U, U, U] + q", FString(AskOn(TEXT("SUUU"))).Equals(TEXT("S:S0|U:q"), ESearchCase::CaseSensitive));
			TestTrue("[U, U] + q", FString(AskOn(TEXT("UU"))).Equals(TEXT("U:q"), ESearchCase::CaseSensitive));
			TestTrue("[A, U, U] + q", FString(AskOn(TEXT("AUU"))).Equals(TEXT("A:A0|U:q"), ESearchCase::CaseSensitive));
		});

		It("ends every conversation with the question and drops nothing but unanswered questions", [this]()
		{
			for (const FString& Roles : AllRoleSequences(6))
			{
				FString Kept = Roles;
				while (Kept.EndsWith(TEXT("U"), ESearchCase::CaseSensitive))
				{
					Kept.LeftChopInline(1);
				}
				const FString Expected = Show(MakeConversation(Kept)) + (Kept.IsEmpty() ? TEXT("") : TEXT("|")) + TEXT("U:q");
				if (!TestTrue(FString::Printf(TEXT("[%s] + q"), *Roles), AskOn(Roles).Equals(Expected, ESearchCase::CaseSensitive)))
				{
					return;
				}
			}
		});

		It("drops 200,000 unanswered questions in a loop, not a recursion", [this]()
		{
			Messages = MakeConversation(TEXT("S"));
			Messages.AddDefaulted(200000);
			for (int32 Index = 1; Index < Messages.Num(); ++Index)
			{
				Messages[Index].Role = ENimbrelRole::NIMBREL_USER;
			}
			HTTP->AddAskQuestion(TEXT("q"), Messages);
			TestTrue("conversation", Show(Messages).Equals(TEXT("S:S0|U:q"), ESearchCase::CaseSensitive));
		});
	});
}

void FTalvaneConversationSpec::DefineAnswer()
{
	Describe("AddAnswer", [this]()
	{
		It("gives the worked results", [this]()
		{
			TestTrue("[] + a", FString(AnswerOn(TEXT(""))).Equals(TEXT("A:a"), ESearchCase::CaseSensitive));
			TestTrue("[U] + a", FString(AnswerOn(TEXT("U"))).Equals(TEXT("U:U0|A:a"), ESearchCase::CaseSensitive));
			TestTrue("[U, A, U] + a", FString(AnswerOn(TEXT("UAU"))).Equals(TEXT("U:U0|A:A1|U:U2|A:a"), ESearchCase::CaseSensitive));

			Messages = MakeConversation(TEXT("UA"));
			Messages[1].Content = TEXT("x\n");
			HTTP->AddAnswer(TEXT("a"), Messages);
			TestTrue("[U, A(x + line break)] + a", Show(Messages).Equals(TEXT("U:U0|A:xa"), ESearchCase::CaseSensitive));
		});

		It("answers a question that follows a system prompt without removing it", [this]()
		{
			TestTrue("[S, U] + a", FString(AnswerOn(TEXT("SU"))).Equals(TEXT("S:S0|U:U1|A:a"), ESearchCase::CaseSensitive));
			TestTrue("[A, U] + a", FString(AnswerOn(TEXT("AU"))).Equals(TEXT("A:A0|U:U1|A:a"), ESearchCase::CaseSensitive));
		});

		It("gives the answer to the earlier of two trailing questions on an even count", [this]()
		{
			TestTrue("[U, U] + a", FString(AnswerOn(TEXT("UU"))).Equals(TEXT("U:U0|A:a"), ESearchCase::CaseSensitive));
			TestTrue("[U, A, U, U] + a", FString(AnswerOn(TEXT("UAUU"))).Equals(TEXT("U:U0|A:A1|U:U2|A:a"), ESearchCase::CaseSensitive));
		});

		It("grows one assistant message from the pieces of a streamed answer", [this]()
		{
			Messages = MakeConversation(TEXT("UA"));
			Messages[1].Content = TEXT("Hel");
			HTTP->AddAnswer(TEXT("lo"), Messages);
			TestTrue("[U, A(Hel)] + lo", Show(Messages).Equals(TEXT("U:U0|A:Hello"), ESearchCase::CaseSensitive));
		});

		It("trims one line break at each end of the text so far and none of the answer", [this]()
		{
			Messages = MakeConversation(TEXT("UA"));
			Messages[1].Content = TEXT("\n\nx\n\n");
			HTTP->AddAnswer(TEXT("\nb\n"), Messages);
			TestTrue("text", Messages.Last().Content.Equals(TEXT("\nx\n\nb\n"), ESearchCase::CaseSensitive));

			Messages[1].Content = TEXT("\n");
			HTTP->AddAnswer(TEXT("c"), Messages);
			TestTrue("a lone line break", Messages.Last().Content.Equals(TEXT("c"), ESearchCase::CaseSensitive));
		});

		It("ends every conversation with a message ending in the answer and loses at most one message", [this]()
		{
			for (const FString& Roles : AllRoleSequences(6))
			{
				const TArray<FNimbrelContextMessage> Before = MakeConversation(Roles);
				Messages = Before;
				HTTP->AddAnswer(TEXT("<answer>"), Messages);
				const FString What = FString::Printf(TEXT("[%s] + a gives %s"), *Roles, *Show(Messages));
				const bool bEndsWithAnswer = Messages.Num() > 0 && Messages.Last().Content.EndsWith(TEXT("<answer>"), ESearchCase::CaseSensitive);
				const bool bKeepsHistory = Messages.Num() >= Before.Num() - 1
					&& Show(TArray<FNimbrelContextMessage>(Messages.GetData(), Before.Num() - 1 > 0 ? Before.Num() - 1 : 0))
						== Show(TArray<FNimbrelContextMessage>(Before.GetData(), Before.Num() - 1 > 0 ? Before.Num() - 1 : 0));
				if (!TestTrue(What, bEndsWithAnswer && bKeepsHistory))
				{
					return;
				}
			}
		});
	});
}

void FTalvaneConversationSpec::DefineConversation()
{
	Describe("A conversation", [this]()
	{
		It("keeps its system prompt across several questions and streamed answers", [this]()
		{
			FNimbrelContextMessage& System = Messages.AddDefaulted_GetRef();
			System.Role = ENimbrelRole::NIMBREL_SYSTEM;
			System.Content = TEXT("Be brief.");
			TArray<FString> Expected = {TEXT("S:Be brief.")};
			for (int32 Turn = 1; Turn <= 4; ++Turn)
			{
				const FString Question = FString::Printf(TEXT("question %d"), Turn);
				HTTP->AddAskQuestion(Question, Messages);
				for (const TCHAR* Piece : {TEXT("Ans"), TEXT("wer "), TEXT("")})
				{
					HTTP->AddAnswer(Piece, Messages);
				}
				HTTP->AddAnswer(FString::FromInt(Turn), Messages);
				Expected.Add(TEXT("U:") + Question);
				Expected.Add(FString::Printf(TEXT("A:Answer %d"), Turn));
			}
			TestTrue("conversation", Show(Messages).Equals(FString::Join(Expected, TEXT("|")), ESearchCase::CaseSensitive));
		});

		It("of 10,000 messages takes another question and a streamed answer", [this]()
		{
			FString Roles;
			for (int32 Turn = 0; Turn < 5000; ++Turn)
			{
				Roles += TEXT("UA");
			}
			Messages = MakeConversation(Roles);
			HTTP->AddAskQuestion(TEXT("q"), Messages);
			HTTP->AddAnswer(TEXT("a"), Messages);
			HTTP->AddAnswer(TEXT("b"), Messages);
			TestEqual("count", Messages.Num(), 10002);
			TestTrue("question", Messages[10000].Content.Equals(TEXT("q"), ESearchCase::CaseSensitive));
			TestTrue("answer", Messages.Last().Content.Equals(TEXT("ab"), ESearchCase::CaseSensitive));
			TestTrue("answer role", Messages.Last().Role == ENimbrelRole::NIMBREL_ASSISTANT);
			TestTrue("history", Messages[9999].Content.Equals(TEXT("A9999"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
