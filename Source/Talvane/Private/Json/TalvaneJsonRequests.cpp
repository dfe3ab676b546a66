#include "TalvaneJsonRequests.h"

#include "Dom/JsonObject.h"
#include "Policies/CondensedJsonPrintPolicy.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "Serialization/JsonWriter.h"
#include "TalvaneJsonEnums.h"

namespace
{
	typedef TJsonWriter<TCHAR, TCondensedJsonPrintPolicy<TCHAR>> FCondensedJsonWriter;
	typedef TJsonWriterFactory<TCHAR, TCondensedJsonPrintPolicy<TCHAR>> FCondensedJsonWriterFactory;

	/** The tool's schema as a JSON object, or null when the text is not one. */
	TSharedPtr<FJsonObject> ParseToolParameters(const FString& InParameters)
	{
		TSharedPtr<FJsonObject> Schema;
		if (!FJsonSerializer::Deserialize(TJsonReaderFactory<TCHAR>::Create(InParameters), Schema))
		{
			return nullptr;
		}
		return Schema;
	}

	// The common chat-completions format names a single kind of call, whatever the record's Type says:
	// a call assembled from stream fragments may carry none.
	void WriteToolCalls(FCondensedJsonWriter& Writer, const TArray<FNimbrelChatResponseToolCall>& ToolCalls)
	{
		Writer.WriteArrayStart(TEXT("tool_calls"));
		for (const FNimbrelChatResponseToolCall& Call : ToolCalls)
		{
			Writer.WriteObjectStart();
			Writer.WriteValue(TEXT("id"), Call.ID);
			Writer.WriteValue(TEXT("type"), TEXT("function"));
			Writer.WriteObjectStart(TEXT("function"));
			Writer.WriteValue(TEXT("name"), Call.Function.Name);
			Writer.WriteValue(TEXT("arguments"), Call.Function.Arguments);
			Writer.WriteObjectEnd();
			Writer.WriteObjectEnd();
		}
		Writer.WriteArrayEnd();
	}

	// Members only a tool turn has; a message without them is written as it always was.
	void WriteToolTurn(FCondensedJsonWriter& Writer, const FNimbrelContextMessage& Message)
	{
		if (!Message.ToolCallID.IsEmpty())
		{
			Writer.WriteValue(TEXT("tool_call_id"), Message.ToolCallID);
		}
		if (Message.ToolCalls.Num() > 0)
		{
			WriteToolCalls(Writer, Message.ToolCalls);
		}
	}

	void WriteCloudMessages(FCondensedJsonWriter& Writer, const TArray<FNimbrelContextMessage>& Messages)
	{
		Writer.WriteArrayStart(TEXT("messages"));
		for (const FNimbrelContextMessage& Message : Messages)
		{
			Writer.WriteObjectStart();
			Writer.WriteValue(TEXT("content"), Message.Content);
			Writer.WriteValue(TEXT("role"), TalvaneJson::NimbrelRoleToString(Message.Role));
			if (!Message.Name.IsEmpty())
			{
				Writer.WriteValue(TEXT("name"), Message.Name);
			}
			WriteToolTurn(Writer, Message);
			Writer.WriteObjectEnd();
		}
		Writer.WriteArrayEnd();
	}

	// The local server takes no participant names, and expects the role before the content.
	void WriteLocalMessages(FCondensedJsonWriter& Writer, const TArray<FNimbrelContextMessage>& Messages)
	{
		Writer.WriteArrayStart(TEXT("messages"));
		for (const FNimbrelContextMessage& Message : Messages)
		{
			Writer.WriteObjectStart();
			Writer.WriteValue(TEXT("role"), TalvaneJson::NimbrelRoleToString(Message.Role));
			Writer.WriteValue(TEXT("content"), Message.Content);
			WriteToolTurn(Writer, Message);
			Writer.WriteObjectEnd();
		}
		Writer.WriteArrayEnd();
	}

	void WriteStopIfSet(FCondensedJsonWriter& Writer, const FNimbrelParamBase& Params)
	{
		if (!Params.Stop.IsEmpty())
		{
			Writer.WriteValue(TEXT("stop"), Params.Stop);
		}
	}

	// "stream" and "stream_options"; the options only mean something for a streamed request.
	void WriteStreaming(FCondensedJsonWriter& Writer, const FNimbrelParamBase& Params)
	{
		Writer.WriteValue(TEXT("stream"), Params.bStream);
		if (Params.bStream)
		{
			Writer.WriteObjectStart(TEXT("stream_options"));
			Writer.WriteValue(TEXT("include_usage"), Params.StreamOptions.bIncludeUsage);
			Writer.WriteObjectEnd();
		}
		else
		{
			Writer.WriteNull(TEXT("stream_options"));
		}
	}

	void WriteSampling(FCondensedJsonWriter& Writer, const FNimbrelParamBase& Params)
	{
		Writer.WriteValue(TEXT("temperature"), Params.Temperature);
		Writer.WriteValue(TEXT("top_p"), Params.TopP);
	}

	// The schema goes through the Json module, so the body holds exactly what the condensed writer
	// prints for it. Text that is no object is left out here; the transport refuses to send it.
	void WriteToolParameters(const TSharedRef<FCondensedJsonWriter>& Writer, const FString& InParameters)
	{
		if (InParameters.IsEmpty())
		{
			return;
		}
		if (const TSharedPtr<FJsonObject> Schema = ParseToolParameters(InParameters))
		{
			FJsonSerializer::Serialize(TSharedPtr<FJsonValue>(MakeShared<FJsonValueObject>(Schema)), TEXT("parameters"), Writer, false);
		}
	}

