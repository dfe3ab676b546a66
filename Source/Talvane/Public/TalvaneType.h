// Enumerations and records of the Talvane plugin: what a caller fills to send a request and what
// the answers are parsed into. Everything here is reflected, so scripts can make, break and edit
// these types; the reflected enumerator names are also the source of their wire strings.
//
// No comment stands directly above a reflected declaration: the header tool would turn it into
// editor metadata, and the tooltips below are exactly what the editor should show.

#pragma once

#include "CoreMinimal.h"
#include "TalvaneRecordLifetime.h"
#include "UObject/ObjectMacros.h"

#include "TalvaneType.generated.h"

UENUM(BlueprintType, meta=(ToolTip="模型"))
enum class ENimbrelModel : uint8
{
	NIMBREL_INVALID UMETA(DisplayName="Invalid"),
	NIMBREL_CHAT UMETA(DisplayName="Nimbrel-Chat", ToolTip="进行多轮对话。\n即服务端不记录用户请求的上下文，用户在每次请求时，需将之前所有对话历史拼接好后，传递给对话 API。"),
	NIMBREL_REASONER UMETA(DisplayName="Nimbrel-Reasoner", ToolTip="nimbrel-reasoner 是 Nimbrel 推出的推理模型。在输出最终回答之前，模型会先输出一段思维链内容，\n以提升最终答案的准确性。我们的 API 向用户开放 nimbrel-reasoner 思维链的内容，以供用户查看、展示、蒸馏使用。"),
};

UENUM(BlueprintType)
enum class ENimbrelProtocol : uint8
{
	NIMBREL_NONE UMETA(DisplayName="None"),
	NIMBREL_CHAT UMETA(DisplayName="Chat"),
	NIMBREL_FIM UMETA(DisplayName="FIM", ToolTip="用户可以提供前缀和后缀（可选），模型来补全中间的内容。FIM 常用于内容续写、代码补全等场景。\n模型的最大补全长度为 4K。"),
	NIMBREL_LOCAL_CHAT UMETA(DisplayName="Local Chat"),
};

UENUM(BlueprintType)
enum class ENimbrelRole : uint8
{
	NIMBREL_SYSTEM UMETA(DisplayName="System"),
	NIMBREL_USER UMETA(DisplayName="User"),
	NIMBREL_ASSISTANT UMETA(DisplayName="Assistant"),
	NIMBREL_TOOL UMETA(DisplayName="Tool"),
};

UENUM(BlueprintType)
enum class ENimbrelResponseFormat : uint8
{
	TEXT UMETA(DisplayName="Text"),
	JSON_OBJECT UMETA(DisplayName="Json_Object"),
};

UENUM(BlueprintType)
enum class ENimbrelToolsType : uint8
{
	NB_FUNCTION UMETA(DisplayName="Function"),
};

UENUM(BlueprintType)
enum class ENimbrelToolChoice : uint8
{
	NB_NONE UMETA(DisplayName="None"),
	NB_AUTO UMETA(DisplayName="Auto"),
	NB_REQUIRED UMETA(DisplayName="Required"),
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelStreamOptions
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="StreamOptions", meta=(ToolTip="如果设置为 true，在流式消息最后的 data: [DONE] 之前将会传输一个额外的块"))
	bool bIncludeUsage = false;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelResponseFormat
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponseFormat")
	ENimbrelResponseFormat Type = ENimbrelResponseFormat::TEXT;
};

