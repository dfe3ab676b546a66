#include "Misc/AutomationTest.h"
#include "TalvaneJsonRequests.h"
#include "TalvaneType.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneRequestBodySpec, "Talvane.RequestBody", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FNimbrelChatRequest ChatRequest;
	FNimbrelLocalChatRequest LocalRequest;
	FNimbrelFIMRequest FIMRequest;

	FString ChatBody() const;
	FString LocalBody() const;
	FString FIMBody() const;
	static FNimbrelContextMessage MakeMessage(const FString& Content, ENimbrelRole Role, const FString& Name = FString());
	static FNimbrelTools MakeTool(const FString& Name, const FString& Description);

	void DefineCloudChatExamples();
	void DefineCloudChatMembers();
	void DefineCloudChatText();
	void DefineLocalChat();
	void DefineFIM();
	void DefineToolTurns();
END_DEFINE_SPEC(FTalvaneRequestBodySpec)

FString FTalvaneRequestBodySpec::ChatBody() const
{
	FString Json;
	TalvaneJson::NimbrelChatRequestToString(ChatRequest, Json);
	return Json;
}

FString FTalvaneRequestBodySpec::LocalBody() const
{
	FString Json;
	TalvaneJson::NimbrelChatRequestToString(LocalRequest, Json);
	return Json;
}

FString FTalvaneRequestBodySpec::FIMBody() const
{
	FString Json;
	TalvaneJson::NimbrelFIMRequestToString(FIMRequest, Json);
	return Json;
}

FNimbrelContextMessage FTalvaneRequestBodySpec::MakeMessage(const FString& Content, const ENimbrelRole Role, const FString& Name)
{
	FNimbrelContextMessage Message;
	Message.Content = Content;
	Message.Role = Role;
	Message.Name = Name;
	return Message;
}

static FNimbrelChatResponseToolCall MakeCall(const FString& ID, const FString& Name, const FString& Arguments)
{
	FNimbrelChatResponseToolCall Call;
	Call.ID = ID;
	Call.Function.Name = Name;
	Call.Function.Arguments = Arguments;
	return Call;
}

FNimbrelTools FTalvaneRequestBodySpec::MakeTool(const FString& Name, const FString& Description)
{
	FNimbrelTools Tool;
	Tool.Function.Name = Name;
	Tool.Function.Description = Description;
	return Tool;
}

void FTalvaneRequestBodySpec::Define()
{
	BeforeEach([this]()
	{
		ChatRequest = FNimbrelChatRequest();
		LocalRequest = FNimbrelLocalChatRequest();
		FIMRequest = FNimbrelFIMRequest();
	});

	DefineCloudChatExamples();
	DefineCloudChatMembers();
	DefineCloudChatText();
	DefineLocalChat();
	DefineFIM();
	DefineToolTurns();
}

