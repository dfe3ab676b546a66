#include "Manage/TalvaneRequestState.h"
#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageStreamSpec, "Talvane.Manage.Stream", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;

	/** The whole (non-streamed) answer the reference server gives for a scenario: what a stream must add up to. */
	FString WholeAnswerFor(const FString& Question, const TCHAR* ScenarioName)
	{
		return WholeAnswerFor(Question, Scenario(ScenarioName));
	}

	FString WholeAnswerFor(const FString& Question, const TMap<FString, FString>& Headers)
	{
		FNimbrelChatRequest Record = MakeChatRecord(false);
		const int32 Before = Manager->Reports.Successes.Num();
		Manager->NimbrelChatRequest(Question, Record, Headers);
		TickUntil([this, Before]() { return Manager->Reports.Successes.Num() > Before; });
		return Manager->Reports.Successes.Num() > Before ? Manager->Reports.Successes.Last().Data[0] : FString(TEXT("<no answer>"));
	}

	/** Streams a question through a scenario; checks the progress and the final report add up to Expected. */
	void TestStreamedText(const TCHAR* ScenarioName, const FString& Question, const FString& Expected, const bool bAsEvents = true)
	{
		FNimbrelChatRequest Record = MakeChatRecord(true);
		const int32 Before = Manager->Reports.Finished();
		const FGuid RequestID = Manager->NimbrelChatRequest(Question, Record, Scenario(ScenarioName));
		TestTrue(TEXT("done"), TickUntil([this, Before]() { return Manager->Reports.Finished() > Before; }));
		TestEqual(TEXT("no failure"), Manager->Reports.Failures.Num(), 0);
		// Reading the last report of an empty list is a fatal check in the engine: end the test as a failure instead.
		if (!TestTrue(TEXT("one success"), Manager->Reports.Successes.Num() > 0) || !TestTrue(TEXT("answer recorded"), Record.Messages.Num() > 0))
		{
			return;
		}
		if (!bAsEvents)
		{
			// A whole document is complete only once the body is: its text comes with the final report.
			TestTrue(TEXT("final report is the whole text"), Manager->Reports.Successes.Last().Data[0].Equals(Expected, ESearchCase::CaseSensitive));
		}
		else if (Manager->IsStreamCombinedReply())
		{
			const TArray<FProgressReport> Progress = Manager->Reports.ProgressOf(RequestID);
			TestTrue(TEXT("last progress is the whole text"), Progress.Num() > 0 && Progress.Last().Text.Equals(Expected, ESearchCase::CaseSensitive));
			TestTrue(TEXT("final report is the whole text"), Manager->Reports.Successes.Last().Data[0].Equals(Expected, ESearchCase::CaseSensitive));
		}
		else
		{
			TestTrue(TEXT("deltas join to the whole text"), Manager->Reports.JoinedProgress(RequestID).Equals(Expected, ESearchCase::CaseSensitive));
		}
		TestTrue(TEXT("answer appended whole"), Record.Messages.Last().Content.Equals(Expected, ESearchCase::CaseSensitive));
	}

	/** Bytes of an event stream whose answer pieces are Pieces. */
	static TArray<uint8> StreamOf(const TArray<FString>& Pieces)
	{
		FString Body;
		for (const FString& Piece : Pieces)
		{
			const FString Escaped = Piece.Replace(TEXT("\n"), TEXT("\\n"));
			Body += FString::Printf(TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"%s\"}}]}\n\n"), *Escaped);
		}
		Body += TEXT("data: [DONE]\n\n");
		return Utf8Of(Body);
	}

	static TArray<uint8> Utf8Of(const FString& Text)
	{
		const FTCHARToUTF8 Converted(*Text, Text.Len());
		return TArray<uint8>(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length());
	}

	/** Decodes the body as progress would, InSlice bytes at a time, then finishes it; returns the new texts joined. */
	static FString DecodeInSlices(FTalvaneRequestState& State, const TArray<uint8>& Bytes, const int32 InSlice)
	{
		TalvaneHttp::FTalvaneReceivedBody Received;
		FString Joined;
		FString NewReasoning;
		for (int32 Position = 0; Position < Bytes.Num(); Position += InSlice)
		{
			Received.Receive(Bytes.GetData() + Position, FMath::Min(InSlice, Bytes.Num() - Position));
			Received.TakeReceived();
			State.DecodeNewBytes(Received, Joined, NewReasoning);
		}
		State.Finish(Received, Joined, NewReasoning);
		return Joined;
	}

	/** A streamed completion of "\n  return 0;" and "\n}" through the reference server's echo, and the same answer whole. */
	FNimbrelFIMRequest MakeCodeCompletion(const bool bStream) const
	{
		FNimbrelFIMRequest Fim;
		Fim.Prompt = TEXT("\n  return 0;");
		Fim.Suffix = TEXT("\n}");
		Fim.bEcho = true;
		Fim.bStream = bStream;
		return Fim;
	}