	// "tools" and "tool_choice": without tools the choice is always "none", whatever the record says.
	void WriteTools(const TSharedRef<FCondensedJsonWriter>& Writer, const FNimbrelChatRequest& Request)
	{
		if (Request.Tools.Num() == 0)
		{
			Writer->WriteNull(TEXT("tools"));
			Writer->WriteValue(TEXT("tool_choice"), TalvaneJson::NimbrelToolChoiceToString(ENimbrelToolChoice::NB_NONE));
			return;
		}
		Writer->WriteArrayStart(TEXT("tools"));
		for (const FNimbrelTools& Tool : Request.Tools)
		{
			Writer->WriteObjectStart();
			Writer->WriteValue(TEXT("type"), TalvaneJson::NimbrelToolsTypeToString(Tool.Type));
			Writer->WriteObjectStart(TEXT("function"));
			Writer->WriteValue(TEXT("name"), Tool.Function.Name);
			Writer->WriteValue(TEXT("description"), Tool.Function.Description);
			WriteToolParameters(Writer, Tool.Function.Parameters);
			Writer->WriteObjectEnd();
			Writer->WriteObjectEnd();
		}
		Writer->WriteArrayEnd();
		Writer->WriteValue(TEXT("tool_choice"), TalvaneJson::NimbrelToolChoiceToString(Request.ToolChoice));
	}

	void WriteLogprobs(FCondensedJsonWriter& Writer, const FNimbrelChatRequest& Request)
	{
		Writer.WriteValue(TEXT("logprobs"), Request.bLogprobs);
		if (Request.bLogprobs)
		{
			Writer.WriteValue(TEXT("top_logprobs"), Request.TopLogprobs);
		}
		else
		{
			Writer.WriteNull(TEXT("top_logprobs"));
		}
	}
}

namespace
{
	/** The record's own model name when it has one, otherwise the name of its model enumerator. */
	FString GetModelString(const FNimbrelParamBase& Request)
	{
		return Request.ModelName.IsEmpty() ? TalvaneJson::NimbrelModelToString(Request.Model) : Request.ModelName;
	}
}

bool TalvaneJson::IsSendableToolParameters(const FString& InParameters)
{
	return InParameters.IsEmpty() || ParseToolParameters(InParameters).IsValid();
}

bool TalvaneJson::FindUnsendableTool(const FNimbrelChatRequest& Request, FString& OutToolName)
{
	for (const FNimbrelTools& Tool : Request.Tools)
	{
		if (!IsSendableToolParameters(Tool.Function.Parameters))
		{
			OutToolName = Tool.Function.Name;
			return true;
		}
	}
	return false;
}

void TalvaneJson::NimbrelChatRequestToString(const FNimbrelChatRequest& Request, FString& OutJson)
{
	const TSharedRef<FCondensedJsonWriter> Writer = FCondensedJsonWriterFactory::Create(&OutJson);
	Writer->WriteObjectStart();
	WriteCloudMessages(*Writer, Request.Messages);
	Writer->WriteValue(TEXT("model"), GetModelString(Request));
	Writer->WriteValue(TEXT("frequency_penalty"), Request.FrequencyPenalty);
	Writer->WriteValue(TEXT("max_tokens"), Request.MaxTokens);
	Writer->WriteValue(TEXT("presence_penalty"), Request.PresencePenalty);
	Writer->WriteObjectStart(TEXT("response_format"));
	Writer->WriteValue(TEXT("type"), NimbrelResponseFormatToString(Request.ResponseFormat.Type));
	Writer->WriteObjectEnd();
	WriteStopIfSet(*Writer, Request);
	WriteStreaming(*Writer, Request);
	WriteSampling(*Writer, Request);
	WriteTools(Writer, Request);
	WriteLogprobs(*Writer, Request);
	Writer->WriteObjectEnd();
	Writer->Close();
}

void TalvaneJson::NimbrelChatRequestToString(const FNimbrelLocalChatRequest& Request, FString& OutJson)
{
	const TSharedRef<FCondensedJsonWriter> Writer = FCondensedJsonWriterFactory::Create(&OutJson);
	Writer->WriteObjectStart();
	WriteLocalMessages(*Writer, Request.Messages);
	Writer->WriteValue(TEXT("model"), Request.Model);
	Writer->WriteValue(TEXT("stream"), Request.bStream);
	Writer->WriteObjectEnd();
	Writer->Close();
}

void TalvaneJson::NimbrelFIMRequestToString(const FNimbrelFIMRequest& Request, FString& OutJson)
{
	const TSharedRef<FCondensedJsonWriter> Writer = FCondensedJsonWriterFactory::Create(&OutJson);
	Writer->WriteObjectStart();
	Writer->WriteValue(TEXT("model"), GetModelString(Request));
	Writer->WriteValue(TEXT("prompt"), Request.Prompt);
	Writer->WriteValue(TEXT("echo"), Request.bEcho);
	Writer->WriteValue(TEXT("frequency_penalty"), Request.FrequencyPenalty);
	Writer->WriteValue(TEXT("logprobs"), Request.Logprobs);
	Writer->WriteValue(TEXT("max_tokens"), Request.MaxTokens);
	Writer->WriteValue(TEXT("presence_penalty"), Request.PresencePenalty);
	WriteStopIfSet(*Writer, Request);
	WriteStreaming(*Writer, Request);
	Writer->WriteValue(TEXT("suffix"), Request.Suffix);
	WriteSampling(*Writer, Request);
	Writer->WriteObjectEnd();
	Writer->Close();
}