// The tool call records belong with the response records; they stand here because a conversation
// message holds the calls of an assistant turn.
USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseFunction
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message|Function")
	FString Name;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message|Function")
	FString Arguments;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseToolCall
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message|ToolCall")
	FString ID;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message|ToolCall")
	FString Type;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message|ToolCall")
	FNimbrelChatResponseFunction Function;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelToolsFunction
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools|Function")
	FString Description;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools|Function")
	FString Name;

	/** A JSON Schema object describing the arguments; sent as "parameters" when not empty. Text that is not a JSON object stops the request from being sent. */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools|Function", meta=(ToolTip="JSON Schema object of the arguments; sent when not empty"))
	FString Parameters;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelTools
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	ENimbrelToolsType Type = ENimbrelToolsType::NB_FUNCTION;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	FNimbrelToolsFunction Function;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelContextMessage
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages")
	FString Content;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages")
	ENimbrelRole Role = ENimbrelRole::NIMBREL_SYSTEM;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages")
	FString Name;

	/** In a tool message: the id of the call this message answers. */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages", meta=(ToolTip="In a tool message: the id of the tool call it answers"))
	FString ToolCallID;

	/** In an assistant message: the tool calls the model made in that turn. */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages", meta=(ToolTip="In an assistant message: the tool calls the model made"))
	TArray<FNimbrelChatResponseToolCall> ToolCalls;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelContextInfo
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Messages")
	TMap<FString, FString> Metas;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelParamBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase")
	ENimbrelModel Model = ENimbrelModel::NIMBREL_INVALID;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="介于 -2.0 和 2.0 之间的数字，默认为0"))
	float FrequencyPenalty = 0.0f;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="介于 1 到 8192 间的整数，限制一次请求中模型生成 completion 的最大 token 数，默认4096"))
	int32 MaxTokens = 4096;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="介于 -2.0 和 2.0 之间的数字，默认为0"))
	float PresencePenalty = 0.0f;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="在遇到这些词时，API 将停止生成更多的 token"))
	FString Stop;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="如果设置为 True，将会以 SSE 的形式以流式发送消息增量。消息流以 data: [DONE] 结尾"))
	bool bStream = false;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="流式输出相关选项。只有在 stream 参数为 true 时，才可设置此参数"))
	FNimbrelStreamOptions StreamOptions;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="采样温度，介于 0 和 2 之间，默认为1"))
	float Temperature = 1.0f;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="作为调节采样温度的替代方案，模型会考虑前 top_p 概率的 token 的结果，默认为1"))
	float TopP = 1.0f;

	/**
	 * Any model name, for a server that speaks this chat format under other names (a proxy, a local
	 * inference server, a newer model). When not empty it is sent as "model" instead of Model's name;
	 * the endpoint still follows Model.
	 */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="NimbrelParamBase", meta=(ToolTip="Sent as the model name instead of Model's when not empty; the endpoint still follows Model."))
	FString ModelName;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatRequest : public FNimbrelParamBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest")
	TArray<FNimbrelContextMessage> Messages;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="指定模型必须输出的格式"))
	FNimbrelResponseFormat ResponseFormat;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="模型可能会调用的 tool 的列表。目前，仅支持 function 作为工具"))
	TArray<FNimbrelTools> Tools;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="控制模型调用 tool 的行为。\nnone 意味着模型不会调用任何 tool，而是生成一条消息。\nauto 意味着模型可以选择生成一条消息或调用一个或多个 tool。\nrequired 意味着模型必须调用一个或多个 tool。\n当没有 tool 时，默认值为 none。如果有 tool 存在，默认值为 auto。"))
	ENimbrelToolChoice ToolChoice = ENimbrelToolChoice::NB_NONE;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="是否返回所输出 token 的对数概率"))
	bool bLogprobs = false;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="一个介于 0 到 20 之间的整数 N，指定每个输出位置返回输出概率 top N 的 token，且返回这些 token 的对数概率。\n指定此参数时，logprobs 必须为 true。"))
	int32 TopLogprobs = 0;

	/**
	 * The history budget, in characters of the messages' text (content and names): the plugin cannot
	 * count the service's tokens, so it counts characters. Before a question is sent, the oldest whole
	 * turns (a question with its answer and any tool turns between them) are removed from Messages until
	 * the rest fits; system messages and the new question always stay. 0 takes the engine ini's
	 * "[Talvane] MaxHistoryCharacters" (itself 0 by default: no limit); a negative value means no limit.
	 */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatRequest", meta=(ToolTip="History budget in characters of the messages' text (the service's tokens cannot be counted here). The oldest whole turns are removed before sending until the rest fits; system messages and the new question stay. 0: the ini default ([Talvane] MaxHistoryCharacters); negative: no limit."))
	int32 MaxHistoryCharacters = 0;

	// Not reflected: lets the request manager see whether this record still exists when an answer arrives.
	FTalvaneRecordLifetime Lifetime;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelFIMRequest : public FNimbrelParamBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMRequest")
	FString Prompt;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMRequest", meta=(ToolTip="在输出中，把 prompt 的内容也输出出来"))
	bool bEcho = false;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMRequest", meta=(ToolTip="制定输出中包含 logprobs 最可能输出 token 的对数概率，包含采样的 token"))
	int32 Logprobs = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMRequest", meta=(ToolTip="制定被补全内容的后缀"))
	FString Suffix;
	// Not reflected: lets the request manager see whether this record still exists when an answer arrives.
	FTalvaneRecordLifetime Lifetime;
};

