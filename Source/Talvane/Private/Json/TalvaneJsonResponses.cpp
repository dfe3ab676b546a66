#include "TalvaneJsonResponses.h"

#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneSSEDecoder.h"

// Every field is read with the quiet TryGet functions: the Get functions write a warning and an
// error to the log for each absent key, and a streamed chunk lacks most of them. On a fresh
// record the result is the same: an absent or null field stays empty or zero.

namespace
{
	typedef TArray<TSharedPtr<FJsonValue>> FJsonValueArray;

	/** A double truncated toward zero; values beyond the range of int32 saturate. */
	int32 TruncateToInt32(const double InNumber)
	{
		if (InNumber != InNumber)
		{
			return 0;
		}
		if (InNumber >= 2147483647.0)
		{
			return 2147483647;
		}
		if (InNumber <= -2147483648.0)
		{
			return -2147483647 - 1;
		}
		return static_cast<int32>(InNumber);
	}

	void ConvertNumber(const double InNumber, int32& OutValue)
	{
		OutValue = TruncateToInt32(InNumber);
	}

	void ConvertNumber(const double InNumber, float& OutValue)
	{
		OutValue = static_cast<float>(InNumber);
	}

	void ReadString(const FJsonObject& InObject, const TCHAR* InKey, FString& OutValue)
	{
		InObject.TryGetStringField(InKey, OutValue);
	}

	template <typename NumberType>
	void ReadNumber(const FJsonObject& InObject, const TCHAR* InKey, NumberType& OutValue)
	{
		double Number = 0.0;
		if (InObject.TryGetNumberField(InKey, Number))
		{
			ConvertNumber(Number, OutValue);
		}
	}

	/** The nested object under the key, or null when there is none. */
	const FJsonObject* FindObject(const FJsonObject& InObject, const TCHAR* InKey)
	{
		const TSharedPtr<FJsonObject>* Nested = nullptr;
		return InObject.TryGetObjectField(InKey, Nested) && Nested->IsValid() ? Nested->Get() : nullptr;
	}

	/** Calls InVisit for every element of the array under the key that is an object; other elements are skipped. */
	template <typename VisitorType>
	void ForEachObject(const FJsonObject& InObject, const TCHAR* InKey, const VisitorType& InVisit)
	{
		const FJsonValueArray* Values = nullptr;
		if (!InObject.TryGetArrayField(InKey, Values))
		{
			return;
		}
		for (const TSharedPtr<FJsonValue>& Value : *Values)
		{
			const TSharedPtr<FJsonObject>* Element = nullptr;
			if (Value.IsValid() && Value->TryGetObject(Element) && Element->IsValid())
			{
				InVisit(**Element);
			}
		}
	}

	/** Appends every element of a number array; an element that is no number counts as 0, as AsNumber gives. */
	template <typename NumberType>
	void AppendNumbers(const FJsonObject& InObject, const TCHAR* InKey, TArray<NumberType>& OutValues)
	{
		const FJsonValueArray* Values = nullptr;
		if (!InObject.TryGetArrayField(InKey, Values))
		{
			return;
		}
		for (const TSharedPtr<FJsonValue>& Value : *Values)
		{
			double Number = 0.0;
			if (Value.IsValid())
			{
				Value->TryGetNumber(Number);
			}
			ConvertNumber(Number, OutValues.AddDefaulted_GetRef());
		}
	}

	/** Appends every element of a string array; an element that is no string or number counts as empty, as AsString gives. */
	void AppendStrings(const FJsonObject& InObject, const TCHAR* InKey, TArray<FString>& OutValues)
	{
		const FJsonValueArray* Values = nullptr;
		if (!InObject.TryGetArrayField(InKey, Values))
		{
			return;
		}
		for (const TSharedPtr<FJsonValue>& Value : *Values)
		{
			FString& Text = OutValues.AddDefaulted_GetRef();
			if (Value.IsValid())
			{
				Value->TryGetString(Text);
			}
		}
	}

	/** The body's top-level object, or null when the body is not JSON or its root is an array. */
	TSharedPtr<FJsonObject> ParseRootObject(const FString& InBody)
	{
		TSharedPtr<FJsonValue> Root;
		const TSharedRef<TJsonReader<>> Reader = TJsonReaderFactory<>::Create(InBody);
		const TSharedPtr<FJsonObject>* RootObject = nullptr;
		if (!FJsonSerializer::Deserialize(Reader, Root) || !Root.IsValid() || !Root->TryGetObject(RootObject))
		{
			return nullptr;
		}
		return *RootObject;
	}

