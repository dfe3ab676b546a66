#include "Misc/AutomationTest.h"
#include "TalvaneType.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneRecordsSpec, "Talvane.Records", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FNimbrelChatRequest ChatRequest;
	FNimbrelChatResponses ChatResponses;

	void TestParamBaseDefaults(const FNimbrelParamBase& Params);
	void TestUsageIsZero(const FNimbrelChatResponseUsage& Usage);
	void FillChatResponses();

	void DefineRequestDefaults();
	void DefineResponseDefaults();
	void DefineCopies();
END_DEFINE_SPEC(FTalvaneRecordsSpec)

void FTalvaneRecordsSpec::TestParamBaseDefaults(const FNimbrelParamBase& Params)
{
	TestEqual(TEXT("Model"), Params.Model, ENimbrelModel::NIMBREL_INVALID);
	TestEqual(TEXT("FrequencyPenalty"), Params.FrequencyPenalty, 0.0f);
	TestEqual(TEXT("MaxTokens"), Params.MaxTokens, 4096);
	TestEqual(TEXT("PresencePenalty"), Params.PresencePenalty, 0.0f);
	TestTrue(TEXT("Stop is empty"), Params.Stop.IsEmpty());
	TestFalse(TEXT("bStream"), Params.bStream);
	TestFalse(TEXT("bIncludeUsage"), Params.StreamOptions.bIncludeUsage);
	TestEqual(TEXT("Temperature"), Params.Temperature, 1.0f);
	TestEqual(TEXT("TopP"), Params.TopP, 1.0f);
}

void FTalvaneRecordsSpec::TestUsageIsZero(const FNimbrelChatResponseUsage& Usage)
{
	TestEqual(TEXT("CompletionTokens"), Usage.CompletionTokens, 0);
	TestEqual(TEXT("PromptTokens"), Usage.PromptTokens, 0);
	TestEqual(TEXT("PromptCacheHitTokens"), Usage.PromptCacheHitTokens, 0);
	TestEqual(TEXT("PromptCacheMissTokens"), Usage.PromptCacheMissTokens, 0);
	TestEqual(TEXT("TotalTokens"), Usage.TotalTokens, 0);
	TestEqual(TEXT("ReasoningTokens"), Usage.CompletionTokensDetails.ReasoningTokens, 0);
}

void FTalvaneRecordsSpec::FillChatResponses()
{
	ChatResponses.ID = TEXT("cmpl-1");
	ChatResponses.Usage.TotalTokens = 12;
	FNimbrelChatResponseChoice& Choice = ChatResponses.Choices.AddDefaulted_GetRef();
	Choice.Index = 0;
	Choice.Message.Content = TEXT("答案");
	FNimbrelChatResponseToolCall& ToolCall = Choice.Message.ToolCalls.AddDefaulted_GetRef();
	ToolCall.Function.Name = TEXT("get_time");
	ToolCall.Function.Arguments = TEXT("{\"zone\":\"UTC\"}");
	FNimbrelChatResponseLogprobContent& Token = Choice.Logprobs.Content.AddDefaulted_GetRef();
	Token.Token = TEXT("答");
	Token.Logprob = -0.25f;
	Token.Bytes = {231, 173, 148};
	Token.TopLogprobs.Token = TEXT("案");
	Token.TopLogprobs.Bytes = {230};
}

void FTalvaneRecordsSpec::Define()
{
	BeforeEach([this]()
	{
		ChatRequest = FNimbrelChatRequest();
		ChatResponses = FNimbrelChatResponses();
	});

	DefineRequestDefaults();
	DefineResponseDefaults();
	DefineCopies();
}