USTRUCT(BlueprintType, meta=(ToolTip="针对本地请求"))
struct TALVANE_API FNimbrelLocalChatRequest
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local|Messages")
	TArray<FNimbrelContextMessage> Messages;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local")
	FString Model = TEXT("model");

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local")
	bool bStream = true;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local", meta=(ToolTip="这个是IP或者域名"))
	FString URL = TEXT("127.0.0.1");

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local", meta=(ToolTip="针对本地"))
	FString ChatID;

	/**
	 * The history budget, in characters of the messages' text (content and names): the plugin cannot
	 * count the service's tokens, so it counts characters. Before a question is sent, the oldest whole
	 * turns (a question with its answer and any tool turns between them) are removed from Messages until
	 * the rest fits; system messages and the new question always stay. 0 takes the engine ini's
	 * "[Talvane] MaxHistoryCharacters" (itself 0 by default: no limit); a negative value means no limit.
	 */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Local", meta=(ToolTip="History budget in characters of the messages' text (the service's tokens cannot be counted here). The oldest whole turns are removed before sending until the rest fits; system messages and the new question stay. 0: the ini default ([Talvane] MaxHistoryCharacters); negative: no limit."))
	int32 MaxHistoryCharacters = 0;

	// Not reflected: lets the request manager see whether this record still exists when an answer arrives.
	FTalvaneRecordLifetime Lifetime;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseTokenDetails
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage|CompletionTokensDetails")
	int32 ReasoningTokens = 0;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseUsage
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	int32 CompletionTokens = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	int32 PromptTokens = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	int32 PromptCacheHitTokens = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	int32 PromptCacheMissTokens = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	int32 TotalTokens = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Usage")
	FNimbrelChatResponseTokenDetails CompletionTokensDetails;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseDelta
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Delta")
	FString Content;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Delta")
	FString ReasoningContent;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Delta")
	FString Role;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseMessage : public FNimbrelChatResponseDelta
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Message")
	TArray<FNimbrelChatResponseToolCall> ToolCalls;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseLogprobBaseParam
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Logprob|BaseParam")
	FString Token;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Logprob|BaseParam")
	float Logprob = 0.0f;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Logprob|BaseParam")
	TArray<int32> Bytes;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseLogprobContent : public FNimbrelChatResponseLogprobBaseParam
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Logprob|Content")
	FNimbrelChatResponseLogprobBaseParam TopLogprobs;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseLogprobs
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice|Logprobs")
	TArray<FNimbrelChatResponseLogprobContent> Content;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelFIMResponseLogprobs
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice|Logprobs")
	TArray<int32> TestOffset;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice|Logprobs")
	TArray<float> TokenLogprobs;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice|Logprobs")
	TArray<FString> Tokens;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice|Logprobs")
	TArray<FNimbrelChatResponseLogprobBaseParam> TopLogprobs;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelResponseChoiceBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponseChoiceBase")
	FString FinishReason;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponseChoiceBase")
	int32 Index = 0;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponseChoice : public FNimbrelResponseChoiceBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice")
	FNimbrelChatResponseMessage Message;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses|Choice")
	FNimbrelChatResponseLogprobs Logprobs;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelFIMResponseChoice : public FNimbrelResponseChoiceBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice")
	FString Text;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="FIMResponses|Choice")
	FNimbrelFIMResponseLogprobs Logprobs;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelResponsesBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	FString ID;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	int32 Created = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	FString Model;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	FString SystemFingerprint;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	FString Object;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ResponsesBase")
	FNimbrelChatResponseUsage Usage;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatResponses : public FNimbrelResponsesBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses")
	TArray<FNimbrelChatResponseChoice> Choices;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelFIMResponses : public FNimbrelResponsesBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="ChatResponses")
	TArray<FNimbrelFIMResponseChoice> Choices;
};

USTRUCT(BlueprintType)
struct TALVANE_API FNimbrelChatErrorResponses
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Error")
	FString Message;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Error")
	FString Type;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Error")
	FString Param;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Error")
	FString Code;
};

/** One tool call of a tool loop as it was made: the function the model named, its arguments text, and the result sent back. */
USTRUCT(BlueprintType)
struct TALVANE_API FTalvaneToolCallReport
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	FString Name;

	/** The arguments as the model wrote them (JSON text, untrusted). */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	FString Arguments;

	/** A JSON object of the return value and output parameters, or an error text starting with "Error:". */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	FString Result;

	/** The function ran; false when the call was refused (unknown name, bad arguments, target gone). */
	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Tools")
	bool bRan = false;
};
