#include "Misc/AutomationTest.h"
#include "TalvaneConversationJson.h"
#include "TalvaneType.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneConversationJsonSpec, "Talvane.ConversationJson", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	static FNimbrelContextMessage MakeMessage(const ENimbrelRole Role, const FString& Content, const FString& Name = FString())
	{
		FNimbrelContextMessage Message;
		Message.Role = Role;
		Message.Content = Content;
		Message.Name = Name;
		return Message;
	}

	static FNimbrelChatResponseToolCall MakeCall(const FString& ID, const FString& Name, const FString& Arguments)
	{
		FNimbrelChatResponseToolCall Call;
		Call.ID = ID;
		Call.Type = TEXT("function");
		Call.Function.Name = Name;
		Call.Function.Arguments = Arguments;
		return Call;
	}

	/** A conversation that uses every role and every field, a tool turn included, with text that JSON must escape. */
	static TArray<FNimbrelContextMessage> MakeConversation()
	{
		FNimbrelContextMessage Calls = MakeMessage(ENimbrelRole::NIMBREL_ASSISTANT, FString());
		Calls.ToolCalls = {MakeCall(TEXT("call_1"), TEXT("get_price"), TEXT("{\"item\":\"ale\"}")), MakeCall(TEXT("call_2"), TEXT("roll"), TEXT("{}"))};
		FNimbrelContextMessage Price = MakeMessage(ENimbrelRole::NIMBREL_TOOL, TEXT("{\"price\":12}"), TEXT("get_price"));
		Price.ToolCallID = TEXT("call_1");
		FNimbrelContextMessage Roll = MakeMessage(ENimbrelRole::NIMBREL_TOOL, TEXT("{\"ReturnValue\":4}"));
		Roll.ToolCallID = TEXT("call_2");
		return {
			MakeMessage(ENimbrelRole::NIMBREL_SYSTEM, TEXT("You are the innkeeper.\nBe brief.")),
			MakeMessage(ENimbrelRole::NIMBREL_USER, TEXT("A \"room\", please \\ now\t!"), TEXT("Player_1")),
			Calls,
			Price,
			Roll,
			MakeMessage(ENimbrelRole::NIMBREL_ASSISTANT, TEXT("你好，旅人。 Ünïcödé \x01 done")),
			MakeMessage(ENimbrelRole::NIMBREL_ASSISTANT, FString()),
		};
	}

	void TestSameMessages(const TArray<FNimbrelContextMessage>& Actual, const TArray<FNimbrelContextMessage>& Expected)
	{
		if (!TestEqual(TEXT("message count"), Actual.Num(), Expected.Num()))
		{
			return;
		}
		for (int32 Index = 0; Index < Expected.Num(); ++Index)
		{
			TestEqual(TEXT("role"), Actual[Index].Role, Expected[Index].Role);
			TestTrue(TEXT("content"), Actual[Index].Content.Equals(Expected[Index].Content, ESearchCase::CaseSensitive));
			TestTrue(TEXT("name"), Actual[Index].Name.Equals(Expected[Index].Name, ESearchCase::CaseSensitive));
			TestTrue(TEXT("tool call id"), Actual[Index].ToolCallID.Equals(Expected[Index].ToolCallID, ESearchCase::CaseSensitive));
			if (!TestEqual(TEXT("tool calls"), Actual[Index].ToolCalls.Num(), Expected[Index].ToolCalls.Num()))
			{
				continue;
			}
			for (int32 Call = 0; Call < Expected[Index].ToolCalls.Num(); ++Call)
			{
				const FNimbrelChatResponseToolCall& A = Actual[Index].ToolCalls[Call];
				const FNimbrelChatResponseToolCall& E = Expected[Index].ToolCalls[Call];
				TestTrue(TEXT("tool call"), A.ID.Equals(E.ID, ESearchCase::CaseSensitive) && A.Type.Equals(E.Type, ESearchCase::CaseSensitive)
					&& A.Function.Name.Equals(E.Function.Name, ESearchCase::CaseSensitive)
					&& A.Function.Arguments.Equals(E.Function.Arguments, ESearchCase::CaseSensitive));
			}
		}
	}
END_DEFINE_SPEC(FTalvaneConversationJsonSpec)