void FTalvaneRequestBodySpec::DefineCloudChatExamples()
{
	Describe(TEXT("CloudChat"), [this]()
	{
		It(TEXT("WritesTheDefaultRecordWithOneQuestion"), [this]()
		{
			ChatRequest.Model = ENimbrelModel::NIMBREL_CHAT;
			ChatRequest.Messages.Add(MakeMessage(TEXT("Hello"), ENimbrelRole::NIMBREL_USER));
			TestTrue(TEXT("Body"), ChatBody().Equals(TEXT(R"({"messages":[{"content":"Hello","role":"user"}],"model":"nimbrel-chat","frequency_penalty":0,"max_tokens":4096,"presence_penalty":0,"response_format":{"type":"text"},"stream":false,"stream_options":null,"temperature":1,"top_p":1,"tools":null,"tool_choice":"none","logprobs":false,"top_logprobs":null})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesEveryFieldSetAwayFromItsDefault"), [this]()
		{
			ChatRequest.Model = ENimbrelModel::NIMBREL_REASONER;
			ChatRequest.FrequencyPenalty = -1.5f;
			ChatRequest.MaxTokens = 8192;
			ChatRequest.PresencePenalty = 1e-05f;
			ChatRequest.Stop = TEXT("END");
			ChatRequest.bStream = true;
			ChatRequest.StreamOptions.bIncludeUsage = true;
			ChatRequest.Temperature = 0.7f;
			ChatRequest.TopP = 0.95f;
			ChatRequest.Messages.Add(MakeMessage(TEXT("你是一个助手。"), ENimbrelRole::NIMBREL_SYSTEM));
			ChatRequest.Messages.Add(MakeMessage(TEXT("Say \"hi\"\n"), ENimbrelRole::NIMBREL_USER, TEXT("Ada")));
			ChatRequest.Messages.Add(MakeMessage(TEXT("hi"), ENimbrelRole::NIMBREL_ASSISTANT, TEXT("Bot")));
			ChatRequest.Messages.Add(MakeMessage(TEXT("12:00"), ENimbrelRole::NIMBREL_TOOL));
			ChatRequest.ResponseFormat.Type = ENimbrelResponseFormat::JSON_OBJECT;
			ChatRequest.Tools.Add(MakeTool(TEXT("get_time"), TEXT("Returns the time")));
			ChatRequest.Tools.Add(MakeTool(TEXT("lookup"), FString()));
			ChatRequest.ToolChoice = ENimbrelToolChoice::NB_REQUIRED;
			ChatRequest.bLogprobs = true;
			ChatRequest.TopLogprobs = 20;
			TestTrue(TEXT("Body"), ChatBody().Equals(TEXT(R"({"messages":[{"content":"你是一个助手。","role":"system"},{"content":"Say \"hi\"\n","role":"user","name":"Ada"},{"content":"hi","role":"assistant","name":"Bot"},{"content":"12:00","role":"tool"}],"model":"nimbrel-reasoner","frequency_penalty":-1.5,"max_tokens":8192,"presence_penalty":1e-05,"response_format":{"type":"json_object"},"stop":"END","stream":true,"stream_options":{"include_usage":true},"temperature":0.7,"top_p":0.95,"tools":[{"type":"function","function":{"name":"get_time","description":"Returns the time"}},{"type":"function","function":{"name":"lookup","description":""}}],"tool_choice":"required","logprobs":true,"top_logprobs":20})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("SendsValuesOutsideTheAdvisedRangesUnchanged"), [this]()
		{
			ChatRequest.MaxTokens = 10000;
			ChatRequest.Temperature = 3.5f;
			ChatRequest.FrequencyPenalty = 2.5f;
			ChatRequest.bLogprobs = true;
			ChatRequest.TopLogprobs = 25;
			TestTrue(TEXT("Body"), ChatBody().Equals(TEXT(R"({"messages":[],"model":"","frequency_penalty":2.5,"max_tokens":10000,"presence_penalty":0,"response_format":{"type":"text"},"stream":false,"stream_options":null,"temperature":3.5,"top_p":1,"tools":null,"tool_choice":"none","logprobs":true,"top_logprobs":25})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReplacesWhatTheOutputStringHeld"), [this]()
		{
			FString Json = TEXT("stale text");
			TalvaneJson::NimbrelChatRequestToString(ChatRequest, Json);
			TestTrue(TEXT("Body"), Json.Equals(ChatBody(), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Body starts the object"), Json.StartsWith(TEXT("{\"messages\":[]")));
		});
	});
}

void FTalvaneRequestBodySpec::DefineCloudChatMembers()
{
	Describe(TEXT("CloudChat"), [this]()
	{
		It(TEXT("WritesAMaxTokensOfZeroOrBelow"), [this]()
		{
			ChatRequest.MaxTokens = 0;
			TestTrue(TEXT("Zero"), ChatBody().Contains(TEXT("\"max_tokens\":0,")));
			ChatRequest.MaxTokens = -1;
			TestTrue(TEXT("Negative"), ChatBody().Contains(TEXT("\"max_tokens\":-1,")));
		});

		It(TEXT("LeavesOutAnEmptyStop"), [this]()
		{
			TestFalse(TEXT("Has a stop member"), ChatBody().Contains(TEXT("\"stop\"")));
		});

		It(TEXT("WritesOneStopWordAsAPlainString"), [this]()
		{
			ChatRequest.Stop = TEXT("###");
			TestTrue(TEXT("Stop between response format and stream"), ChatBody().Contains(TEXT(R"("response_format":{"type":"text"},"stop":"###","stream":false,)")));
		});

		It(TEXT("WritesStreamOptionsOnlyWhenStreaming"), [this]()
		{
			ChatRequest.StreamOptions.bIncludeUsage = true;
			TestTrue(TEXT("Not streaming"), ChatBody().Contains(TEXT(R"("stream":false,"stream_options":null,)")));
			ChatRequest.bStream = true;
			ChatRequest.StreamOptions.bIncludeUsage = false;
			TestTrue(TEXT("Streaming"), ChatBody().Contains(TEXT(R"("stream":true,"stream_options":{"include_usage":false},)")));
		});

		It(TEXT("WritesNoneAsToolChoiceWhenThereAreNoTools"), [this]()
		{
			ChatRequest.ToolChoice = ENimbrelToolChoice::NB_REQUIRED;
			TestTrue(TEXT("Tools"), ChatBody().Contains(TEXT(R"("tools":null,"tool_choice":"none",)")));
		});

		It(TEXT("WritesOneToolWithAnEmptyDescription"), [this]()
		{
			ChatRequest.Tools.Add(MakeTool(TEXT("get_time"), FString()));
			ChatRequest.ToolChoice = ENimbrelToolChoice::NB_AUTO;
			TestTrue(TEXT("Tools"), ChatBody().Contains(TEXT(R"("tools":[{"type":"function","function":{"name":"get_time","description":""}}],"tool_choice":"auto",)")));
		});

		It(TEXT("WritesToolChoiceNoneWhenToolsExist"), [this]()
		{
			ChatRequest.Tools.Add(FNimbrelTools());
			TestTrue(TEXT("Tools"), ChatBody().Contains(TEXT(R"("tools":[{"type":"function","function":{"name":"","description":""}}],"tool_choice":"none",)")));
		});

		It(TEXT("WritesTopLogprobsOnlyWithLogprobs"), [this]()
		{
			ChatRequest.TopLogprobs = 5;
			TestTrue(TEXT("Without logprobs"), ChatBody().EndsWith(TEXT(R"("logprobs":false,"top_logprobs":null})")));
			ChatRequest.bLogprobs = true;
			TestTrue(TEXT("With logprobs"), ChatBody().EndsWith(TEXT(R"("logprobs":true,"top_logprobs":5})")));
		});

		It(TEXT("WritesAnEmptyModelNameForAnInvalidModel"), [this]()
		{
			ChatRequest.Model = static_cast<ENimbrelModel>(7);
			TestTrue(TEXT("Model"), ChatBody().Contains(TEXT(R"("messages":[],"model":"",)")));
		});

		It(TEXT("SendsTheRecordsOwnModelNameInsteadOfTheEnumerators"), [this]()
		{
			ChatRequest.Model = ENimbrelModel::NIMBREL_CHAT;
			const FString Before = ChatBody();
			ChatRequest.ModelName = TEXT("my-proxy/model \"7b\"");
			const FString After = ChatBody();
			TestTrue(TEXT("the own name, escaped"), After.Contains(TEXT(R"("messages":[],"model":"my-proxy/model \"7b\"","frequency_penalty")")));
			ChatRequest.ModelName.Empty();
			TestTrue(TEXT("an empty name gives the body of before, byte for byte"), ChatBody().Equals(Before, ESearchCase::CaseSensitive));
		});
	});
}

void FTalvaneRequestBodySpec::DefineCloudChatText()
{
	Describe(TEXT("CloudChat"), [this]()
	{
		It(TEXT("WritesAMessageWithoutNameAsContentThenRole"), [this]()
		{
			ChatRequest.Messages.Add(MakeMessage(FString(), ENimbrelRole::NIMBREL_ASSISTANT));
			TestTrue(TEXT("Message"), ChatBody().StartsWith(TEXT(R"({"messages":[{"content":"","role":"assistant"}],"model")")));
		});

		It(TEXT("EscapesQuotesBackslashesAndLineBreaks"), [this]()
		{
			ChatRequest.Messages.Add(MakeMessage(TEXT("a\"b\\c\nd\re\tf\bg\fh/i"), ENimbrelRole::NIMBREL_USER));
			TestTrue(TEXT("Message"), ChatBody().StartsWith(TEXT(R"({"messages":[{"content":"a\"b\\c\nd\re\tf\bg\fh/i","role":"user"}])")));
		});

		It(TEXT("EscapesOtherControlCharactersInLowerCaseHex"), [this]()
		{
			const FString Content = FString(TEXT("\x01")) + TEXT("A") + TEXT("\x1f") + TEXT("\x0b") + TEXT("\x7f");
			ChatRequest.Messages.Add(MakeMessage(Content, ENimbrelRole::NIMBREL_USER, TEXT("\x1a")));
			TestTrue(TEXT("Message"), ChatBody().StartsWith(FString(TEXT(R"({"messages":[{"content":"\u0001A\u001f\u000b)")) + TEXT("\x7f") + TEXT(R"(","role":"user","name":"\u001a"}])")));
		});

		It(TEXT("WritesChineseAndOtherNonAsciiTextUnescaped"), [this]()
		{
			ChatRequest.Messages.Add(MakeMessage(TEXT("你好，世界！é😀"), ENimbrelRole::NIMBREL_USER, TEXT("小明")));
			TestTrue(TEXT("Message"), ChatBody().StartsWith(TEXT(R"({"messages":[{"content":"你好，世界！é😀","role":"user","name":"小明"}])")));
		});

		It(TEXT("EscapesTheStopStringAndToolStrings"), [this]()
		{
			ChatRequest.Stop = TEXT("\n\n");
			ChatRequest.Tools.Add(MakeTool(TEXT("say\"it\""), TEXT("线\t1")));
			const FString Body = ChatBody();
			TestTrue(TEXT("Stop"), Body.Contains(TEXT(R"("stop":"\n\n",)")));
			TestTrue(TEXT("Tool"), Body.Contains(TEXT(R"("function":{"name":"say\"it\"","description":"线\t1"})")));
		});
	});
}

void FTalvaneRequestBodySpec::DefineLocalChat()
{
	Describe(TEXT("LocalChat"), [this]()
	{
		It(TEXT("WritesTheDefaultRecordWithoutMessages"), [this]()
		{
			TestTrue(TEXT("Body"), LocalBody().Equals(TEXT(R"({"messages":[],"model":"model","stream":true})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesRoleBeforeContentAndNeverAName"), [this]()
		{
			LocalRequest.Messages.Add(MakeMessage(TEXT("Hi \"there\""), ENimbrelRole::NIMBREL_USER, TEXT("Ada")));
			LocalRequest.Messages.Add(MakeMessage(TEXT("你好"), ENimbrelRole::NIMBREL_ASSISTANT, TEXT("Bot")));
			TestTrue(TEXT("Body"), LocalBody().Equals(TEXT(R"({"messages":[{"role":"user","content":"Hi \"there\""},{"role":"assistant","content":"你好"}],"model":"model","stream":true})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesTheModelVerbatimAndLeavesTheAddressOut"), [this]()
		{
			LocalRequest.Model = TEXT("Org/Model-7B \"q4\"");
			LocalRequest.bStream = false;
			LocalRequest.URL = TEXT("10.0.0.2:8080");
			LocalRequest.ChatID = TEXT("chat-42");
			TestTrue(TEXT("Body"), LocalBody().Equals(TEXT(R"({"messages":[],"model":"Org/Model-7B \"q4\"","stream":false})"), ESearchCase::CaseSensitive));
		});
	});
}

void FTalvaneRequestBodySpec::DefineFIM()
{
	Describe(TEXT("FIM"), [this]()
	{
		It(TEXT("WritesTheDefaultRecordWithTheChatModel"), [this]()
		{
			FIMRequest.Model = ENimbrelModel::NIMBREL_CHAT;
			TestTrue(TEXT("Body"), FIMBody().Equals(TEXT(R"({"model":"nimbrel-chat","prompt":"","echo":false,"frequency_penalty":0,"logprobs":0,"max_tokens":4096,"presence_penalty":0,"stream":false,"stream_options":null,"suffix":"","temperature":1,"top_p":1})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesEveryFieldSetAwayFromItsDefault"), [this]()
		{
			FIMRequest.Model = ENimbrelModel::NIMBREL_REASONER;
			FIMRequest.Prompt = TEXT("def add(a, b):\n\t");
			FIMRequest.bEcho = true;
			FIMRequest.FrequencyPenalty = 1e-05f;
			FIMRequest.Logprobs = 3;
			FIMRequest.MaxTokens = 128;
			FIMRequest.PresencePenalty = -1.5f;
			FIMRequest.Stop = TEXT("\n\n");
			FIMRequest.bStream = true;
			FIMRequest.Suffix = TEXT("    return 结果");
			FIMRequest.Temperature = 0.7f;
			FIMRequest.TopP = 0.95f;
			TestTrue(TEXT("Body"), FIMBody().Equals(TEXT(R"({"model":"nimbrel-reasoner","prompt":"def add(a, b):\n\t","echo":true,"frequency_penalty":1e-05,"logprobs":3,"max_tokens":128,"presence_penalty":-1.5,"stop":"\n\n","stream":true,"stream_options":{"include_usage":false},"suffix":"    return 结果","temperature":0.7,"top_p":0.95})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesIncludeUsageWhenStreaming"), [this]()
		{
			FIMRequest.bStream = true;
			FIMRequest.StreamOptions.bIncludeUsage = true;
			TestTrue(TEXT("Stream options"), FIMBody().Contains(TEXT(R"("stream":true,"stream_options":{"include_usage":true},"suffix":"")")));
		});

		It(TEXT("WritesAnEmptyModelNameForAnInvalidModel"), [this]()
		{
			TestTrue(TEXT("Model"), FIMBody().StartsWith(TEXT(R"({"model":"","prompt":"")")));
		});

		It(TEXT("SendsTheRecordsOwnModelNameInsteadOfTheEnumerators"), [this]()
		{
			FIMRequest.Model = ENimbrelModel::NIMBREL_CHAT;
			FIMRequest.ModelName = TEXT("coder-1");
			TestTrue(TEXT("Model"), FIMBody().StartsWith(TEXT(R"({"model":"coder-1","prompt":"")")));
		});
	});
}

void FTalvaneRequestBodySpec::DefineToolTurns()
{
	Describe(TEXT("ToolTurns"), [this]()
	{
		It(TEXT("WritesAToolSchemaAfterTheDescriptionAsTheCondensedWriterPrintsIt"), [this]()
		{
			FNimbrelTools Tool = MakeTool(TEXT("roll"), TEXT("Rolls a die"));
			Tool.Function.Parameters = TEXT("{ \"type\": \"object\",\n \"properties\": {\"sides\": {\"type\": \"integer\", \"minimum\": 2, \"multipleOf\": 0.5}, \"loud\": {\"type\": \"boolean\"}},\n \"required\": [\"sides\", \"loud\"], \"additionalProperties\": false }");
			ChatRequest.Tools.Add(Tool);
			ChatRequest.ToolChoice = ENimbrelToolChoice::NB_AUTO;
			TestTrue(TEXT("Body"), ChatBody().Equals(TEXT(R"({"messages":[],"model":"","frequency_penalty":0,"max_tokens":4096,"presence_penalty":0,"response_format":{"type":"text"},"stream":false,"stream_options":null,"temperature":1,"top_p":1,"tools":[{"type":"function","function":{"name":"roll","description":"Rolls a die","parameters":{"type":"object","properties":{"sides":{"type":"integer","minimum":2,"multipleOf":0.5},"loud":{"type":"boolean"}},"required":["sides","loud"],"additionalProperties":false}}}],"tool_choice":"auto","logprobs":false,"top_logprobs":null})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("LeavesOutParametersThatAreNotOneJsonObject"), [this]()
		{
			for (const TCHAR* Text : {TEXT("[1,2]"), TEXT("not json"), TEXT("{\"a\":1} {}"), TEXT("\"text\""), TEXT("{\"a\":")})
			{
				ChatRequest.Tools.Reset();
				FNimbrelTools Tool = MakeTool(TEXT("t"), FString());
				Tool.Function.Parameters = Text;
				ChatRequest.Tools.Add(Tool);
				FString ToolName;
				TestTrue(*FString::Printf(TEXT("Refused: %s"), Text), TalvaneJson::FindUnsendableTool(ChatRequest, ToolName) && ToolName == TEXT("t"));
				TestTrue(*FString::Printf(TEXT("Left out: %s"), Text), ChatBody().Contains(TEXT(R"("function":{"name":"t","description":""}}])")));
			}
			TestTrue(TEXT("Empty"), TalvaneJson::IsSendableToolParameters(FString()));
			TestTrue(TEXT("Empty object"), TalvaneJson::IsSendableToolParameters(TEXT(" {} ")));
		});

		It(TEXT("WritesAnAssistantToolCallTurnAndTheResultsThatAnswerIt"), [this]()
		{
			ChatRequest.Model = ENimbrelModel::NIMBREL_CHAT;
			ChatRequest.Messages.Add(MakeMessage(TEXT("Roll twice"), ENimbrelRole::NIMBREL_USER));
			FNimbrelContextMessage Turn = MakeMessage(FString(), ENimbrelRole::NIMBREL_ASSISTANT, TEXT("Inn"));
			Turn.ToolCalls.Add(MakeCall(TEXT("call_1"), TEXT("roll"), TEXT(R"({"sides":6})")));
			FNimbrelChatResponseToolCall Second = MakeCall(TEXT("call_2"), TEXT("price"), TEXT(R"({"item":"ale"})"));
			Second.Type = TEXT("other");
			Turn.ToolCalls.Add(Second);
			ChatRequest.Messages.Add(Turn);
			FNimbrelContextMessage First = MakeMessage(TEXT("4"), ENimbrelRole::NIMBREL_TOOL);
			First.ToolCallID = TEXT("call_1");
			ChatRequest.Messages.Add(First);
			FNimbrelContextMessage Price = MakeMessage(TEXT(R"({"ReturnValue":3})"), ENimbrelRole::NIMBREL_TOOL);
			Price.ToolCallID = TEXT("call_2");
			ChatRequest.Messages.Add(Price);
			TestTrue(TEXT("Body"), ChatBody().Equals(TEXT(R"({"messages":[{"content":"Roll twice","role":"user"},{"content":"","role":"assistant","name":"Inn","tool_calls":[{"id":"call_1","type":"function","function":{"name":"roll","arguments":"{\"sides\":6}"}},{"id":"call_2","type":"function","function":{"name":"price","arguments":"{\"item\":\"ale\"}"}}]},{"content":"4","role":"tool","tool_call_id":"call_1"},{"content":"{\"ReturnValue\":3}","role":"tool","tool_call_id":"call_2"}],"model":"nimbrel-chat","frequency_penalty":0,"max_tokens":4096,"presence_penalty":0,"response_format":{"type":"text"},"stream":false,"stream_options":null,"temperature":1,"top_p":1,"tools":null,"tool_choice":"none","logprobs":false,"top_logprobs":null})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("WritesToolTurnsAfterTheContentInTheLocalBody"), [this]()
		{
			FNimbrelContextMessage Turn = MakeMessage(TEXT("Let me see."), ENimbrelRole::NIMBREL_ASSISTANT, TEXT("Inn"));
			Turn.ToolCalls.Add(MakeCall(TEXT("c1"), TEXT("roll"), TEXT("{}")));
			LocalRequest.Messages.Add(Turn);
			FNimbrelContextMessage Result = MakeMessage(TEXT("5"), ENimbrelRole::NIMBREL_TOOL);
			Result.ToolCallID = TEXT("c1");
			LocalRequest.Messages.Add(Result);
			TestTrue(TEXT("Body"), LocalBody().Equals(TEXT(R"({"messages":[{"role":"assistant","content":"Let me see.","tool_calls":[{"id":"c1","type":"function","function":{"name":"roll","arguments":"{}"}}]},{"role":"tool","content":"5","tool_call_id":"c1"}],"model":"model","stream":true})"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
