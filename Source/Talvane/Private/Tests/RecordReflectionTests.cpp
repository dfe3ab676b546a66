#include "Misc/AutomationTest.h"
#include "TalvaneType.h"
#include "Templates/Casts.h"
#include "UObject/Class.h"
#include "UObject/Package.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UObjectHash.h"
#include "UObject/UnrealType.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneRecordReflectionTests
{
	/** One enumerator as declared: qualified name, value, display name and tooltip (empty for none). */
	struct FEnumeratorRow
	{
		const TCHAR* Name;
		int64 Value;
		const TCHAR* DisplayName;
		const TCHAR* ToolTip;
	};

	/** One property as declared: name, category and tooltip (empty for none). */
	struct FPropertyRow
	{
		const TCHAR* Name;
		const TCHAR* Category;
		const TCHAR* ToolTip;
	};

	/** Properties of Struct with those of its bases first, as the editor lists them. */
	TArray<FProperty*> GetPropertiesBaseFirst(const UStruct* Struct)
	{
		TArray<FProperty*> Properties;
		if (Struct->GetSuperStruct())
		{
			Properties = GetPropertiesBaseFirst(Struct->GetSuperStruct());
		}
		for (TFieldIterator<FProperty> It(Struct, EFieldIteratorFlags::ExcludeSuper); It; ++It)
		{
			Properties.Add(*It);
		}
		return Properties;
	}
}

using namespace TalvaneRecordReflectionTests;

