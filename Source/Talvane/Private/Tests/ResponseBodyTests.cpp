#include "Misc/AutomationTest.h"
#include "Misc/OutputDeviceRedirector.h"
#include "TalvaneJsonResponses.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/** Counts every line written to the log while it is registered. */
	class FLineCounter : public FOutputDevice
	{
	public:
		int32 Lines = 0;

		virtual void Serialize(const TCHAR* /*V*/, ELogVerbosity::Type /*Verbosity*/, const FName& /*Category*/) override
		{
			++Lines;
		}
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
			TestEqual(TEXT("ID"), Chat.ID, TEXT("c1"));
			TestEqual(TEXT("Created truncated toward zero"), Chat.Created, -3);
			TestEqual(TEXT("Model, fingerprint, object"), Chat.Model + Chat.SystemFingerprint + Chat.Object, TEXT("nimbrel-chatfpchat.completion"));
			const FNimbrelChatResponseUsage& Usage = Chat.Usage;
			TestEqual(TEXT("Usage: completion, prompt, hit, miss, total, reasoning"), FString::Printf(TEXT("%d %d %d %d %d %d"), Usage.CompletionTokens,
				Usage.PromptTokens, Usage.PromptCacheHitTokens, Usage.PromptCacheMissTokens, Usage.TotalTokens, Usage.CompletionTokensDetails.ReasoningTokens), TEXT("5 7 3 4 12 2"));
			if (!TestEqual(TEXT("A number among the choices adds no choice"), Chat.Choices.Num(), 1))
			{
				return;
			}
			const FNimbrelChatResponseChoice& Choice = Chat.Choices[0];
			TestEqual(TEXT("Index truncated toward zero"), Choice.Index, 2);
			TestEqual(TEXT("Finish reason"), Choice.FinishReason, TEXT("tool_calls"));
			TestEqual(TEXT("Message texts"), Choice.Message.Role + TEXT("|") + Choice.Message.Content + TEXT("|") + Choice.Message.ReasoningContent, TEXT("assistant|Hi|Think"));
			if (TestEqual(TEXT("A null tool call adds none"), Choice.Message.ToolCalls.Num(), 1))
			{
				const FNimbrelChatResponseToolCall& Call = Choice.Message.ToolCalls[0];
				TestEqual(TEXT("Tool call"), Call.ID + TEXT("|") + Call.Type + TEXT("|") + Call.Function.Name + TEXT("|") + Call.Function.Arguments, TEXT("t1|function|Look|{\"q\":1}"));
			}
			if (TestEqual(TEXT("Log-probability entries"), Choice.Logprobs.Content.Num(), 1))
			{
				const FNimbrelChatResponseLogprobContent& Entry = Choice.Logprobs.Content[0];
				TestEqual(TEXT("Entry token"), Entry.Token, TEXT("Hi"));
				TestEqual(TEXT("Entry log probability"), Entry.Logprob, -0.25f);
				TestEqual(TEXT("Entry bytes"), Entry.Bytes, TArray<int32>{72, 105});
				TestEqual(TEXT("Last alternative's token"), Entry.TopLogprobs.Token, TEXT("b"));
				TestEqual(TEXT("Last alternative's log probability"), Entry.TopLogprobs.Logprob, -1.25f);
				TestEqual(TEXT("Every alternative's bytes"), Entry.TopLogprobs.Bytes, TArray<int32>{97, 98, 99});
			}
		});

		It(TEXT("ReadsTheTopLevelFieldsOfABodyWithoutChoices"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"id":"u","created":9,"model":"m","usage":{"total_tokens":3}})"), Chat);
			TestEqual(TEXT("ID"), Chat.ID, TEXT("u"));
			TestEqual(TEXT("Created"), Chat.Created, 9);
			TestEqual(TEXT("Total tokens"), Chat.Usage.TotalTokens, 3);
			TestEqual(TEXT("Choices"), Chat.Choices.Num(), 0);
		});

		It(TEXT("ReadsADeltaIntoTheMessageWithoutItsToolCalls"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"choices":[{"delta":{"content":"Hel","tool_calls":[{"id":"t"}]}}]})"), Chat);
			TestEqual(TEXT("Content"), Chat.Choices[0].Message.Content, TEXT("Hel"));
			TestEqual(TEXT("Tool calls"), Chat.Choices[0].Message.ToolCalls.Num(), 0);
		});

		It(TEXT("LetsADeltaOverwriteTheMessageTextsButKeepItsToolCalls"), [this]()
		{
			TalvaneJson::StringToNimbrelChatResponses(TEXT(R"({"choices":[{"message":{"content":"M","role":"r","tool_calls":[{"id":"t"}]},"delta":{"content":"D","role":null}}]})"), Chat);
			TestEqual(TEXT("Content"), Chat.Choices[0].Message.Content, TEXT("D"));
			TestEqual(TEXT("A null role leaves the message's"), Chat.Choices[0].Message.Role, TEXT("r"));
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
				TestEqual(*FString::Printf(TEXT("Records after \"%s\""), Body), Chat.ID + FIM.ID + Error.Message, TEXT("keptkeptkept"));
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
			TestEqual(TEXT("ID"), FIM.ID, TEXT("f"));
			TestEqual(TEXT("Prompt tokens"), FIM.Usage.PromptTokens, 4);
			if (!TestEqual(TEXT("Choices"), FIM.Choices.Num(), 1))
			{
				return;
			}
			const FNimbrelFIMResponseChoice& Choice = FIM.Choices[0];
			TestEqual(TEXT("Text"), Choice.Text, TEXT("abc"));
			TestEqual(TEXT("Index and reason"), FString::FromInt(Choice.Index) + Choice.FinishReason, TEXT("1stop"));
			TestEqual(TEXT("Offsets"), Choice.Logprobs.TestOffset, TArray<int32>{0, 3});
			TestEqual(TEXT("A log probability that is no number counts as 0"), Choice.Logprobs.TokenLogprobs, TArray<float>{-0.1f, 0.0f});
			TestEqual(TEXT("Tokens: a number as its text, null as empty"), FString::Join(Choice.Logprobs.Tokens, TEXT("|")), TEXT("ab|5|"));
			if (TestEqual(TEXT("Alternatives come from \"logprobs\", objects only"), Choice.Logprobs.TopLogprobs.Num(), 1))
			{
				TestEqual(TEXT("Alternative"), Choice.Logprobs.TopLogprobs[0].Token, TEXT("t"));
				TestEqual(TEXT("Alternative bytes"), Choice.Logprobs.TopLogprobs[0].Bytes, TArray<int32>{116});
			}
		});
	});

	Describe(TEXT("Error"), [this]()
	{
		It(TEXT("ReadsTheFourKeysFromTheErrorObject"), [this]()
		{
			TalvaneJson::StringToNimbrelChatErrorResponses(TEXT(R"({"error":{"message":"x","type":"invalid","param":null,"code":1001}})"), Error);
			TestEqual(TEXT("Message"), Error.Message, TEXT("x"));
			TestEqual(TEXT("Type"), Error.Type, TEXT("invalid"));
			TestEqual(TEXT("A null param is empty"), Error.Param, TEXT(""));
			TestEqual(TEXT("A numeric code is its text"), Error.Code, TEXT("1001"));
		});

		It(TEXT("ReadsAFlatBodyAsItStands"), [this]()
		{
			TalvaneJson::StringToNimbrelChatErrorResponses(TEXT(R"({"message":"x","code":"y","error":"not an object"})"), Error);
			TestEqual(TEXT("Message and code"), Error.Message + Error.Code, TEXT("xy"));
		});
	});

	Describe(TEXT("Stream"), [this]()
	{
		It(TEXT("YieldsOneRecordPerEventAndNoneForTheEndMarker"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(TEXT("data: {\"id\":\"1\"}\n\ndata: {\"id\":\"2\"}\n\ndata: {\"id\":\"3\"}\n\ndata: [DONE]\n\n"), Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 3);
			TestEqual(TEXT("Last ID"), Chunks.Last().ID, TEXT("3"));
		});

		It(TEXT("YieldsADefaultRecordForACutOffLastEvent"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(TEXT("data: {\"id\":\"1\"}\n\ndata: {\"id\":\"2\",\"choi"), Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 2);
			TestEqual(TEXT("Cut-off record"), Chunks.Last().ID, TEXT(""));
		});

		It(TEXT("ReadsABodyWithoutEventsAsOneCompletion"), [this]()
		{
			TalvaneJson::StringToStreamNimbrelChatResponses(WholeChatBody, Chunks);
			TestEqual(TEXT("Records"), Chunks.Num(), 1);
			TestEqual(TEXT("ID"), Chunks[0].ID, TEXT("c1"));
		});
	});
}

#endif