	void ReadUsage(const FJsonObject& InUsage, FNimbrelChatResponseUsage& OutUsage)
	{
		ReadNumber(InUsage, TEXT("completion_tokens"), OutUsage.CompletionTokens);
		ReadNumber(InUsage, TEXT("prompt_tokens"), OutUsage.PromptTokens);
		ReadNumber(InUsage, TEXT("prompt_cache_hit_tokens"), OutUsage.PromptCacheHitTokens);
		ReadNumber(InUsage, TEXT("prompt_cache_miss_tokens"), OutUsage.PromptCacheMissTokens);
		ReadNumber(InUsage, TEXT("total_tokens"), OutUsage.TotalTokens);
		if (const FJsonObject* const Details = FindObject(InUsage, TEXT("completion_tokens_details")))
		{
			ReadNumber(*Details, TEXT("reasoning_tokens"), OutUsage.CompletionTokensDetails.ReasoningTokens);
		}
	}

	/** The fields that follow the choices in chat and FIM completions alike. */
	void ReadResponseTail(const FJsonObject& InRoot, FNimbrelResponsesBase& OutResponses)
	{
		ReadNumber(InRoot, TEXT("created"), OutResponses.Created);
		ReadString(InRoot, TEXT("model"), OutResponses.Model);
		ReadString(InRoot, TEXT("system_fingerprint"), OutResponses.SystemFingerprint);
		ReadString(InRoot, TEXT("object"), OutResponses.Object);
		if (const FJsonObject* const Usage = FindObject(InRoot, TEXT("usage")))
		{
			ReadUsage(*Usage, OutResponses.Usage);
		}
	}

	void ReadToolCall(const FJsonObject& InToolCall, FNimbrelChatResponseToolCall& OutToolCall)
	{
		ReadString(InToolCall, TEXT("id"), OutToolCall.ID);
		ReadString(InToolCall, TEXT("type"), OutToolCall.Type);
		if (const FJsonObject* const Function = FindObject(InToolCall, TEXT("function")))
		{
			ReadString(*Function, TEXT("name"), OutToolCall.Function.Name);
			ReadString(*Function, TEXT("arguments"), OutToolCall.Function.Arguments);
		}
	}

	void ReadMessage(const FJsonObject& InMessage, FNimbrelChatResponseMessage& OutMessage)
	{
		ReadString(InMessage, TEXT("content"), OutMessage.Content);
		ReadString(InMessage, TEXT("reasoning_content"), OutMessage.ReasoningContent);
		ForEachObject(InMessage, TEXT("tool_calls"), [&OutMessage](const FJsonObject& InToolCall)
		{
			ReadToolCall(InToolCall, OutMessage.ToolCalls.AddDefaulted_GetRef());
		});
		ReadString(InMessage, TEXT("role"), OutMessage.Role);
	}

	void ReadDelta(const FJsonObject& InDelta, FNimbrelChatResponseMessage& OutMessage)
	{
		ReadString(InDelta, TEXT("content"), OutMessage.Content);
		ReadString(InDelta, TEXT("reasoning_content"), OutMessage.ReasoningContent);
		ReadString(InDelta, TEXT("role"), OutMessage.Role);
	}

	void ReadLogprobEntry(const FJsonObject& InEntry, FNimbrelChatResponseLogprobBaseParam& OutEntry)
	{
		ReadString(InEntry, TEXT("token"), OutEntry.Token);
		ReadNumber(InEntry, TEXT("logprob"), OutEntry.Logprob);
		AppendNumbers(InEntry, TEXT("bytes"), OutEntry.Bytes);
	}

	void ReadChatLogprobs(const FJsonObject& InLogprobs, FNimbrelChatResponseLogprobs& OutLogprobs)
	{
		ForEachObject(InLogprobs, TEXT("content"), [&OutLogprobs](const FJsonObject& InContent)
		{
			FNimbrelChatResponseLogprobContent& Entry = OutLogprobs.Content.AddDefaulted_GetRef();
			ReadLogprobEntry(InContent, Entry);
			// The alternatives fold into one record: the last token and log probability, every byte.
			ForEachObject(InContent, TEXT("top_logprobs"), [&Entry](const FJsonObject& InAlternative)
			{
				ReadLogprobEntry(InAlternative, Entry.TopLogprobs);
			});
		});
	}