BEGIN_DEFINE_SPEC(FTalvaneRecordReflectionSpec, "Talvane.RecordReflection", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	void TestEnumeration(const UEnum* Enum, const TArray<FEnumeratorRow>& Rows);
	void TestProperties(const UStruct* Struct, const TArray<FPropertyRow>& Rows);
	void DefineEnumerations();
	void DefineRequestRecords();
	void DefineResponseRecords();
	void DefinePackage();
END_DEFINE_SPEC(FTalvaneRecordReflectionSpec)

void FTalvaneRecordReflectionSpec::TestEnumeration(const UEnum* Enum, const TArray<FEnumeratorRow>& Rows)
{
	if (!TestNotNull(TEXT("Enumeration"), Enum))
	{
		return;
	}
#if WITH_EDITORONLY_DATA
	TestTrue(TEXT("BlueprintType"), FString(Enum->GetMetaData(TEXT("BlueprintType"))).Equals(TEXT("true"), ESearchCase::CaseSensitive));
#endif
	int32 NumDeclared = 0;
	for (int32 Index = 0; Index < Enum->NumEnums(); ++Index)
	{
		// The engine appends a "_MAX" entry of its own; it is not part of the declaration.
		NumDeclared += Enum->GetNameStringByIndex(Index).EndsWith(TEXT("_MAX"), ESearchCase::CaseSensitive) ? 0 : 1;
	}
	TestEqual(TEXT("Enumerators"), NumDeclared, Rows.Num());
	for (int32 Index = 0; Index < Rows.Num(); ++Index)
	{
		const FEnumeratorRow& Row = Rows[Index];
		TestTrue(TEXT("Name by index"), Enum->GetNameByIndex(Index).ToString().Equals(Row.Name, ESearchCase::CaseSensitive));
		TestEqual(*FString::Printf(TEXT("Value of %s"), Row.Name), Enum->GetValueByIndex(Index), Row.Value);
		TestTrue(*FString::Printf(TEXT("Display name of %s"), Row.Name), Enum->GetDisplayNameTextByValue(Row.Value).ToString().Equals(Row.DisplayName, ESearchCase::CaseSensitive));
#if WITH_EDITORONLY_DATA
		TestTrue(*FString::Printf(TEXT("Tooltip of %s"), Row.Name), FString(Enum->GetMetaData(TEXT("ToolTip"), Index)).Equals(Row.ToolTip, ESearchCase::CaseSensitive));
#endif
	}
}

void FTalvaneRecordReflectionSpec::TestProperties(const UStruct* Struct, const TArray<FPropertyRow>& Rows)
{
	if (!TestNotNull(TEXT("Struct"), Struct))
	{
		return;
	}
#if WITH_EDITORONLY_DATA
	TestTrue(*FString::Printf(TEXT("BlueprintType of %s"), *Struct->GetName()), FString(Struct->GetMetaData(TEXT("BlueprintType"))).Equals(TEXT("true"), ESearchCase::CaseSensitive));
#endif
	const TArray<FProperty*> Properties = GetPropertiesBaseFirst(Struct);
	if (!TestEqual(*FString::Printf(TEXT("Properties of %s"), *Struct->GetName()), Properties.Num(), Rows.Num()))
	{
		return;
	}
	for (int32 Index = 0; Index < Rows.Num(); ++Index)
	{
		const FProperty* Property = Properties[Index];
		const FPropertyRow& Row = Rows[Index];
		TestTrue(TEXT("Property name"), Property->GetName().Equals(Row.Name, ESearchCase::CaseSensitive));
#if WITH_EDITORONLY_DATA
		TestTrue(*FString::Printf(TEXT("Category of %s"), Row.Name), FString(Property->GetMetaData(TEXT("Category"))).Equals(Row.Category, ESearchCase::CaseSensitive));
		TestTrue(*FString::Printf(TEXT("Tooltip of %s"), Row.Name), FString(Property->GetMetaData(TEXT("ToolTip"))).Equals(Row.ToolTip, ESearchCase::CaseSensitive));
#endif
		TestTrue(*FString::Printf(TEXT("%s is editable and script-visible"), Row.Name), Property->HasAllPropertyFlags(CPF_Edit | CPF_BlueprintVisible));
		TestFalse(*FString::Printf(TEXT("%s is writable from scripts"), Row.Name), Property->HasAnyPropertyFlags(CPF_BlueprintReadOnly));
	}
}

void FTalvaneRecordReflectionSpec::Define()
{
	DefineEnumerations();
	DefineRequestRecords();
	DefineResponseRecords();
	DefinePackage();
}

void FTalvaneRecordReflectionSpec::DefineEnumerations()
{
	Describe(TEXT("Enumerations"), [this]()
	{
		It(TEXT("ModelCarriesItsDisplayNamesAndTooltips"), [this]()
		{
#if WITH_EDITORONLY_DATA
			TestTrue(TEXT("Enumeration tooltip"), FString(StaticEnum<ENimbrelModel>()->GetMetaData(TEXT("ToolTip"))).Equals(TEXT("模型"), ESearchCase::CaseSensitive));
#endif
			TestEnumeration(StaticEnum<ENimbrelModel>(), {
				{TEXT("ENimbrelModel::NIMBREL_INVALID"), 0, TEXT("Invalid"), TEXT("")},
				{TEXT("ENimbrelModel::NIMBREL_CHAT"), 1, TEXT("Nimbrel-Chat"), TEXT("进行多轮对话。\n即服务端不记录用户请求的上下文，用户在每次请求时，需将之前所有对话历史拼接好后，传递给对话 API。")},
				{TEXT("ENimbrelModel::NIMBREL_REASONER"), 2, TEXT("Nimbrel-Reasoner"), TEXT("nimbrel-reasoner 是 Nimbrel 推出的推理模型。在输出最终回答之前，模型会先输出一段思维链内容，\n以提升最终答案的准确性。我们的 API 向用户开放 nimbrel-reasoner 思维链的内容，以供用户查看、展示、蒸馏使用。")},
			});
		});

		It(TEXT("ProtocolCarriesItsDisplayNamesAndTheFIMTooltip"), [this]()
		{
#if WITH_EDITORONLY_DATA
			TestFalse(TEXT("Enumeration tooltip"), StaticEnum<ENimbrelProtocol>()->HasMetaData(TEXT("ToolTip")));
#endif
			TestEnumeration(StaticEnum<ENimbrelProtocol>(), {
				{TEXT("ENimbrelProtocol::NIMBREL_NONE"), 0, TEXT("None"), TEXT("")},
				{TEXT("ENimbrelProtocol::NIMBREL_CHAT"), 1, TEXT("Chat"), TEXT("")},
				{TEXT("ENimbrelProtocol::NIMBREL_FIM"), 2, TEXT("FIM"), TEXT("用户可以提供前缀和后缀（可选），模型来补全中间的内容。FIM 常用于内容续写、代码补全等场景。\n模型的最大补全长度为 4K。")},
				{TEXT("ENimbrelProtocol::NIMBREL_LOCAL_CHAT"), 3, TEXT("Local Chat"), TEXT("")},
			});
		});

		It(TEXT("TheSmallEnumerationsCarryTheirDisplayNames"), [this]()
		{
			TestEnumeration(StaticEnum<ENimbrelRole>(), {
				{TEXT("ENimbrelRole::NIMBREL_SYSTEM"), 0, TEXT("System"), TEXT("")},
				{TEXT("ENimbrelRole::NIMBREL_USER"), 1, TEXT("User"), TEXT("")},
				{TEXT("ENimbrelRole::NIMBREL_ASSISTANT"), 2, TEXT("Assistant"), TEXT("")},
				{TEXT("ENimbrelRole::NIMBREL_TOOL"), 3, TEXT("Tool"), TEXT("")},
			});
			TestEnumeration(StaticEnum<ENimbrelResponseFormat>(), {
				{TEXT("ENimbrelResponseFormat::TEXT"), 0, TEXT("Text"), TEXT("")},
				{TEXT("ENimbrelResponseFormat::JSON_OBJECT"), 1, TEXT("Json_Object"), TEXT("")},
			});
			TestEnumeration(StaticEnum<ENimbrelToolsType>(), {
				{TEXT("ENimbrelToolsType::NB_FUNCTION"), 0, TEXT("Function"), TEXT("")},
			});
			TestEnumeration(StaticEnum<ENimbrelToolChoice>(), {
				{TEXT("ENimbrelToolChoice::NB_NONE"), 0, TEXT("None"), TEXT("")},
				{TEXT("ENimbrelToolChoice::NB_AUTO"), 1, TEXT("Auto"), TEXT("")},
				{TEXT("ENimbrelToolChoice::NB_REQUIRED"), 2, TEXT("Required"), TEXT("")},
			});
		});
	});
}

void FTalvaneRecordReflectionSpec::DefineRequestRecords()
{
	Describe(TEXT("RequestRecords"), [this]()
	{
		It(TEXT("ChatRequestListsTheSharedParametersFirst"), [this]()
		{
			const UScriptStruct* Struct = FNimbrelChatRequest::StaticStruct();
			TestTrue(TEXT("Base"), Struct->GetSuperStruct() == FNimbrelParamBase::StaticStruct());
#if WITH_EDITORONLY_DATA
			TestFalse(TEXT("Record tooltip"), Struct->HasMetaData(TEXT("ToolTip")));
#endif
			TestProperties(Struct, {
				{TEXT("Model"), TEXT("NimbrelParamBase"), TEXT("")},
				{TEXT("FrequencyPenalty"), TEXT("NimbrelParamBase"), TEXT("介于 -2.0 和 2.0 之间的数字，默认为0")},
				{TEXT("MaxTokens"), TEXT("NimbrelParamBase"), TEXT("介于 1 到 8192 间的整数，限制一次请求中模型生成 completion 的最大 token 数，默认4096")},
				{TEXT("PresencePenalty"), TEXT("NimbrelParamBase"), TEXT("介于 -2.0 和 2.0 之间的数字，默认为0")},
				{TEXT("Stop"), TEXT("NimbrelParamBase"), TEXT("在遇到这些词时，API 将停止生成更多的 token")},
				{TEXT("bStream"), TEXT("NimbrelParamBase"), TEXT("如果设置为 True，将会以 SSE 的形式以流式发送消息增量。消息流以 data: [DONE] 结尾")},
				{TEXT("StreamOptions"), TEXT("NimbrelParamBase"), TEXT("流式输出相关选项。只有在 stream 参数为 true 时，才可设置此参数")},
				{TEXT("Temperature"), TEXT("NimbrelParamBase"), TEXT("采样温度，介于 0 和 2 之间，默认为1")},
				{TEXT("TopP"), TEXT("NimbrelParamBase"), TEXT("作为调节采样温度的替代方案，模型会考虑前 top_p 概率的 token 的结果，默认为1")},
				{TEXT("ModelName"), TEXT("NimbrelParamBase"), TEXT("Sent as the model name instead of Model's when not empty; the endpoint still follows Model.")},
				{TEXT("Messages"), TEXT("ChatRequest"), TEXT("")},
				{TEXT("ResponseFormat"), TEXT("ChatRequest"), TEXT("指定模型必须输出的格式")},
				{TEXT("Tools"), TEXT("ChatRequest"), TEXT("模型可能会调用的 tool 的列表。目前，仅支持 function 作为工具")},
				{TEXT("ToolChoice"), TEXT("ChatRequest"), TEXT("控制模型调用 tool 的行为。\nnone 意味着模型不会调用任何 tool，而是生成一条消息。\nauto 意味着模型可以选择生成一条消息或调用一个或多个 tool。\nrequired 意味着模型必须调用一个或多个 tool。\n当没有 tool 时，默认值为 none。如果有 tool 存在，默认值为 auto。")},
				{TEXT("bLogprobs"), TEXT("ChatRequest"), TEXT("是否返回所输出 token 的对数概率")},
				{TEXT("TopLogprobs"), TEXT("ChatRequest"), TEXT("一个介于 0 到 20 之间的整数 N，指定每个输出位置返回输出概率 top N 的 token，且返回这些 token 的对数概率。\n指定此参数时，logprobs 必须为 true。")},
				{TEXT("MaxHistoryCharacters"), TEXT("ChatRequest"), TEXT("History budget in characters of the messages' text (the service's tokens cannot be counted here). The oldest whole turns are removed before sending until the rest fits; system messages and the new question stay. 0: the ini default ([Talvane] MaxHistoryCharacters); negative: no limit.")},
			});
		});

		It(TEXT("FIMRequestAddsItsOwnFieldsAfterTheBase"), [this]()
		{
			const TArray<FProperty*> Properties = GetPropertiesBaseFirst(FNimbrelFIMRequest::StaticStruct());
			TestEqual(TEXT("Properties"), Properties.Num(), 14);
			const FPropertyRow OwnRows[] = {
				{TEXT("Prompt"), TEXT("FIMRequest"), TEXT("")},
				{TEXT("bEcho"), TEXT("FIMRequest"), TEXT("在输出中，把 prompt 的内容也输出出来")},
				{TEXT("Logprobs"), TEXT("FIMRequest"), TEXT("制定输出中包含 logprobs 最可能输出 token 的对数概率，包含采样的 token")},
				{TEXT("Suffix"), TEXT("FIMRequest"), TEXT("制定被补全内容的后缀")},
			};
			for (int32 Index = 0; Index < 4 && Properties.Num() == 14; ++Index)
			{
				TestTrue(TEXT("Name"), Properties[10 + Index]->GetName().Equals(OwnRows[Index].Name, ESearchCase::CaseSensitive));
#if WITH_EDITORONLY_DATA
				TestTrue(TEXT("Category"), FString(Properties[10 + Index]->GetMetaData(TEXT("Category"))).Equals(OwnRows[Index].Category, ESearchCase::CaseSensitive));
				TestTrue(TEXT("Tooltip"), FString(Properties[10 + Index]->GetMetaData(TEXT("ToolTip"))).Equals(OwnRows[Index].ToolTip, ESearchCase::CaseSensitive));
#endif
			}
		});

		It(TEXT("LocalChatRequestHasNoBaseAndItsOwnTooltip"), [this]()
		{
			const UScriptStruct* Struct = FNimbrelLocalChatRequest::StaticStruct();
			TestNull(TEXT("Base"), Struct->GetSuperStruct());
#if WITH_EDITORONLY_DATA
			TestTrue(TEXT("Record tooltip"), FString(Struct->GetMetaData(TEXT("ToolTip"))).Equals(TEXT("针对本地请求"), ESearchCase::CaseSensitive));
#endif
			TestProperties(Struct, {
				{TEXT("Messages"), TEXT("Local|Messages"), TEXT("")},
				{TEXT("Model"), TEXT("Local"), TEXT("")},
				{TEXT("bStream"), TEXT("Local"), TEXT("")},
				{TEXT("URL"), TEXT("Local"), TEXT("这个是IP或者域名")},
				{TEXT("ChatID"), TEXT("Local"), TEXT("针对本地")},
				{TEXT("MaxHistoryCharacters"), TEXT("Local"), TEXT("History budget in characters of the messages' text (the service's tokens cannot be counted here). The oldest whole turns are removed before sending until the rest fits; system messages and the new question stay. 0: the ini default ([Talvane] MaxHistoryCharacters); negative: no limit.")},
			});
		});

		It(TEXT("NestedRequestRecordsCarryTheirCategories"), [this]()
		{
			TestProperties(FNimbrelStreamOptions::StaticStruct(), {{TEXT("bIncludeUsage"), TEXT("StreamOptions"), TEXT("如果设置为 true，在流式消息最后的 data: [DONE] 之前将会传输一个额外的块")}});
			TestProperties(FNimbrelResponseFormat::StaticStruct(), {{TEXT("Type"), TEXT("ResponseFormat"), TEXT("")}});
			TestProperties(FNimbrelToolsFunction::StaticStruct(), {{TEXT("Description"), TEXT("Tools|Function"), TEXT("")}, {TEXT("Name"), TEXT("Tools|Function"), TEXT("")}, {TEXT("Parameters"), TEXT("Tools|Function"), TEXT("JSON Schema object of the arguments; sent when not empty")}});
			TestProperties(FNimbrelTools::StaticStruct(), {{TEXT("Type"), TEXT("Tools"), TEXT("")}, {TEXT("Function"), TEXT("Tools"), TEXT("")}});
			TestProperties(FNimbrelContextMessage::StaticStruct(), {{TEXT("Content"), TEXT("Messages"), TEXT("")}, {TEXT("Role"), TEXT("Messages"), TEXT("")}, {TEXT("Name"), TEXT("Messages"), TEXT("")}, {TEXT("ToolCallID"), TEXT("Messages"), TEXT("In a tool message: the id of the tool call it answers")}, {TEXT("ToolCalls"), TEXT("Messages"), TEXT("In an assistant message: the tool calls the model made")}});
			TestProperties(FNimbrelContextInfo::StaticStruct(), {{TEXT("Metas"), TEXT("Messages"), TEXT("")}});
		});
	});
}

void FTalvaneRecordReflectionSpec::DefineResponseRecords()
{
	Describe(TEXT("ResponseRecords"), [this]()
	{
		It(TEXT("ChoicesShowTheSharedBaseFieldsFirst"), [this]()
		{
			TestProperties(FNimbrelChatResponseChoice::StaticStruct(), {
				{TEXT("FinishReason"), TEXT("ResponseChoiceBase"), TEXT("")},
				{TEXT("Index"), TEXT("ResponseChoiceBase"), TEXT("")},
				{TEXT("Message"), TEXT("ChatResponses|Choice"), TEXT("")},
				{TEXT("Logprobs"), TEXT("ChatResponses|Choice"), TEXT("")},
			});
			TestProperties(FNimbrelFIMResponseChoice::StaticStruct(), {
				{TEXT("FinishReason"), TEXT("ResponseChoiceBase"), TEXT("")},
				{TEXT("Index"), TEXT("ResponseChoiceBase"), TEXT("")},
				{TEXT("Text"), TEXT("FIMResponses|Choice"), TEXT("")},
				{TEXT("Logprobs"), TEXT("FIMResponses|Choice"), TEXT("")},
			});
		});

		It(TEXT("FIMResponsesShareTheChatCategory"), [this]()
		{
			const UScriptStruct* Struct = FNimbrelFIMResponses::StaticStruct();
			TestTrue(TEXT("Base"), Struct->GetSuperStruct() == FNimbrelResponsesBase::StaticStruct());
			TestProperties(Struct, {
				{TEXT("ID"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("Created"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("Model"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("SystemFingerprint"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("Object"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("Usage"), TEXT("ResponsesBase"), TEXT("")},
				{TEXT("Choices"), TEXT("ChatResponses"), TEXT("")},
			});
		});

		It(TEXT("LogprobContentHoldsOneTopLogprobRecordAfterItsBase"), [this]()
		{
			const UScriptStruct* Struct = FNimbrelChatResponseLogprobContent::StaticStruct();
			TestProperties(Struct, {
				{TEXT("Token"), TEXT("ChatResponses|Choice|Logprob|BaseParam"), TEXT("")},
				{TEXT("Logprob"), TEXT("ChatResponses|Choice|Logprob|BaseParam"), TEXT("")},
				{TEXT("Bytes"), TEXT("ChatResponses|Choice|Logprob|BaseParam"), TEXT("")},
				{TEXT("TopLogprobs"), TEXT("ChatResponses|Choice|Logprob|Content"), TEXT("")},
			});
			const FProperty* TopLogprobs = Struct->FindPropertyByName(TEXT("TopLogprobs"));
			TestTrue(TEXT("TopLogprobs is one record"), TopLogprobs && TopLogprobs->IsA<FStructProperty>());
		});

		It(TEXT("UsageAndFIMLogprobsKeepTheirDeclaredNames"), [this]()
		{
			TestProperties(FNimbrelChatResponseUsage::StaticStruct(), {
				{TEXT("CompletionTokens"), TEXT("ChatResponses|Usage"), TEXT("")},
				{TEXT("PromptTokens"), TEXT("ChatResponses|Usage"), TEXT("")},
				{TEXT("PromptCacheHitTokens"), TEXT("ChatResponses|Usage"), TEXT("")},
				{TEXT("PromptCacheMissTokens"), TEXT("ChatResponses|Usage"), TEXT("")},
				{TEXT("TotalTokens"), TEXT("ChatResponses|Usage"), TEXT("")},
				{TEXT("CompletionTokensDetails"), TEXT("ChatResponses|Usage"), TEXT("")},
			});
			TestProperties(FNimbrelFIMResponseLogprobs::StaticStruct(), {
				{TEXT("TestOffset"), TEXT("FIMResponses|Choice|Logprobs"), TEXT("")},
				{TEXT("TokenLogprobs"), TEXT("FIMResponses|Choice|Logprobs"), TEXT("")},
				{TEXT("Tokens"), TEXT("FIMResponses|Choice|Logprobs"), TEXT("")},
				{TEXT("TopLogprobs"), TEXT("FIMResponses|Choice|Logprobs"), TEXT("")},
			});
		});
	});
}

void FTalvaneRecordReflectionSpec::DefinePackage()
{
	Describe(TEXT("Package"), [this]()
	{
		It(TEXT("HoldsExactlyTheSixEnumerationsAndTwentyNineRecords"), [this]()
		{
			const UPackage* Package = FindPackage(nullptr, TEXT("/Script/Talvane"));
			if (!TestNotNull(TEXT("Package"), Package))
			{
				return;
			}
			TArray<UObject*> Objects;
			GetObjectsWithPackage(Package, Objects, false);
			int32 NumEnums = 0;
			int32 NumStructs = 0;
			for (UObject* Object : Objects)
			{
				if (const UEnum* Enum = Cast<UEnum>(Object))
				{
					++NumEnums;
#if WITH_EDITORONLY_DATA
					TestTrue(*FString::Printf(TEXT("BlueprintType of %s"), *Enum->GetName()), FString(Enum->GetMetaData(TEXT("BlueprintType"))).Equals(TEXT("true"), ESearchCase::CaseSensitive));
#endif
				}
				else if (const UScriptStruct* Struct = Cast<UScriptStruct>(Object))
				{
					++NumStructs;
#if WITH_EDITORONLY_DATA
					TestTrue(*FString::Printf(TEXT("BlueprintType of %s"), *Struct->GetName()), FString(Struct->GetMetaData(TEXT("BlueprintType"))).Equals(TEXT("true"), ESearchCase::CaseSensitive));
#endif
				}
			}
			TestEqual(TEXT("Enumerations"), NumEnums, 6);
			TestEqual(TEXT("Records"), NumStructs, 29);
		});

		It(TEXT("NamesRecordsWithoutTheirPrefix"), [this]()
		{
			TestTrue(TEXT("Chat request"), FNimbrelChatRequest::StaticStruct()->GetName().Equals(TEXT("NimbrelChatRequest"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Outer"), FNimbrelChatErrorResponses::StaticStruct()->GetOutermost()->GetName().Equals(TEXT("/Script/Talvane"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Enumeration"), FString(StaticEnum<ENimbrelToolChoice>()->GetName()).Equals(TEXT("ENimbrelToolChoice"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
