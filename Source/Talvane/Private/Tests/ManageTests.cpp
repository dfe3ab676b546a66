#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageSpec, "Talvane.Manage", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;

	/** Sends a chat question and ticks until its report arrives. */
	FGuid Chat(const FString& Question, FNimbrelChatRequest& Record, const TMap<FString, FString>& Headers = {})
	{
		const int32 Before = Manager->Reports.Finished();
		const FGuid RequestID = Manager->NimbrelChatRequest(Question, Record, Headers);
		TestTrue(TEXT("request sent"), RequestID.IsValid());
		TestTrue(TEXT("report arrived"), TickUntil([this, Before]() { return Manager->Reports.Finished() > Before; }));
		return RequestID;
	}
END_DEFINE_SPEC(FTalvaneManageSpec)

void FTalvaneManageSpec::Define()
{
	BeforeEach([this]()
	{
		Manager = MakeManager();
	});

	AfterEach([this]()
	{
		Manager.reset();
		StopServer();
		ResetCloud();
	});

	Describe(TEXT("Building"), [this]()
	{
		It(TEXT("KeepsTheStreamingModeAndBuildsNothingBeforeTheFirstCall"), [this]()
		{
			FTalvaneManage Fresh;
			TestTrue(TEXT("whole mode by default"), Fresh.IsStreamCombinedReply());
			Fresh.SetStreamCombinedReply(false);
			TestFalse(TEXT("delta mode kept"), Fresh.IsStreamCombinedReply());
			TestFalse(TEXT("no transport yet"), Fresh.IsValid());
			TestFalse(TEXT("no request is valid on an unbuilt manager"), Fresh.IsValidRequest(FGuid::NewGuid()));
		});

		It(TEXT("SendsNothingWithoutAKeyButKeepsTheQuestion"), [this]()
		{
			FTalvaneManage Keyless;
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid RequestID = Keyless.NimbrelChatRequest(TEXT("anyone?"), Record, {});
			TestFalse(TEXT("zero GUID"), RequestID.IsValid());
			TestTrue(TEXT("built on demand"), Keyless.IsValid());
			TestEqual(TEXT("question appended"), Record.Messages.Num(), 1);
		});

		It(TEXT("ForgetsEarlierRequestsWhenInitAgain"), [this]()
		{
			FNimbrelChatRequest Old = MakeChatRecord(true);
			const FGuid OldID = Manager->NimbrelChatRequest(TEXT("old"), Old, Scenario(TEXT("trickle")));
			TestTrue(TEXT("old request in flight"), Manager->IsValidRequest(OldID));
			Manager->Init();
			Manager->SetAPIKey(ServerKey);
			TestFalse(TEXT("old request forgotten"), Manager->IsValidRequest(OldID));
			FNimbrelChatRequest Record = MakeChatRecord(true);
			Chat(TEXT("new"), Record);
			TickUntil([]() { return false; }, 1.0);
			TestEqual(TEXT("only the new request reported"), Manager->Reports.Successes.Num(), 1);
			TestEqual(TEXT("old record got no answer"), Old.Messages.Num(), 1);
		});
	});

	Describe(TEXT("Completion"), [this]()
	{
		It(TEXT("ReportsAWholeStreamedAnswerAndAppendsItOnce"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true, ENimbrelModel::NIMBREL_REASONER);
			const FGuid RequestID = Chat(TEXT("Where is the inn?"), Record);
			const FString Answer = ExpectedAnswer(TEXT("Where is the inn?"), 1, 1);
			TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
			const FResponseReport& Success = Manager->Reports.Successes[0];
			TestEqual(TEXT("protocol"), Success.Protocol, ENimbrelProtocol::NIMBREL_CHAT);
			TestEqual(TEXT("whole answer"), Success.Data, TArray<FString>{Answer});
			TestEqual(TEXT("whole reasoning"), Success.ReasoningData, TArray<FString>{ExpectedReasoning(TEXT("Where is the inn?"))});
			TestTrue(TEXT("empty message"), Success.Msg.IsEmpty());
			TestTrue(TEXT("meta names the request"), FString(Success.Meta.Metas.FindRef(TEXT("RequestID"))).Equals(RequestID.ToString(), ESearchCase::CaseSensitive));
			TestEqual(TEXT("question and answer"), Record.Messages.Num(), 2);
			TestTrue(TEXT("answer appended"), Record.Messages.Last().Content.Equals(Answer, ESearchCase::CaseSensitive));
			TestEqual(TEXT("as the assistant"), Record.Messages.Last().Role, ENimbrelRole::NIMBREL_ASSISTANT);
			const TArray<FProgressReport> Progress = Manager->Reports.ProgressOf(RequestID);
			TestTrue(TEXT("progress reported"), Progress.Num() > 0);
			TestTrue(TEXT("last progress holds the whole text"), Progress.Last().Text.Equals(Answer, ESearchCase::CaseSensitive));
		});

		It(TEXT("ReportsAPlaceholderInDeltaModeAndStillAppendsTheAnswer"), [this]()
		{
			Manager->SetStreamCombinedReply(false);
			FNimbrelChatRequest Record = MakeChatRecord(true, ENimbrelModel::NIMBREL_REASONER);
			const FGuid RequestID = Chat(TEXT("Delta?"), Record);
			const FResponseReport& Success = Manager->Reports.Successes[0];
			TestEqual(TEXT("placeholder"), Success.Data, TArray<FString>{TEXT(" ")});
			TestEqual(TEXT("no reasoning"), Success.ReasoningData.Num(), 0);
			TestTrue(TEXT("deltas join to the answer"), Manager->Reports.JoinedProgress(RequestID).Equals(ExpectedAnswer(TEXT("Delta?"), 1, 1), ESearchCase::CaseSensitive));
			TestTrue(TEXT("answer appended"), Record.Messages.Last().Content.Equals(ExpectedAnswer(TEXT("Delta?"), 1, 1), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReportsEachChoiceOfAWholeAnswerWithoutAppendingIt"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(false, ENimbrelModel::NIMBREL_REASONER);
			Chat(TEXT("Whole?"), Record);
			const FResponseReport& Success = Manager->Reports.Successes[0];
			TestEqual(TEXT("answer"), Success.Data, TArray<FString>{ExpectedAnswer(TEXT("Whole?"), 1, 1)});
			TestEqual(TEXT("reasoning"), Success.ReasoningData, TArray<FString>{ExpectedReasoning(TEXT("Whole?"))});
			TestEqual(TEXT("only the question"), Record.Messages.Num(), 1);
		});

		It(TEXT("CarriesTheCallersHeadersInTheMeta"), [this]()
		{
			FNimbrelChatRequest First = MakeChatRecord(true);
			FNimbrelChatRequest Second = MakeChatRecord(true);
			Manager->NimbrelChatRequest(TEXT("a"), First, {{TEXT("X-Npc"), TEXT("smith")}});
			Manager->NimbrelChatRequest(TEXT("b"), Second, {{TEXT("X-Npc"), TEXT("baker")}});
			TestTrue(TEXT("both done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			for (const FResponseReport& Success : Manager->Reports.Successes)
			{
				const FString Npc = Success.Meta.Metas.FindRef(TEXT("X-Npc"));
				const FString Question = Npc == TEXT("smith") ? TEXT("a") : TEXT("b");
				TestTrue(TEXT("each answer under its own header"), Success.Data[0].Equals(ExpectedAnswer(Question, 1, 1), ESearchCase::CaseSensitive));
				TestTrue(TEXT("protocol header"), FString(Success.Meta.Metas.FindRef(TEXT("Access-Protocol"))).Equals(TEXT("chat"), ESearchCase::CaseSensitive));
			}
		});

		It(TEXT("FollowsARequestWhoseCallerSentARequestIDHeaderOfItsOwn"), [this]()
		{
			// The caller's pair replaces the GUID in the header; the request must still be followed by itself.
			FNimbrelChatRequest Record = MakeChatRecord(true);
			Chat(TEXT("Who am I?"), Record, {{TEXT("requestid"), TEXT("npc-7")}});
			TestTrue(TEXT("progress reported"), Manager->Reports.Progress.Num() > 0);
			TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
			TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
			if (Manager->Reports.Successes.Num() == 1)
			{
				TestTrue(TEXT("meta carries what was sent"),
					Manager->Reports.Successes[0].Meta.Metas.FindRef(TEXT("RequestID")).Equals(TEXT("npc-7"), ESearchCase::CaseSensitive));
			}
			TestEqual(TEXT("answer appended to its record"), Record.Messages.Last().Content, ExpectedAnswer(TEXT("Who am I?"), 1, 1));
			TestEqual(TEXT("no state left"), Manager->GetTrackedRequestCount(), 0);
		});

		It(TEXT("AppendsNothingWhenNobodyListensForSuccess"), [this]()
		{
			Manager->SuccessDelegate.Unbind();
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("hello?"), Record, {});
			TestTrue(TEXT("completed"), TickUntil([this, RequestID]() { return !Manager->IsValidRequest(RequestID); }));
			TestEqual(TEXT("only the question"), Record.Messages.Num(), 1);
		});

		It(TEXT("KnowsNoLongerTheRequestInsideItsOwnReport"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			FGuid RequestID;
			bool bValidInside = true;
			Manager->SuccessDelegate.BindLambda([this, &RequestID, &bValidInside](ENimbrelProtocol, const TArray<FString>&,
				const TArray<FString>&, const FString&, const FNimbrelContextInfo&) { bValidInside = Manager->IsValidRequest(RequestID); });
			RequestID = Manager->NimbrelChatRequest(TEXT("q"), Record, {});
			TestTrue(TEXT("valid in flight"), Manager->IsValidRequest(RequestID));
			TestTrue(TEXT("completed"), TickUntil([this, RequestID]() { return !Manager->IsValidRequest(RequestID); }));
			TestFalse(TEXT("invalid inside the report"), bValidInside);
		});
	});

	Describe(TEXT("FillInTheMiddle"), [this]()
	{
		It(TEXT("LeavesTheChatConversationAlone"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			Chat(TEXT("first"), Record);
			const TArray<FNimbrelContextMessage> Before = Record.Messages;
			FNimbrelFIMRequest Fim;
			Fim.Model = ENimbrelModel::NIMBREL_CHAT;
			Fim.Prompt = TEXT("Once upon");
			Fim.Suffix = TEXT("the end.");
			Manager->NimbrelFIMRequest(Fim, {});
			TestTrue(TEXT("done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			const FResponseReport& Success = Manager->Reports.Successes.Last();
			TestEqual(TEXT("FIM protocol"), Success.Protocol, ENimbrelProtocol::NIMBREL_FIM);
			TestEqual(TEXT("one text"), Success.Data.Num(), 1);
			TestTrue(TEXT("text built from prompt and suffix"), Success.Data[0].Contains(TEXT("fill between \"Once upon\" and \"the end.\"")));
			TestEqual(TEXT("conversation unchanged"), Record.Messages.Num(), Before.Num());
			TestTrue(TEXT("last message unchanged"), Record.Messages.Last().Content.Equals(Before.Last().Content, ESearchCase::CaseSensitive));
		});

		It(TEXT("HasTextWhenStreamed"), [this]()
		{
			FNimbrelFIMRequest Fim;
			Fim.Model = ENimbrelModel::NIMBREL_CHAT;
			Fim.bStream = true;
			Fim.Prompt = TEXT("abc");
			Fim.Suffix = TEXT("xyz");
			const FGuid WholeID = Manager->NimbrelFIMRequest(Fim, {});
			TestTrue(TEXT("whole mode done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			TestEqual(TEXT("whole mode: placeholder at the end"), Manager->Reports.Successes[0].Data, TArray<FString>{TEXT(" ")});
			const FString Text = Manager->Reports.ProgressOf(WholeID).Last().Text;
			TestTrue(TEXT("whole mode: the text came as progress"), Text.Contains(TEXT("fill between \"abc\" and \"xyz\"")));

			Manager->SetStreamCombinedReply(false);
			const FGuid DeltaID = Manager->NimbrelFIMRequest(Fim, {});
			TestTrue(TEXT("delta mode done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			TestEqual(TEXT("delta mode: the text at the end"), Manager->Reports.Successes[1].Data, TArray<FString>{Text});
			TestTrue(TEXT("deltas join to it"), Manager->Reports.JoinedProgress(DeltaID).Equals(Text, ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("LocalChat"), [this]()
	{
		It(TEXT("AppendsToTheLocalRecordAndReportsProgressAsProtocolNone"), [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			Record.ChatID = TEXT("room/1");
			const FGuid RequestID = Manager->NimbrelLocalChatRequest(TEXT("Local?"), Record, {});
			TestTrue(TEXT("done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			TestEqual(TEXT("success says chat"), Manager->Reports.Successes[0].Protocol, ENimbrelProtocol::NIMBREL_CHAT);
			TestEqual(TEXT("progress says none"), Manager->Reports.ProgressOf(RequestID)[0].Protocol, ENimbrelProtocol::NIMBREL_NONE);
			TestTrue(TEXT("answer appended"), Record.Messages.Last().Content.Equals(ExpectedAnswer(TEXT("Local?"), 1, 1) + TEXT(" [chat: room/1]"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