void FTalvaneConversationJsonSpec::Define()
{
	Describe(TEXT("RoundTrip"), [this]()
	{
		It(TEXT("ReadsBackEveryFieldOfEveryMessageExactly"), [this]()
		{
			const TArray<FNimbrelContextMessage> Original = MakeConversation();
			FString Json;
			TalvaneJson::ConversationToJson(Original, Json);
			TArray<FNimbrelContextMessage> Read = {MakeMessage(ENimbrelRole::NIMBREL_USER, TEXT("replaced"))};
			FString Error = TEXT("stale");
			TestTrue(TEXT("read"), TalvaneJson::ConversationFromJson(Json, Read, Error));
			TestTrue(TEXT("no error"), Error.IsEmpty());
			TestSameMessages(Read, Original);
			FString Again;
			TalvaneJson::ConversationToJson(Read, Again);
			TestTrue(TEXT("written again, the same text"), Again.Equals(Json, ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesAnEmptyConversationAndItsLayout"), [this]()
		{
			FString Json = TEXT("old text");
			TalvaneJson::ConversationToJson({}, Json);
			TestEqual(TEXT("empty"), Json, FString(TEXT(R"({"version":1,"messages":[]})")));
			TalvaneJson::ConversationToJson({MakeMessage(ENimbrelRole::NIMBREL_USER, TEXT("hi"))}, Json);
			TestTrue(TEXT("one message"), Json.Equals(TEXT(R"({"version":1,"messages":[{"role":"user","content":"hi","name":"","tool_call_id":"","tool_calls":[]}]})"),
				ESearchCase::CaseSensitive));
			FNimbrelContextMessage Calls = MakeMessage(ENimbrelRole::NIMBREL_ASSISTANT, FString());
			Calls.ToolCalls = {MakeCall(TEXT("c1"), TEXT("roll"), TEXT("{}"))};
			TalvaneJson::ConversationToJson({Calls}, Json);
			TestTrue(TEXT("a tool-call turn"), Json.Equals(TEXT(R"({"version":1,"messages":[{"role":"assistant","content":"","name":"","tool_call_id":"","tool_calls":[{"id":"c1","type":"function","function":{"name":"roll","arguments":"{}"}}]}]})"),
				ESearchCase::CaseSensitive));
			TArray<FNimbrelContextMessage> Read = MakeConversation();
			FString Error;
			TestTrue(TEXT("an empty conversation reads"), TalvaneJson::ConversationFromJson(TEXT(R"({"version":1,"messages":[]})"), Read, Error));
			TestEqual(TEXT("and empties the record"), Read.Num(), 0);
			TestTrue(TEXT("a message without tool fields reads"),
				TalvaneJson::ConversationFromJson(TEXT(R"({"version":1,"messages":[{"role":"user","content":"hi","name":""}]})"), Read, Error));
			TestTrue(TEXT("with none"), Read.Num() == 1 && Read[0].ToolCallID.IsEmpty() && Read[0].ToolCalls.Num() == 0);
		});

		It(TEXT("KeepsAThousandTurnsInOrder"), [this]()
		{
			TArray<FNimbrelContextMessage> Original;
			for (int32 Turn = 0; Turn < 1000; ++Turn)
			{
				Original.Add(MakeMessage(ENimbrelRole::NIMBREL_USER, FString::Printf(TEXT("q%d"), Turn)));
				Original.Add(MakeMessage(ENimbrelRole::NIMBREL_ASSISTANT, FString::Printf(TEXT("a%d"), Turn)));
			}
			FString Json;
			TalvaneJson::ConversationToJson(Original, Json);
			TArray<FNimbrelContextMessage> Read;
			FString Error;
			TestTrue(TEXT("read"), TalvaneJson::ConversationFromJson(Json, Read, Error));
			TestSameMessages(Read, Original);
		});
	});

	Describe(TEXT("BadText"), [this]()
	{
		struct FBadCase
		{
			const TCHAR* What;
			const TCHAR* Json;
			const TCHAR* Reason;
		};
		const FBadCase Cases[] = {
			{TEXT("empty text"), TEXT(""), TEXT("not a JSON object")},
			{TEXT("not JSON"), TEXT("hello"), TEXT("not a JSON object")},
			{TEXT("cut short"), TEXT(R"({"version":1,"messages":[{"role":"user","content":"hi","na)"), TEXT("not a JSON object")},
			{TEXT("an array"), TEXT(R"([{"role":"user","content":"hi","name":""}])"), TEXT("not a JSON object")},
			{TEXT("no version"), TEXT(R"({"messages":[]})"), TEXT("version 1")},
			{TEXT("a later version"), TEXT(R"({"version":2,"messages":[]})"), TEXT("version 1")},
			{TEXT("no messages"), TEXT(R"({"version":1})"), TEXT("no \"messages\" array")},
			{TEXT("a message that is no object"), TEXT(R"({"version":1,"messages":[{"role":"user","content":"a","name":""},7]})"), TEXT("message 1 is not an object")},
			{TEXT("an unknown role"), TEXT(R"({"version":1,"messages":[{"role":"narrator","content":"a","name":""}]})"), TEXT("message 0 has no known role")},
			{TEXT("a role in other case"), TEXT(R"({"version":1,"messages":[{"role":"User","content":"a","name":""}]})"), TEXT("message 0 has no known role")},
			{TEXT("a number as content"), TEXT(R"({"version":1,"messages":[{"role":"user","content":5,"name":""}]})"), TEXT("message 0 lacks")},
			{TEXT("no name"), TEXT(R"({"version":1,"messages":[{"role":"user","content":"a"}]})"), TEXT("message 0 lacks")},
			{TEXT("a number as call id"), TEXT(R"({"version":1,"messages":[{"role":"tool","content":"a","name":"","tool_call_id":3}]})"), TEXT("message 0 has a malformed")},
			{TEXT("tool calls that are no array"), TEXT(R"({"version":1,"messages":[{"role":"assistant","content":"","name":"","tool_calls":{}}]})"), TEXT("message 0 has a malformed")},
			{TEXT("a tool call without its function"), TEXT(R"({"version":1,"messages":[{"role":"assistant","content":"","name":"","tool_calls":[{"id":"c","type":"function"}]}]})"), TEXT("message 0 has a malformed")},
			{TEXT("a tool call without arguments"), TEXT(R"({"version":1,"messages":[{"role":"assistant","content":"","name":"","tool_calls":[{"id":"c","type":"function","function":{"name":"f"}}]}]})"), TEXT("message 0 has a malformed")},
		};
		for (const FBadCase& Case : Cases)
		{
			It(FString::Printf(TEXT("LeavesTheConversationAsItWasFor %s"), Case.What), [this, Case]()
			{
				AddExpectedError(TEXT("A saved conversation could not be read"), EAutomationExpectedErrorFlags::Contains, 1);
				const TArray<FNimbrelContextMessage> Before = MakeConversation();
				TArray<FNimbrelContextMessage> Messages = Before;
				FString Error;
				TestFalse(TEXT("refused"), TalvaneJson::ConversationFromJson(Case.Json, Messages, Error));
				TestTrue(FString::Printf(TEXT("says why (%s)"), *Error), Error.Contains(Case.Reason));
				TestSameMessages(Messages, Before);
			});
		}
	});
}

#endif