	void ReadChatChoice(const FJsonObject& InChoice, FNimbrelChatResponseChoice& OutChoice)
	{
		ReadString(InChoice, TEXT("finish_reason"), OutChoice.FinishReason);
		ReadNumber(InChoice, TEXT("index"), OutChoice.Index);
		if (const FJsonObject* const Message = FindObject(InChoice, TEXT("message")))
		{
			ReadMessage(*Message, OutChoice.Message);
		}
		if (const FJsonObject* const Delta = FindObject(InChoice, TEXT("delta")))
		{
			ReadDelta(*Delta, OutChoice.Message);
		}
		if (const FJsonObject* const Logprobs = FindObject(InChoice, TEXT("logprobs")))
		{
			ReadChatLogprobs(*Logprobs, OutChoice.Logprobs);
		}
	}

	void ReadFIMLogprobs(const FJsonObject& InLogprobs, FNimbrelFIMResponseLogprobs& OutLogprobs)
	{
		AppendNumbers(InLogprobs, TEXT("text_offset"), OutLogprobs.TestOffset);
		AppendNumbers(InLogprobs, TEXT("token_logprobs"), OutLogprobs.TokenLogprobs);
		AppendStrings(InLogprobs, TEXT("tokens"), OutLogprobs.Tokens);
		// The alternatives of the FIM form sit under "logprobs" inside this same object.
		ForEachObject(InLogprobs, TEXT("logprobs"), [&OutLogprobs](const FJsonObject& InAlternative)
		{
			ReadLogprobEntry(InAlternative, OutLogprobs.TopLogprobs.AddDefaulted_GetRef());
		});
	}

	void ReadFIMChoice(const FJsonObject& InChoice, FNimbrelFIMResponseChoice& OutChoice)
	{
		ReadString(InChoice, TEXT("finish_reason"), OutChoice.FinishReason);
		ReadNumber(InChoice, TEXT("index"), OutChoice.Index);
		ReadString(InChoice, TEXT("text"), OutChoice.Text);
		if (const FJsonObject* const Logprobs = FindObject(InChoice, TEXT("logprobs")))
		{
			ReadFIMLogprobs(*Logprobs, OutChoice.Logprobs);
		}
	}
}

void TalvaneJson::StringToNimbrelChatResponses(const FString& InBody, FNimbrelChatResponses& OutResponses)
{
	const TSharedPtr<FJsonObject> Root = ParseRootObject(InBody);
	if (!Root.IsValid())
	{
		return;
	}
	ReadString(*Root, TEXT("id"), OutResponses.ID);
	ForEachObject(*Root, TEXT("choices"), [&OutResponses](const FJsonObject& InChoice)
	{
		ReadChatChoice(InChoice, OutResponses.Choices.AddDefaulted_GetRef());
	});
	ReadResponseTail(*Root, OutResponses);
}

void TalvaneJson::StringToNimbrelFIMResponses(const FString& InBody, FNimbrelFIMResponses& OutResponses)
{
	const TSharedPtr<FJsonObject> Root = ParseRootObject(InBody);
	if (!Root.IsValid())
	{
		return;
	}
	ReadString(*Root, TEXT("id"), OutResponses.ID);
	ForEachObject(*Root, TEXT("choices"), [&OutResponses](const FJsonObject& InChoice)
	{
		ReadFIMChoice(InChoice, OutResponses.Choices.AddDefaulted_GetRef());
	});
	ReadResponseTail(*Root, OutResponses);
}

void TalvaneJson::StringToNimbrelChatErrorResponses(const FString& InBody, FNimbrelChatErrorResponses& OutResponses)
{
	const TSharedPtr<FJsonObject> Root = ParseRootObject(InBody);
	if (!Root.IsValid())
	{
		return;
	}
	// Chat services wrap the error in an "error" object; a flat body is read as it stands.
	const FJsonObject* const Wrapped = FindObject(*Root, TEXT("error"));
	const FJsonObject& Source = Wrapped != nullptr ? *Wrapped : *Root;
	ReadString(Source, TEXT("message"), OutResponses.Message);
	ReadString(Source, TEXT("type"), OutResponses.Type);
	ReadString(Source, TEXT("param"), OutResponses.Param);
	ReadString(Source, TEXT("code"), OutResponses.Code);
}

void TalvaneJson::StringToStreamNimbrelChatResponses(const FString& InBody, TArray<FNimbrelChatResponses>& OutResponses)
{
	TArray<FString> Events;
	FTalvaneSSEDecoder::DecodeAll(InBody, Events);
	for (const FString& Event : Events)
	{
		StringToNimbrelChatResponses(Event, OutResponses.AddDefaulted_GetRef());
	}
}