void FTalvaneRecordsSpec::DefineRequestDefaults()
{
	Describe(TEXT("RequestDefaults"), [this]()
	{
		It(TEXT("ChatRequestHoldsTheSamplingDefaultsAndNoConversation"), [this]()
		{
			TestParamBaseDefaults(ChatRequest);
			TestEqual(TEXT("Messages"), ChatRequest.Messages.Num(), 0);
			TestEqual(TEXT("ResponseFormat"), ChatRequest.ResponseFormat.Type, ENimbrelResponseFormat::TEXT);
			TestEqual(TEXT("Tools"), ChatRequest.Tools.Num(), 0);
			TestEqual(TEXT("ToolChoice"), ChatRequest.ToolChoice, ENimbrelToolChoice::NB_NONE);
			TestFalse(TEXT("bLogprobs"), ChatRequest.bLogprobs);
			TestEqual(TEXT("TopLogprobs"), ChatRequest.TopLogprobs, 0);
		});

		It(TEXT("FIMRequestDoesNotStreamAndHasEmptyTexts"), [this]()
		{
			const FNimbrelFIMRequest Request;
			TestParamBaseDefaults(Request);
			TestTrue(TEXT("Prompt is empty"), Request.Prompt.IsEmpty());
			TestFalse(TEXT("bEcho"), Request.bEcho);
			TestEqual(TEXT("Logprobs"), Request.Logprobs, 0);
			TestTrue(TEXT("Suffix is empty"), Request.Suffix.IsEmpty());
		});

		It(TEXT("LocalChatRequestStreamsToTheLoopbackAddress"), [this]()
		{
			const FNimbrelLocalChatRequest Request;
			TestEqual(TEXT("Messages"), Request.Messages.Num(), 0);
			TestTrue(TEXT("Model"), Request.Model.Equals(TEXT("model"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("bStream"), Request.bStream);
			TestTrue(TEXT("URL"), Request.URL.Equals(TEXT("127.0.0.1"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("ChatID is empty"), Request.ChatID.IsEmpty());
		});

		It(TEXT("NestedRecordsStartAtTheirFirstValues"), [this]()
		{
			const FNimbrelContextMessage Message;
			TestEqual(TEXT("Role"), Message.Role, ENimbrelRole::NIMBREL_SYSTEM);
			TestTrue(TEXT("Content and name are empty"), Message.Content.IsEmpty() && Message.Name.IsEmpty());
			const FNimbrelTools Tool;
			TestEqual(TEXT("Tool type"), Tool.Type, ENimbrelToolsType::NB_FUNCTION);
			TestTrue(TEXT("Function strings are empty"), Tool.Function.Name.IsEmpty() && Tool.Function.Description.IsEmpty());
			TestEqual(TEXT("Metas"), FNimbrelContextInfo().Metas.Num(), 0);
		});
	});
}

void FTalvaneRecordsSpec::DefineResponseDefaults()
{
	Describe(TEXT("ResponseDefaults"), [this]()
	{
		It(TEXT("ChatResponsesHoldEmptyTextsZeroCountsAndNoChoices"), [this]()
		{
			TestTrue(TEXT("Texts are empty"), ChatResponses.ID.IsEmpty() && ChatResponses.Model.IsEmpty() && ChatResponses.SystemFingerprint.IsEmpty() && ChatResponses.Object.IsEmpty());
			TestEqual(TEXT("Created"), ChatResponses.Created, 0);
			TestEqual(TEXT("Choices"), ChatResponses.Choices.Num(), 0);
			TestUsageIsZero(ChatResponses.Usage);
		});

		It(TEXT("LogprobContentHoldsEmptyTokensOnBothLevels"), [this]()
		{
			const FNimbrelChatResponseLogprobContent Content;
			TestTrue(TEXT("Token"), Content.Token.IsEmpty());
			TestEqual(TEXT("Bytes"), Content.Bytes.Num(), 0);
			TestEqual(TEXT("Logprob"), Content.Logprob, 0.0f);
			TestTrue(TEXT("Top token"), Content.TopLogprobs.Token.IsEmpty());
			TestEqual(TEXT("Top bytes"), Content.TopLogprobs.Bytes.Num(), 0);
			TestEqual(TEXT("Top logprob"), Content.TopLogprobs.Logprob, 0.0f);
		});

		It(TEXT("ChoicesStartAtIndexZeroWithEmptyParts"), [this]()
		{
			const FNimbrelChatResponseChoice ChatChoice;
			TestEqual(TEXT("Chat index"), ChatChoice.Index, 0);
			TestTrue(TEXT("Chat finish reason"), ChatChoice.FinishReason.IsEmpty());
			TestEqual(TEXT("Tool calls"), ChatChoice.Message.ToolCalls.Num(), 0);
			const FNimbrelFIMResponses FIMResponses;
			TestEqual(TEXT("FIM created"), FIMResponses.Created, 0);
			TestUsageIsZero(FIMResponses.Usage);
			const FNimbrelFIMResponseChoice FIMChoice;
			TestEqual(TEXT("FIM index"), FIMChoice.Index, 0);
			TestEqual(TEXT("FIM offsets"), FIMChoice.Logprobs.TestOffset.Num() + FIMChoice.Logprobs.TokenLogprobs.Num() + FIMChoice.Logprobs.Tokens.Num() + FIMChoice.Logprobs.TopLogprobs.Num(), 0);
		});
	});
}

void FTalvaneRecordsSpec::DefineCopies()
{
	Describe(TEXT("Copies"), [this]()
	{
		It(TEXT("ChatRequestCopyOwnsItsConversation"), [this]()
		{
			ChatRequest.Messages.AddDefaulted_GetRef().Content = TEXT("first");
			ChatRequest.Tools.AddDefaulted();
			FNimbrelChatRequest Copy = ChatRequest;
			Copy.Messages.AddDefaulted_GetRef().Content = TEXT("second");
			Copy.Messages[0].Content = TEXT("changed");
			Copy.Tools[0].Function.Name = TEXT("changed");
			Copy.MaxTokens = 1;
			TestEqual(TEXT("Source messages"), ChatRequest.Messages.Num(), 1);
			TestTrue(TEXT("Source content"), ChatRequest.Messages[0].Content.Equals(TEXT("first"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Source tool name"), ChatRequest.Tools[0].Function.Name.IsEmpty());
			TestEqual(TEXT("Source MaxTokens"), ChatRequest.MaxTokens, 4096);
		});

		It(TEXT("ChatResponsesCopyIsDeep"), [this]()
		{
			FillChatResponses();
			FNimbrelChatResponses Copy;
			Copy = ChatResponses;
			Copy.Choices[0].Message.Content = TEXT("changed");
			Copy.Choices[0].Message.ToolCalls[0].Function.Arguments = TEXT("{}");
			Copy.Choices[0].Logprobs.Content[0].Bytes.Add(1);
			Copy.Choices[0].Logprobs.Content[0].TopLogprobs.Token = TEXT("x");
			Copy.Choices.AddDefaulted();
			Copy.Usage.TotalTokens = 0;
			const FNimbrelChatResponseChoice& Source = ChatResponses.Choices[0];
			TestEqual(TEXT("Choices"), ChatResponses.Choices.Num(), 1);
			TestTrue(TEXT("Content"), Source.Message.Content.Equals(TEXT("答案"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Arguments"), Source.Message.ToolCalls[0].Function.Arguments.Equals(TEXT("{\"zone\":\"UTC\"}"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Bytes"), Source.Logprobs.Content[0].Bytes.Num(), 3);
			TestTrue(TEXT("Top token"), Source.Logprobs.Content[0].TopLogprobs.Token.Equals(TEXT("案"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("TotalTokens"), ChatResponses.Usage.TotalTokens, 12);
		});

		It(TEXT("ContextInfoCopyOwnsItsMap"), [this]()
		{
			FNimbrelContextInfo Info;
			Info.Metas.Add(TEXT("RequestID"), TEXT("A"));
			FNimbrelContextInfo Copy;
			Copy = Info;
			Copy.Metas.Add(TEXT("requestid"), TEXT("B"));
			Copy.Metas.Add(TEXT("Other"), TEXT("C"));
			TestEqual(TEXT("Entries"), Info.Metas.Num(), 1);
			TestTrue(TEXT("Value"), FString(Info.Metas.FindRef(TEXT("RequestID"))).Equals(TEXT("A"), ESearchCase::CaseSensitive));
		});

		It(TEXT("MovedRecordCarriesTheContent"), [this]()
		{
			FillChatResponses();
			const FNimbrelChatResponses Moved = MoveTemp(ChatResponses);
			TestTrue(TEXT("ID"), Moved.ID.Equals(TEXT("cmpl-1"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Choices"), Moved.Choices.Num(), 1);
			TestTrue(TEXT("Token"), Moved.Choices[0].Logprobs.Content[0].Token.Equals(TEXT("答"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
