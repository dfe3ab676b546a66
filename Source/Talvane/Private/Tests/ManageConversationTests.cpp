#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageConversationSpec, "Talvane.Manage.Conversation",
	EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
	TalvaneTestServer::FIniSnapshot RetrySettings;

	/** The transport logs the completion of a cancelled request as an error: at least once, any number of times. */
	void ExpectCancelledLines()
	{
		AddExpectedError(TEXT("\\[OnRequestComplete\\]|Request error response is empty"), EAutomationExpectedErrorFlags::Contains, 0);
	}

	/** A slow answer: the first question's answer is still arriving when the second is sent. */
	static TMap<FString, FString> Slow()
	{
		TMap<FString, FString> Headers = Scenario(TEXT("trickle"));
		Headers.Add(TEXT("X-Talvane-Delay-Ms"), TEXT("200"));
		return Headers;
	}

	/** Sends two questions on one record, the second once the first answer has begun to arrive (or at once, for a whole answer). */
	void AskTwice(FNimbrelChatRequest& Record, FGuid& OutFirst, FGuid& OutSecond)
	{
		ExpectCancelledLines();
		OutFirst = Manager->NimbrelChatRequest(TEXT("first"), Record, Slow());
		if (Record.bStream)
		{
			TestTrue(TEXT("the first answer is arriving"), TickUntil([this, OutFirst]() { return Manager->Reports.ProgressOf(OutFirst).Num() > 0; }));
		}
		OutSecond = Manager->NimbrelChatRequest(TEXT("second"), Record, {});
		TestTrue(TEXT("both ended"), TickUntil([this]() { return Manager->Reports.Finished() >= 2; }));
		// A late report of the first request would come after both; give it time to show itself.
		TickUntil([]() { return false; }, 0.5);
	}

	/** One failure that says the request was superseded, and one success: the second answer. */
	void ExpectNewestWon(const bool bCombined, const FString& Suffix = FString())
	{
		TestEqual(TEXT("one failure"), Manager->Reports.Failures.Num(), 1);
		TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
		if (Manager->Reports.Failures.Num() == 1)
		{
			TestEqual(TEXT("the failure says why"), Manager->Reports.Failures[0].Data, TArray<FString>{FTalvaneManage::GetSupersededMessage()});
		}
		if (Manager->Reports.Successes.Num() == 1 && bCombined)
		{
			TestEqual(TEXT("the success is the second answer"), Manager->Reports.Successes[0].Data, TArray<FString>{ExpectedAnswer(TEXT("second"), 1, 1) + Suffix});
		}
	}

	void ExpectRecordOfSecond(const TArray<FNimbrelContextMessage>& Messages, const bool bAnswered, const FString& Suffix = FString())
	{
		if (TestEqual(TEXT("question, then its answer"), Messages.Num(), bAnswered ? 2 : 1))
		{
			TestTrue(TEXT("the newest question"), Messages[0].Content.Equals(TEXT("second"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("asked by the user"), Messages[0].Role, ENimbrelRole::NIMBREL_USER);
			if (bAnswered)
			{
				TestTrue(TEXT("its own answer, nothing glued on"), Messages[1].Content.Equals(ExpectedAnswer(TEXT("second"), 1, 1) + Suffix, ESearchCase::CaseSensitive));
			}
		}
	}
END_DEFINE_SPEC(FTalvaneManageConversationSpec)

void FTalvaneManageConversationSpec::Define()
{
	BeforeEach([this]()
	{
		Manager = MakeManager();
		RetrySettings = TalvaneTestServer::FIniSnapshot(TEXT("Talvane"), {TEXT("MaxRetries"), TEXT("RetryBaseSeconds"), TEXT("RetryMaxSeconds")});
	});

	AfterEach([this]()
	{
		Manager.reset();
		RetrySettings.Restore();
		ResetCloud();
	});

	Describe(TEXT("NewestQuestionWins"), [this]()
	{
		It(TEXT("SupersedesAStreamedAnswerInWholeTextMode"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			FGuid First;
			FGuid Second;
			AskTwice(Record, First, Second);
			ExpectNewestWon(true);
			ExpectRecordOfSecond(Record.Messages, true);
		});

		It(TEXT("SupersedesAStreamedAnswerInDeltaMode"), [this]()
		{
			Manager->SetStreamCombinedReply(false);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			FGuid First;
			FGuid Second;
			AskTwice(Record, First, Second);
			ExpectNewestWon(false);
			ExpectRecordOfSecond(Record.Messages, true);
			TestTrue(TEXT("the second's deltas join to its answer"), Manager->Reports.JoinedProgress(Second).Equals(ExpectedAnswer(TEXT("second"), 1, 1), ESearchCase::CaseSensitive));
		});

		It(TEXT("SupersedesAWholeAnswer"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(false);
			FGuid First;
			FGuid Second;
			AskTwice(Record, First, Second);
			ExpectNewestWon(true);
			// A whole answer is reported, never written into the record.
			ExpectRecordOfSecond(Record.Messages, false);
		});

		It(TEXT("SupersedesALocalChat"), [this]()
		{
			FNimbrelLocalChatRequest Record;
			Record.URL = GetServerHostPort();
			Record.ChatID = TEXT("inn");
			ExpectCancelledLines();
			const FGuid First = Manager->NimbrelLocalChatRequest(TEXT("first"), Record, Slow());
			TestTrue(TEXT("the first answer is arriving"), TickUntil([this, First]() { return Manager->Reports.ProgressOf(First).Num() > 0; }));
			Manager->NimbrelLocalChatRequest(TEXT("second"), Record, {});
			TestTrue(TEXT("both ended"), TickUntil([this]() { return Manager->Reports.Finished() >= 2; }));
			TickUntil([]() { return false; }, 0.5);
			ExpectNewestWon(true, TEXT(" [chat: inn]"));
			ExpectRecordOfSecond(Record.Messages, true, TEXT(" [chat: inn]"));
		});

		It(TEXT("TellsTheFirstRequestsListenerOnce"), [this]()
		{
			ExpectCancelledLines();
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid First = Manager->NimbrelChatRequest(TEXT("first"), Record, Slow());
			TArray<FTalvaneRequestOutcome> Outcomes;
			FTalvaneRequestListener Listener;
			Listener.OnComplete.BindLambda([&Outcomes](const FTalvaneRequestOutcome& InOutcome) { Outcomes.Add(InOutcome); });
			Manager->SetRequestListener(First, Listener);
			Manager->NimbrelChatRequest(TEXT("second"), Record, {});
			TestTrue(TEXT("both ended"), TickUntil([this]() { return Manager->Reports.Finished() >= 2; }));
			TickUntil([]() { return false; }, 0.5);
			if (TestEqual(TEXT("one outcome"), Outcomes.Num(), 1))
			{
				TestFalse(TEXT("a failure"), Outcomes[0].bSucceeded);
				TestEqual(TEXT("says it was superseded"), Outcomes[0].Message, FTalvaneManage::GetSupersededMessage());
			}
			TestFalse(TEXT("the first is no longer in flight"), Manager->IsValidRequest(First));
		});

		It(TEXT("SupersedesARequestWaitingToBeSentAgain"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("MaxRetries"), TEXT("1"), GEngineIni);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryBaseSeconds"), TEXT("60"), GEngineIni);
			GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("60"), GEngineIni);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid First = Manager->NimbrelChatRequest(TEXT("first"), Record, Scenario(TEXT("status-503")));
			TestTrue(TEXT("the first waits to be sent again"), TickUntil([this]() { return Manager->GetTrackedRequestCount() == 0; }));
			TestTrue(TEXT("still pending"), Manager->IsValidRequest(First));
			Manager->NimbrelChatRequest(TEXT("second"), Record, {});
			TestFalse(TEXT("the wait is over"), Manager->IsValidRequest(First));
			TestTrue(TEXT("the second ended"), TickUntil([this]() { return Manager->Reports.Finished() >= 2; }));
			ExpectNewestWon(true);
			ExpectRecordOfSecond(Record.Messages, true);
		});

		It(TEXT("LeavesOtherRecordsAndFillInTheMiddleAlone"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			FNimbrelChatRequest Other = MakeChatRecord(true);
			FNimbrelFIMRequest Fim;
			Fim.Model = ENimbrelModel::NIMBREL_CHAT;
			Fim.bStream = true;
			Fim.Prompt = TEXT("Once");
			Manager->NimbrelChatRequest(TEXT("other"), Other, Slow());
			Manager->NimbrelFIMRequest(Fim, Slow());
			Manager->NimbrelChatRequest(TEXT("mine"), Record, {});
			TestTrue(TEXT("all ended"), TickUntil([this]() { return Manager->Reports.Finished() >= 3; }));
			TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
			TestEqual(TEXT("other record answered"), Other.Messages.Num(), 2);
			TestEqual(TEXT("this record answered"), Record.Messages.Num(), 2);
		});

		It(TEXT("KeepsAnsweringQuestionsAskedOneAfterAnother"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			for (int32 Turn = 1; Turn <= 2; ++Turn)
			{
				const int32 Before = Manager->Reports.Finished();
				Manager->NimbrelChatRequest(FString::Printf(TEXT("q%d"), Turn), Record, {});
				TestTrue(TEXT("answered"), TickUntil([this, Before]() { return Manager->Reports.Finished() > Before; }));
			}
			TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
			TestEqual(TEXT("two turns"), Record.Messages.Num(), 4);
		});
	});

	Describe(TEXT("HistoryBudget"), [this]()
	{
		It(TEXT("SendsA500TurnConversationWithinItsBudget"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			Record.MaxHistoryCharacters = 3000;
			FNimbrelContextMessage& System = Record.Messages.AddDefaulted_GetRef();
			System.Content = TEXT("You are the innkeeper.");
			for (int32 Turn = 0; Turn < 500; ++Turn)
			{
				FNimbrelContextMessage& Question = Record.Messages.AddDefaulted_GetRef();
				Question.Role = ENimbrelRole::NIMBREL_USER;
				Question.Content = FString::Printf(TEXT("Question number %d about the rooms?"), Turn);
				FNimbrelContextMessage& Answer = Record.Messages.AddDefaulted_GetRef();
				Answer.Role = ENimbrelRole::NIMBREL_ASSISTANT;
				Answer.Content = FString::Printf(TEXT("Answer number %d: a room costs twelve."), Turn);
			}
			const TalvaneManageTest::FTalvaneLogCapture Log;
			Manager->NimbrelChatRequest(TEXT("And breakfast?"), Record, {});
			TestTrue(TEXT("answered"), TickUntil([this]() { return Manager->Reports.Finished() >= 1; }));
			TestEqual(TEXT("a success"), Manager->Reports.Successes.Num(), 1);

			// The body as sent, from the transport's log line of it.
			const TArray<TalvaneManageTest::FTalvaneLogCapture::FLine> Bodies = Log.Find(TEXT("URL={"));
			if (!TestEqual(TEXT("one body sent"), Bodies.Num(), 1))
			{
				return;
			}
			const TSharedPtr<FJsonObject> Body = ParseJsonObject(Bodies[0].Text.RightChop(4));
			const TArray<TSharedPtr<FJsonValue>>* Sent = nullptr;
			if (!TestTrue(TEXT("a body with messages"), Body.IsValid() && Body->TryGetArrayField(TEXT("messages"), Sent)))
			{
				return;
			}
			int32 Characters = 0;
			for (const TSharedPtr<FJsonValue>& Message : *Sent)
			{
				FString Name;
				Message->AsObject()->TryGetStringField(TEXT("name"), Name);
				Characters += Message->AsObject()->GetStringField(TEXT("content")).Len() + Name.Len();
			}
			TestTrue(FString::Printf(TEXT("the body's messages fit (%d characters)"), Characters), Characters <= 3000 && Characters > 2500);
			TestEqual(TEXT("the system message went first"), (*Sent)[0]->AsObject()->GetStringField(TEXT("role")), FString(TEXT("system")));
			TestEqual(TEXT("the question went last"), Sent->Last()->AsObject()->GetStringField(TEXT("content")), FString(TEXT("And breakfast?")));
			TestEqual(TEXT("the record holds what was sent, and the answer"), Record.Messages.Num(), Sent->Num() + 1);
			TestTrue(TEXT("the server saw the trimmed history"), Record.Messages.Last().Content.Contains(FString::Printf(TEXT("%d messages"), Sent->Num())));
		});
	});
}

#endif
