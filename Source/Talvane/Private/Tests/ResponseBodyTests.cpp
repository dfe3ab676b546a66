#include "Misc/AutomationTest.h"
#include "HAL/CriticalSection.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Misc/ScopeLock.h"
#include "TalvaneJsonResponses.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/** Counts every line written to the log while it is registered. */
	class FLineCounter : public FOutputDevice
	{
	public:
		int32 Lines = 0;

		/** Lines come from any thread at once (see ErrorLogTests.cpp), so the count is locked. */
		virtual bool CanBeUsedOnAnyThread() const override { return true; }
		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

		virtual void Serialize(const TCHAR* /*V*/, ELogVerbosity::Type /*Verbosity*/, const FName& /*Category*/) override
		{
			FScopeLock Lock(&Mutex);
			++Lines;
		}

	private:
		FCriticalSection Mutex;
	};

	const TCHAR* const WholeChatBody = TEXT(R"({"id":"c1","object":"chat.completion","created":-3.5,"model":"nimbrel-chat",
		"system_fingerprint":"fp","choices":[7,{"index":2.9,"finish_reason":"tool_calls",
		"message":{"role":"assistant","content":"Hi","reasoning_content":"Think",
		"tool_calls":[{"id":"t1","type":"function","function":{"name":"Look","arguments":"{\"q\":1}"}},null]},
		"logprobs":{"content":[{"token":"Hi","logprob":-0.25,"bytes":[72,105],
		"top_logprobs":[{"token":"a","logprob":-0.5,"bytes":[97]},{"token":"b","logprob":-1.25,"bytes":[98,99]}]}]}}],
		"usage":{"completion_tokens":5,"prompt_tokens":7,"prompt_cache_hit_tokens":3,"prompt_cache_miss_tokens":4,
		"total_tokens":12,"completion_tokens_details":{"reasoning_tokens":2}}})");
}

