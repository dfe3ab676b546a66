#include "Misc/AutomationTest.h"
#include "TalvaneJsonErrors.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStreamAssembly.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneStreamAssemblySpec, "Talvane.StreamAssembly", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	/** One event line per JSON text, then the end marker. */
	static FString Stream(const TArray<FString>& InEvents)
	{
		FString Body;
		for (const FString& Event : InEvents)
		{
			Body += TEXT("data: ") + Event + TEXT("\n\n");
		}
		return Body + TEXT("data: [DONE]\n\n");
	}

	bool IsExactly(const FString& InActual, const TCHAR* InExpected)
	{
		return InActual.Equals(InExpected, ESearchCase::CaseSensitive);
	}
END_DEFINE_SPEC(FTalvaneStreamAssemblySpec)

void FTalvaneStreamAssemblySpec::Define()
{
	Describe(TEXT("Chat"), [this]()
	{
		It(TEXT("GathersEachChoiceByItsIndexAndDropsLeadingLineBreaks"), [this]()
		{
			FNimbrelChatResponses Response;
			TalvaneJson::AssembleStreamedChatResponses(Stream({
				TEXT(R"({"id":"c1","model":"m","created":7,"choices":[{"index":1,"delta":{"role":"assistant","content":"\n\nB"}},{"index":0,"delta":{"content":"A"}}]})"),
				TEXT(R"({"id":"other","choices":[{"index":0,"delta":{"content":"a","reasoning_content":"r"}},{"index":1,"delta":{"content":"b"},"finish_reason":"length"}]})"),
				TEXT(R"({"choices":[{"index":0,"delta":{},"finish_reason":"stop"}]})"),
			}), Response);
			TestTrue(TEXT("the first id"), IsExactly(Response.ID, TEXT("c1")));
			TestEqual(TEXT("created"), Response.Created, 7);
			if (TestEqual(TEXT("two choices"), Response.Choices.Num(), 2))
			{
				TestEqual(TEXT("in the order they first came"), Response.Choices[0].Index, 1);
				TestTrue(TEXT("index 1 text without its leading breaks"), IsExactly(Response.Choices[0].Message.Content, TEXT("Bb")));
				TestTrue(TEXT("index 1 role"), IsExactly(Response.Choices[0].Message.Role, TEXT("assistant")));
				TestTrue(TEXT("index 1 finish"), IsExactly(Response.Choices[0].FinishReason, TEXT("length")));
				TestTrue(TEXT("index 0 text"), IsExactly(Response.Choices[1].Message.Content, TEXT("Aa")));
				TestTrue(TEXT("index 0 reasoning"), IsExactly(Response.Choices[1].Message.ReasoningContent, TEXT("r")));
				TestTrue(TEXT("index 0 finish"), IsExactly(Response.Choices[1].FinishReason, TEXT("stop")));
			}
		});

		It(TEXT("ReadsEveryEventAfterADataLineThatIsNotJson"), [this]()
		{
			// No blank lines: each JSON line is an event of its own, whatever came before it.
			FNimbrelChatResponses Response;
			TalvaneJson::AssembleStreamedChatResponses(TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"One\"}}]}\n")
				TEXT("data: ping\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\" two\"}}]}\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\" three\"}}]}\n")
				TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{},\"finish_reason\":\"stop\"}]}\n")
				TEXT("data: [DONE]\n"), Response);
			if (TestEqual(TEXT("one choice"), Response.Choices.Num(), 1))
			{
				TestTrue(TEXT("the whole text"), IsExactly(Response.Choices[0].Message.Content, TEXT("One two three")));
				TestTrue(TEXT("the finish reason"), IsExactly(Response.Choices[0].FinishReason, TEXT("stop")));
			}
		});

		It(TEXT("MergesToolCallFragmentsByIndexAndByPositionWithout"), [this]()
		{
			FNimbrelChatResponses Response;
			TalvaneJson::AssembleStreamedChatResponses(Stream({
				TEXT(R"({"choices":[{"index":0,"delta":{"tool_calls":[{"index":3,"id":"t3","type":"function","function":{"name":"lo","arguments":""}}]}}]})"),
				TEXT(R"({"choices":[{"index":0,"delta":{"tool_calls":[{"index":3,"id":"ignored","function":{"name":"ok","arguments":"{\"a\""}}]}}]})"),
				TEXT(R"({"choices":[{"index":0,"delta":{"tool_calls":[null,{"function":{"arguments":"x"}}]}}]})"),
				TEXT(R"({"choices":[{"index":0,"delta":{"tool_calls":[{"index":3,"function":{"arguments":":1}"}}]}}]})"),
			}), Response);
			if (TestEqual(TEXT("one choice"), Response.Choices.Num(), 1) && TestEqual(TEXT("two calls"), Response.Choices[0].Message.ToolCalls.Num(), 2))
			{
				const FNimbrelChatResponseToolCall& Call = Response.Choices[0].Message.ToolCalls[0];
				TestTrue(TEXT("the first id stays"), IsExactly(Call.ID, TEXT("t3")));
				TestTrue(TEXT("type"), IsExactly(Call.Type, TEXT("function")));
				TestTrue(TEXT("name fragments joined"), IsExactly(Call.Function.Name, TEXT("look")));
				TestTrue(TEXT("argument fragments joined"), IsExactly(Call.Function.Arguments, TEXT("{\"a\":1}")));
				TestTrue(TEXT("a fragment without index takes its position"), IsExactly(Response.Choices[0].Message.ToolCalls[1].Function.Arguments, TEXT("x")));
			}
		});

		It(TEXT("TakesTheLastUsageEvenOfZerosAndSkipsErrorAndBrokenEvents"), [this]()
		{
			FNimbrelChatResponses Response;
			TalvaneJson::AssembleStreamedChatResponses(Stream({
				TEXT(R"({"choices":[{"index":0,"delta":{"content":"ok"}}],"usage":{"total_tokens":9}})"),
				TEXT(R"({"error":{"message":"later"},"choices":[{"index":0,"delta":{"content":"NO"}}]})"),
				TEXT(R"({"choices":[{"index":0,"delta":{"content":"NO")"),
				TEXT(R"({"choices":[],"usage":{"total_tokens":0}})"),
				TEXT(R"({"choices":[],"usage":null})"),
			}), Response);
			TestEqual(TEXT("the last usage, zero as it was"), Response.Usage.TotalTokens, 0);
			TestTrue(TEXT("only the answer's text"), Response.Choices.Num() == 1 && IsExactly(Response.Choices[0].Message.Content, TEXT("ok")));
		});
	});

	Describe(TEXT("FIM"), [this]()
	{
		It(TEXT("JoinsTheTextOfEachChoice"), [this]()
		{
			FNimbrelFIMResponses Response;
			TalvaneJson::AssembleStreamedFIMResponses(Stream({
				TEXT(R"({"id":"f","choices":[{"index":0,"text":"fi"}]})"),
				TEXT(R"({"choices":[{"index":0,"text":"ll","finish_reason":"stop"}],"usage":{"prompt_tokens":2}})"),
			}), Response);
			TestTrue(TEXT("id"), IsExactly(Response.ID, TEXT("f")));
			TestTrue(TEXT("text"), Response.Choices.Num() == 1 && IsExactly(Response.Choices[0].Text, TEXT("fill")));
			TestTrue(TEXT("finish"), Response.Choices.Num() == 1 && IsExactly(Response.Choices[0].FinishReason, TEXT("stop")));
			TestEqual(TEXT("usage"), Response.Usage.PromptTokens, 2);
		});

		It(TEXT("KeepsTheLeadingLineBreaksTheWholeAnswerHas"), [this]()
		{
			FNimbrelFIMResponses Streamed;
			TalvaneJson::AssembleStreamedFIMResponses(Stream({
				TEXT(R"({"choices":[{"index":0,"text":"\n  return 0;"}]})"),
				TEXT(R"({"choices":[{"index":0,"text":"\n}","finish_reason":"stop"}]})"),
			}), Streamed);
			FNimbrelFIMResponses Whole;
			TalvaneJson::StringToNimbrelFIMResponses(TEXT(R"({"choices":[{"index":0,"text":"\n  return 0;\n}","finish_reason":"stop"}]})"), Whole);
			TestTrue(TEXT("the text with its line breaks"), Streamed.Choices.Num() == 1 && IsExactly(Streamed.Choices[0].Text, TEXT("\n  return 0;\n}")));
			TestTrue(TEXT("equal to the whole answer's"), Streamed.Choices.Num() == 1 && Whole.Choices.Num() == 1
				&& Streamed.Choices[0].Text.Equals(Whole.Choices[0].Text, ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("ErrorMessage"), [this]()
	{
		It(TEXT("ReadsItFromADocumentOrTheFirstErrorEvent"), [this]()
		{
			TestTrue(TEXT("document"), IsExactly(TalvaneJson::ReadErrorMessage(TEXT(R"({"error":{"message":"no credit"}})")), TEXT("no credit")));
			TestTrue(TEXT("local refusal"), IsExactly(TalvaneJson::ReadErrorMessage(TEXT(R"({"code":1001,"message":"chat refused"})")), TEXT("chat refused")));
			TestTrue(TEXT("event"), IsExactly(TalvaneJson::ReadErrorMessage(Stream({TEXT(R"({"choices":[{"delta":{"content":"x"}}]})"),
				TEXT(R"({"error":{"message":"stream interrupted"}})")})), TEXT("stream interrupted")));
			TestTrue(TEXT("none in an answer"), TalvaneJson::ReadErrorMessage(Stream({TEXT(R"({"choices":[]})")})).IsEmpty());
			TestTrue(TEXT("none in HTML"), TalvaneJson::ReadErrorMessage(TEXT("<html>bad gateway</html>")).IsEmpty());
		});
	});
}

#endif