END_DEFINE_SPEC(FTalvaneManageStreamSpec)

void FTalvaneManageStreamSpec::Define()
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

	Describe(TEXT("Slicing"), [this]()
	{
		for (const bool bCombined : {true, false})
		{
			const FString Mode = bCombined ? TEXT("WholeMode") : TEXT("DeltaMode");
			It(FString(TEXT("KeepsCharactersAndEventsCutBetweenReportsIn")) + Mode, [this, bCombined]()
			{
				const FString Expected = WholeAnswerFor(TEXT("Cut me"), TEXT("split"));
				TestTrue(TEXT("answer holds the multi-byte text"), Expected.EndsWith(TEXT("你好，世界。🙂")));
				Manager->SetStreamCombinedReply(bCombined);
				TestStreamedText(TEXT("split"), TEXT("Cut me"), Expected);
			});
		}

		for (const bool bCombined : {true, false})
		{
			const FString Mode = bCombined ? TEXT("WholeMode") : TEXT("DeltaMode");
			It(FString(TEXT("KeepsThousandsOfEventsCutAnywhereExactWithoutReadingTheEngineResponseIn")) + Mode, [this, bCombined]()
			{
				// 3,000 one-word events of multi-byte text, sent in slices of 1 to 89 bytes: reports end
				// inside lines, events and characters.
				TMap<FString, FString> Headers = Scenario(TEXT("many-events"));
				Headers.Add(TEXT("X-Talvane-Events"), TEXT("3000"));
				const FString Expected = WholeAnswerFor(TEXT("Many"), Headers);
				TestTrue(TEXT("the answer has every word"), Expected.Contains(TEXT(" w2998你好 w2999ß w3000é"), ESearchCase::CaseSensitive));
				Manager->SetStreamCombinedReply(bCombined);
				FHttpLogCapture HttpLog;
				FNimbrelChatRequest Record = MakeChatRecord(true);
				const FGuid RequestID = Manager->NimbrelChatRequest(TEXT("Many"), Record, Headers);
				TestTrue(TEXT("done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }, 60.0));
				const TArray<FProgressReport> Progress = Manager->Reports.ProgressOf(RequestID);
				TestTrue(TEXT("the body arrived in several reports"), Progress.Num() > 1);
				const FString Reported = bCombined ? (Progress.IsEmpty() ? FString() : Progress.Last().Text) : Manager->Reports.JoinedProgress(RequestID);
				TestTrue(TEXT("the reported text is exact"), Reported.Equals(Expected, ESearchCase::CaseSensitive));
				TestTrue(TEXT("the answer entered the record whole"), Record.Messages.Last().Content.Equals(Expected, ESearchCase::CaseSensitive));
				TestEqual(TEXT("engine warnings about reading an unfinished response"), HttpLog.CountContaining(TEXT("still processing")), 0);
				TestEqual(TEXT("no state left"), Manager->GetTrackedRequestCount(), 0);
			});
		}

		It(TEXT("KeepsAnswerTextThatHoldsTheDataMarker"), [this]()
		{
			TestStreamedText(TEXT("data-in-text"), TEXT("marker"), TEXT("Echo: data: is not a marker, marker (turn 1, 1 message)"));
		});

		It(TEXT("ReadsCarriageReturnLineEndsAndKeepAliveComments"), [this]()
		{
			TestStreamedText(TEXT("crlf"), TEXT("crlf"), ExpectedAnswer(TEXT("crlf"), 1, 1));
			TestStreamedText(TEXT("keepalive"), TEXT("ping"), ExpectedAnswer(TEXT("ping"), 1, 1));
		});

		It(TEXT("ReadsAWholeJsonAnswerToAStreamedRequest"), [this]()
		{
			TestStreamedText(TEXT("whole-json"), TEXT("whole"), ExpectedAnswer(TEXT("whole"), 1, 1), false);
		});

		It(TEXT("HandsTextOnlyTheEndOfTheBodyCompletedToProgressWhereTheSuccessCarriesAPlaceholder"), [this]()
		{
			// A delta-mode chat and a whole-mode FIM success carry " ": their text must come through progress,
			// even when no event completed it before the body ended.
			Manager->SetStreamCombinedReply(false);
			FNimbrelChatRequest Record = MakeChatRecord(true);
			const FGuid ChatID = Manager->NimbrelChatRequest(TEXT("whole"), Record, Scenario(TEXT("whole-json")));
			TestTrue(TEXT("chat done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			TestTrue(TEXT("deltas join to the answer"), Manager->Reports.JoinedProgress(ChatID).Equals(ExpectedAnswer(TEXT("whole"), 1, 1), ESearchCase::CaseSensitive));

			Manager->SetStreamCombinedReply(true);
			FNimbrelFIMRequest Fim;
			Fim.Prompt = TEXT("p");
			Fim.Suffix = TEXT("s");
			Fim.bStream = true;
			const FGuid FimID = Manager->NimbrelFIMRequest(Fim, Scenario(TEXT("whole-json")));
			TestTrue(TEXT("FIM done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			const TArray<FProgressReport> Progress = Manager->Reports.ProgressOf(FimID);
			TestTrue(TEXT("the last progress is the FIM text"), !Progress.IsEmpty()
				&& Progress.Last().Text.Equals(TEXT("[fill between \"p\" and \"s\"]"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("both succeeded"), Manager->Reports.Successes.Num(), 2);
		});

		It(TEXT("DropsLineBreaksOnlyBeforeTheFirstCharacter"), [this]()
		{
			FTalvaneRequestState State(ENimbrelProtocol::NIMBREL_CHAT, nullptr, nullptr);
			const TArray<uint8> Bytes = StreamOf({TEXT("\n\n"), TEXT("Hi"), TEXT("\n"), TEXT("there\n")});
			TalvaneHttp::FTalvaneReceivedBody Received;
			FString Joined;
			for (const uint8& Byte : Bytes)
			{
				Received.Receive(&Byte, 1);
				Received.TakeReceived();
				FString NewText;
				FString NewReasoning;
				State.DecodeNewBytes(Received, NewText, NewReasoning);
				Joined += NewText;
			}
			State.Finish(Received);
			TestTrue(TEXT("deltas keep inner line breaks"), Joined.Equals(TEXT("Hi\nthere\n"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("whole text equals the deltas"), State.Text.Equals(Joined, ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("LostText"), [this]()
	{
		It(TEXT("KeepsEveryLineBreakOfACompletionWhateverTheSlicing"), [this]()
		{
			const TArray<uint8> Bytes = Utf8Of(TEXT("data: {\"choices\":[{\"index\":0,\"text\":\"\\n  return 0;\"}]}\n\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"text\":\"\\n}\",\"finish_reason\":\"stop\"}]}\n\ndata: [DONE]\n\n"));
			for (const int32 Slice : {1, 2, 5, 13, Bytes.Num()})
			{
				FTalvaneRequestState State(ENimbrelProtocol::NIMBREL_FIM, nullptr, nullptr);
				const FString Joined = DecodeInSlices(State, Bytes, Slice);
				const FString What = FString::Printf(TEXT("slices of %d"), Slice);
				TestTrue(What + TEXT(": deltas keep the leading line break"), Joined.Equals(TEXT("\n  return 0;\n}"), ESearchCase::CaseSensitive));
				TestTrue(What + TEXT(": whole text equals the deltas"), State.Text.Equals(Joined, ESearchCase::CaseSensitive));
			}
		});

		It(TEXT("ReadsEveryEventAfterADataLineThatIsNotJsonWhateverTheSlicing"), [this]()
		{
			// No blank line anywhere: "ping" must not take the rest of the answer, its finish reason and end marker with it.
			const TArray<uint8> Bytes = Utf8Of(TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"One\"}}]}\n")
				TEXT("data: ping\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\" two\"}}]}\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\" three\"}}]}\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{},\"finish_reason\":\"stop\"}]}\n")
				TEXT("data: [DONE]\n"));
			for (const int32 Slice : {1, 2, 5, 13, Bytes.Num()})
			{
				FTalvaneRequestState State(ENimbrelProtocol::NIMBREL_CHAT, nullptr, nullptr);
				const FString Joined = DecodeInSlices(State, Bytes, Slice);
				const FString What = FString::Printf(TEXT("slices of %d"), Slice);
				TestTrue(What + TEXT(": deltas"), Joined.Equals(TEXT("One two three"), ESearchCase::CaseSensitive));
				TestTrue(What + TEXT(": whole text"), State.Text.Equals(TEXT("One two three"), ESearchCase::CaseSensitive));
				TestTrue(What + TEXT(": the finish reason arrived"), State.bFinishReason);
				TestFalse(What + TEXT(": not cut off"), State.IsCutOff());
			}
		});

		for (const bool bCombined : {true, false})
		{
			const FString Mode = bCombined ? TEXT("WholeMode") : TEXT("DeltaMode");
			It(FString(TEXT("ReportsAStreamedCompletionAsTheWholeAnswerIn")) + Mode, [this, bCombined]()
			{
				Manager->SetStreamCombinedReply(bCombined);
				FNimbrelFIMRequest WholeRequest = MakeCodeCompletion(false);
				Manager->NimbrelFIMRequest(WholeRequest, {});
				TestTrue(TEXT("whole answer done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
				const FString Whole = Manager->Reports.Successes.IsEmpty() ? FString() : Manager->Reports.Successes[0].Data[0];
				TestTrue(TEXT("the whole answer begins with the line break"), Whole.StartsWith(TEXT("\n  return 0;"), ESearchCase::CaseSensitive));
				FNimbrelFIMRequest StreamedRequest = MakeCodeCompletion(true);
				const FGuid RequestID = Manager->NimbrelFIMRequest(StreamedRequest, {});
				TestTrue(TEXT("stream done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
				TestEqual(TEXT("two successes"), Manager->Reports.Successes.Num(), 2);
				const TArray<FProgressReport> Progress = Manager->Reports.ProgressOf(RequestID);
				const FString Reported = bCombined ? (Progress.IsEmpty() ? FString() : Progress.Last().Text) : Manager->Reports.JoinedProgress(RequestID);
				TestTrue(TEXT("progress gives the whole answer"), Reported.Equals(Whole, ESearchCase::CaseSensitive));
				if (!bCombined && Manager->Reports.Successes.Num() == 2)
				{
					TestTrue(TEXT("the success gives the whole answer"), Manager->Reports.Successes[1].Data[0].Equals(Whole, ESearchCase::CaseSensitive));
				}
			});

			It(FString(TEXT("ReadsAStreamWithoutBlankLinesAndWithPingLinesWholeIn")) + Mode, [this, bCombined]()
			{
				Manager->SetStreamCombinedReply(bCombined);
				TestStreamedText(TEXT("ping-lines"), TEXT("One two three"), ExpectedAnswer(TEXT("One two three"), 1, 1));
				TestEqual(TEXT("one success"), Manager->Reports.Successes.Num(), 1);
			});
		}
	});

	Describe(TEXT("Conversations"), [this]()
	{
		It(TEXT("AppendsEachOfTwoStreamsInFlightToItsOwnRecord"), [this]()
		{
			Manager->SetStreamCombinedReply(false);
			FNimbrelChatRequest First = MakeChatRecord(true);
			FNimbrelChatRequest Second = MakeChatRecord(true);
			const FGuid FirstID = Manager->NimbrelChatRequest(TEXT("first"), First, Scenario(TEXT("trickle")));
			const FGuid SecondID = Manager->NimbrelChatRequest(TEXT("second"), Second, Scenario(TEXT("trickle")));
			TestTrue(TEXT("both done"), TickUntil([this]() { return Manager->Reports.Finished() == 2; }));
			TestTrue(TEXT("first record"), First.Messages.Last().Content.Equals(ExpectedAnswer(TEXT("first"), 1, 1), ESearchCase::CaseSensitive));
			TestTrue(TEXT("second record"), Second.Messages.Last().Content.Equals(ExpectedAnswer(TEXT("second"), 1, 1), ESearchCase::CaseSensitive));
			TestTrue(TEXT("first deltas"), Manager->Reports.JoinedProgress(FirstID).Equals(ExpectedAnswer(TEXT("first"), 1, 1), ESearchCase::CaseSensitive));
			TestTrue(TEXT("second deltas"), Manager->Reports.JoinedProgress(SecondID).Equals(ExpectedAnswer(TEXT("second"), 1, 1), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesNothingIntoARecordDestroyedBeforeItsAnswer"), [this]()
		{
			std::unique_ptr<FNimbrelChatRequest> Record = std::make_unique<FNimbrelChatRequest>(MakeChatRecord(true));
			Manager->NimbrelChatRequest(TEXT("gone"), *Record, Scenario(TEXT("trickle")));
			Record.reset();
			TestTrue(TEXT("done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			TestEqual(TEXT("still reported"), Manager->Reports.Successes.Num(), 1);
		});

		It(TEXT("GivesACopiedRecordNoAnswerMeantForTheOriginal"), [this]()
		{
			FNimbrelChatRequest Original = MakeChatRecord(true);
			Manager->NimbrelChatRequest(TEXT("mine"), Original, {});
			FNimbrelChatRequest Copy = Original;
			TestTrue(TEXT("done"), TickUntil([this]() { return Manager->Reports.Finished() == 1; }));
			TestEqual(TEXT("original answered"), Original.Messages.Num(), 2);
			TestEqual(TEXT("copy untouched"), Copy.Messages.Num(), 1);
		});

		It(TEXT("KeepsTheSystemPromptAcrossSeveralStreamedTurns"), [this]()
		{
			FNimbrelChatRequest Record = MakeChatRecord(true);
			FNimbrelContextMessage& System = Record.Messages.AddDefaulted_GetRef();
			System.Role = ENimbrelRole::NIMBREL_SYSTEM;
			System.Content = TEXT("Be brief.");
			for (int32 Turn = 1; Turn <= 3; ++Turn)
			{
				const FString Question = FString::Printf(TEXT("question %d"), Turn);
				const int32 Before = Manager->Reports.Finished();
				Manager->NimbrelChatRequest(Question, Record, {});
				TestTrue(TEXT("done"), TickUntil([this, Before]() { return Manager->Reports.Finished() > Before; }));
				TestTrue(TEXT("answer"), Record.Messages.Last().Content.Equals(ExpectedAnswer(Question, Turn, 2 * Turn) + TEXT(" [system: Be brief.]"), ESearchCase::CaseSensitive));
			}
			TestEqual(TEXT("system first"), Record.Messages[0].Role, ENimbrelRole::NIMBREL_SYSTEM);
			TestEqual(TEXT("system, then three turns"), Record.Messages.Num(), 7);
		});
	});
}

#endif