BEGIN_DEFINE_SPEC(FTalvaneResponseBodySpec, "Talvane.ResponseBody", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FNimbrelChatResponses Chat;
	FNimbrelFIMResponses FIM;
	FNimbrelChatErrorResponses Error;
	TArray<FNimbrelChatResponses> Chunks;
END_DEFINE_SPEC(FTalvaneResponseBodySpec)

void FTalvaneResponseBodySpec::Define()
{
	BeforeEach([this]()
	{
		Chat = FNimbrelChatResponses();
		FIM = FNimbrelFIMResponses();
		Error = FNimbrelChatErrorResponses();
		Chunks.Reset();
	});

	Describe(TEXT("Chat"), [this]()
	{
		It(TEXT("ReadsEveryFieldOfAWholeCompletion"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(WholeChatBody, Chat);
			TestTrue(TEXT("ID"), Chat.ID.Equals(TEXT("c1"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Created truncated toward zero"), Chat.Created, -3);
			TestTrue(TEXT("Model, fingerprint, object"), FString(Chat.Model + Chat.SystemFingerprint + Chat.Object).Equals(TEXT("nimbrel-chatfpchat.completion"), ESearchCase::CaseSensitive));
			const FNimbrelChatResponseUsage& Usage = Chat.Usage;
			TestTrue(TEXT("Usage: completion, prompt, hit, miss, total, reasoning"), FString(FString::Printf(TEXT("%d %d %d %d %d %d"), Usage.CompletionTokens,
				Usage.PromptTokens, Usage.PromptCacheHitTokens, Usage.PromptCacheMissTokens, Usage.TotalTokens, Usage.CompletionTokensDetails.ReasoningTokens)).Equals(TEXT("5 7 3 4 12 2"), ESearchCase::CaseSensitive));
			if (!TestEqual(TEXT("A number among the choices adds no choice"), Chat.Choices.Num(), 1))
			{
				return;
			}
			const FNimbrelChatResponseChoice& Choice = Chat.Choices[0];
			TestEqual(TEXT("Index truncated toward zero"), Choice.Index, 2);
			TestTrue(TEXT("Finish reason"), Choice.FinishReason.Equals(TEXT("tool_calls"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Message texts"), FString(Choice.Message.Role + TEXT("|") + Choice.Message.Content + TEXT("|") + Choice.Message.ReasoningContent).Equals(TEXT("assistant|Hi|Think"), ESearchCase::CaseSensitive));
			if (TestEqual(TEXT("A null tool call adds none"), Choice.Message.ToolCalls.Num(), 1))
			{
				const FNimbrelChatResponseToolCall& Call = Choice.Message.ToolCalls[0];
				TestTrue(TEXT("Tool call"), FString(Call.ID + TEXT("|") + Call.Type + TEXT("|") + Call.Function.Name + TEXT("|") + Call.Function.Arguments).Equals(TEXT("t1|function|Look|{\"q\":1}"), ESearchCase::CaseSensitive));
			}
			if (TestEqual(TEXT("Log-probability entries"), Choice.Logprobs.Content.Num(), 1))
			{
				const FNimbrelChatResponseLogprobContent& Entry = Choice.Logprobs.Content[0];
				TestTrue(TEXT("Entry token"), Entry.Token.Equals(TEXT("Hi"), ESearchCase::CaseSensitive));
				TestEqual(TEXT("Entry log probability"), Entry.Logprob, -0.25f);
				TestEqual(TEXT("Entry bytes"), Entry.Bytes, TArray<int32>{72, 105});
				TestTrue(TEXT("Last alternative's token"), Entry.TopLogprobs.Token.Equals(TEXT("b"), ESearchCase::CaseSensitive));
				TestEqual(TEXT("Last alternative's log probability"), Entry.TopLogprobs.Logprob, -1.25f);
				TestEqual(TEXT("Every alternative's bytes"), Entry.TopLogprobs.Bytes, TArray<int32>{97, 98, 99});
			}
		});

		It(TEXT("ReadsTheTopLevelFieldsOfABodyWithoutChoices"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"id":"u","created":9,"model":"m","usage":{"total_tokens":3}})"), Chat);
			TestTrue(TEXT("ID"), Chat.ID.Equals(TEXT("u"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Created"), Chat.Created, 9);
			TestEqual(TEXT("Total tokens"), Chat.Usage.TotalTokens, 3);
			TestEqual(TEXT("Choices"), Chat.Choices.Num(), 0);
		});

		It(TEXT("ReadsADeltaIntoTheMessageWithoutItsToolCalls"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"choices":[{"delta":{"content":"Hel","tool_calls":[{"id":"t"}]}}]})"), Chat);
			TestTrue(TEXT("Content"), Chat.Choices[0].Message.Content.Equals(TEXT("Hel"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Tool calls"), Chat.Choices[0].Message.ToolCalls.Num(), 0);
		});

		It(TEXT("LetsADeltaOverwriteTheMessageTextsButKeepItsToolCalls"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"choices":[{"message":{"content":"M","role":"r","tool_calls":[{"id":"t"}]},"delta":{"content":"D","role":null}}]})"), Chat);
			TestTrue(TEXT("Content"), Chat.Choices[0].Message.Content.Equals(TEXT("D"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("A null role leaves the message's"), Chat.Choices[0].Message.Role.Equals(TEXT("r"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Tool calls"), Chat.Choices[0].Message.ToolCalls.Num(), 1);
		});

		It(TEXT("SaturatesNumbersBeyondTheRangeOfInt32"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"created":1e300,"usage":{"total_tokens":-1e300}})"), Chat);
			TestEqual(TEXT("Created"), Chat.Created, 2147483647);
			TestEqual(TEXT("Total tokens"), Chat.Usage.TotalTokens, -2147483647 - 1);
		});

		It(TEXT("LeavesTheRecordAsItWasForABodyThatIsNoObject"), [this]()
		{
			for (const TCHAR* const Body : {TEXT(""), TEXT("not json"), TEXT("[{\"id\":\"x\"}]"), TEXT("{\"id\":\"x\"} trailing")})
			{
				Chat.ID = TEXT("kept");
				TalvaneJson::StringToNimbrelChatResponses(Body, Chat);
				FIM.ID = TEXT("kept");
				TalvaneJson::StringToNimbrelFIMResponses(Body, FIM);
				Error.Message = TEXT("kept");
				TalvaneJson::StringToNimbrelChatErrorResponses(Body, Error);
				TestTrue(*FString::Printf(TEXT("Records after \"%s\""), Body), FString(Chat.ID + FIM.ID + Error.Message).Equals(TEXT("keptkeptkept"), ESearchCase::CaseSensitive));
			}
		});

		It(TEXT("WritesNoLogLineForAbsentNullOrMistypedFields"), [this]()
		{
			FLineCounter Counter;
			GLog->AddOutputDevice(&Counter);
			TalvaneJson::StringToStreamNimbrelChatResponses(TEXT("data: {\"choices\":[{\"delta\":{\"content\":null}}]}\n\n")
				TEXT("data: {\"id\":1,\"choices\":[\"x\",{\"message\":[],\"logprobs\":{\"content\":[{\"bytes\":[\"a\",{}]}]}}],\"usage\":null}\n\n")
				TEXT("data: {\"choices\":[],\"usage\":{\"total_tokens\":\"many\"}}\n\ndata: [DONE]\n\n"), Chunks);
			TalvaneJson::StringToNimbrelFIMResponses(TEXT("{\"choices\":[{\"logprobs\":{\"tokens\":[1,null],\"logprobs\":[2]}}]}"), FIM);
			GLog->RemoveOutputDevice(&Counter);
			TestEqual(TEXT("Lines written"), Counter.Lines, 0);
			TestEqual(TEXT("Chunks"), Chunks.Num(), 3);
		});
	});

	Describe(TEXT("FIM"), [this]()
	{
		It(TEXT("ReadsTheTextAndTheParallelLogProbabilityArrays"), [this]()
		{
			TalvaneJson::StringToNimbrelFIMResponses(TEXT(R"({"id":"f","choices":[{"text":"abc","index":1,"finish_reason":"stop",
				"logprobs":{"text_offset":[0,3.7],"token_logprobs":[-0.1,"x"],"tokens":["ab",5,null],
				"top_logprobs":[{"token":"no"}],"logprobs":[{"token":"t","logprob":-2,"bytes":[116]},3]}}],"usage":{"prompt_tokens":4}})"), FIM);
			TestTrue(TEXT("ID"), FIM.ID.Equals(TEXT("f"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Prompt tokens"), FIM.Usage.PromptTokens, 4);
			if (!TestEqual(TEXT("Choices"), FIM.Choices.Num(), 1))
			{
				return;
			}
			const FNimbrelFIMResponseChoice& Choice = FIM.Choices[0];
			TestTrue(TEXT("Text"), Choice.Text.Equals(TEXT("abc"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Index and reason"), FString(FString::FromInt(Choice.Index) + Choice.FinishReason).Equals(TEXT("1stop"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Offsets"), Choice.Logprobs.TestOffset, TArray<int32>{0, 3});
			TestEqual(TEXT("A log probability that is no number counts as 0"), Choice.Logprobs.TokenLogprobs, TArray<float>{-0.1f, 0.0f});
			TestTrue(TEXT("Tokens: a number as its text, null as empty"), FString(FString::Join(Choice.Logprobs.Tokens, TEXT("|"))).Equals(TEXT("ab|5|"), ESearchCase::CaseSensitive));
			if (TestEqual(TEXT("Alternatives come from \"logprobs\", objects only"), Choice.Logprobs.TopLogprobs.Num(), 1))
			{
				TestTrue(TEXT("Alternative"), Choice.Logprobs.TopLogprobs[0].Token.Equals(TEXT("t"), ESearchCase::CaseSensitive));
				TestEqual(TEXT("Alternative bytes"), Choice.Logprobs.TopLogprobs[0].Bytes, TArray<int32>{116});
			}
		});
	});

	Describe(TEXT("Error"), [this]()
	{
		It(TEXT("ReadsTheFourKeysFromTheErrorObject"), [this]()
		{
			TalvaneJson::StringToNimbrelChatErrorResponses(TEXT(R"({"error":{"message":"x","type":"invalid","param":null,"code":1001}})"), Error);
			TestTrue(TEXT("Message"), Error.Message.Equals(TEXT("x"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Type"), Error.Type.Equals(TEXT("invalid"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("A null param is empty"), Error.Param.Equals(TEXT(""), ESearchCase::CaseSensitive));
			TestTrue(TEXT("A numeric code is its text"), Error.Code.Equals(TEXT("1001"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReadsAFlatBodyAsItStands"), [this]()
		{
			TalvaneJson::StringToNimbrelChatErrorResponses(TEXT(R"({"message":"x","code":"y","error":"not an object"})"), Error);
			TestTrue(TEXT("Message and code"), FString(Error.Message + Error.Code).Equals(TEXT("xy"), ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("Stream"), [this]()
	{
		It(TEXT("YieldsOneRecordPerEventAndNoneForTheEndMarker"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(TEXT("data: {\"id\":\"1\"}\n\ndata: {\"id\":\"2\"}\n\ndata: {\"id\":\"3\"}\n\ndata: [DONE]\n\n"), Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 3);
			TestTrue(TEXT("Last ID"), Chunks.Last().ID.Equals(TEXT("3"), ESearchCase::CaseSensitive));
		});

		It(TEXT("YieldsADefaultRecordForACutOffLastEvent"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(TEXT("data: {\"id\":\"1\"}\n\ndata: {\"id\":\"2\",\"choi"), Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 2);
			TestTrue(TEXT("Cut-off record"), Chunks.Last().ID.Equals(TEXT(""), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReadsABodyWithoutEventsAsOneCompletion"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(WholeChatBody, Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 1);
			TestTrue(TEXT("ID"), Chunks[0].ID.Equals(TEXT("c1"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
