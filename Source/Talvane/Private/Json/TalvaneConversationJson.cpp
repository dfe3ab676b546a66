#include "TalvaneConversationJson.h"

#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "Policies/CondensedJsonPrintPolicy.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "Serialization/JsonWriter.h"
#include "TalvaneJsonEnums.h"
#include "TalvaneLog.h"

namespace
{
	/** The layout written; a text of a later layout is refused rather than half read. */
	const int32 ConversationVersion = 1;

	const ENimbrelRole AllRoles[] = {ENimbrelRole::NIMBREL_SYSTEM, ENimbrelRole::NIMBREL_USER, ENimbrelRole::NIMBREL_ASSISTANT,
		ENimbrelRole::NIMBREL_TOOL};

	bool ReadRole(const FString& InText, ENimbrelRole& OutRole)
	{
		for (const ENimbrelRole Role : AllRoles)
		{
			if (TalvaneJson::NimbrelRoleToString(Role).Equals(InText, ESearchCase::CaseSensitive))
			{
				OutRole = Role;
				return true;
			}
		}
		return false;
	}

	/** A string member, and only a string: a number or null in its place is an error, not a conversion. */
	bool ReadString(const FJsonObject& InObject, const TCHAR* InName, FString& OutValue)
	{
		const TSharedPtr<FJsonValue> Value = InObject.TryGetField(InName);
		if (!Value.IsValid() || Value->Type != EJson::String)
		{
			return false;
		}
		OutValue = Value->AsString();
		return true;
	}

	/** An optional string member: absent is empty, anything but a string is an error. */
	bool ReadOptionalString(const FJsonObject& InObject, const TCHAR* InName, FString& OutValue)
	{
		return !InObject.HasField(InName) || ReadString(InObject, InName, OutValue);
	}

	bool ReadToolCall(const TSharedPtr<FJsonValue>& InValue, FNimbrelChatResponseToolCall& OutCall)
	{
		if (!InValue.IsValid() || InValue->Type != EJson::Object)
		{
			return false;
		}
		const FJsonObject& Object = *InValue->AsObject();
		const TSharedPtr<FJsonValue> Function = Object.TryGetField(TEXT("function"));
		if (!Function.IsValid() || Function->Type != EJson::Object)
		{
			return false;
		}
		return ReadString(Object, TEXT("id"), OutCall.ID) && ReadString(Object, TEXT("type"), OutCall.Type)
			&& ReadString(*Function->AsObject(), TEXT("name"), OutCall.Function.Name)
			&& ReadString(*Function->AsObject(), TEXT("arguments"), OutCall.Function.Arguments);
	}

	/** The tool fields; texts saved before a conversation could hold tool turns have none. */
	bool ReadToolFields(const FJsonObject& InObject, FNimbrelContextMessage& OutMessage)
	{
		if (!ReadOptionalString(InObject, TEXT("tool_call_id"), OutMessage.ToolCallID))
		{
			return false;
		}
		if (!InObject.HasField(TEXT("tool_calls")))
		{
			return true;
		}
		const TArray<TSharedPtr<FJsonValue>>* Calls = nullptr;
		if (!InObject.TryGetArrayField(TEXT("tool_calls"), Calls))
		{
			return false;
		}
		for (const TSharedPtr<FJsonValue>& Call : *Calls)
		{
			if (!ReadToolCall(Call, OutMessage.ToolCalls.AddDefaulted_GetRef()))
			{
				return false;
			}
		}
		return true;
	}

	bool ReadMessage(const TSharedPtr<FJsonValue>& InValue, const int32 InIndex, FNimbrelContextMessage& OutMessage, FString& OutError)
	{
		if (!InValue.IsValid() || InValue->Type != EJson::Object)
		{
			OutError = FString::Printf(TEXT("message %d is not an object"), InIndex);
			return false;
		}
		const FJsonObject& Object = *InValue->AsObject();
		FString Role;
		if (!ReadString(Object, TEXT("role"), Role) || !ReadRole(Role, OutMessage.Role))
		{
			OutError = FString::Printf(TEXT("message %d has no known role (system, user, assistant or tool)"), InIndex);
			return false;
		}
		if (!ReadString(Object, TEXT("content"), OutMessage.Content) || !ReadString(Object, TEXT("name"), OutMessage.Name))
		{
			OutError = FString::Printf(TEXT("message %d lacks its \"content\" or \"name\" string"), InIndex);
			return false;
		}
		if (!ReadToolFields(Object, OutMessage))
		{
			OutError = FString::Printf(TEXT("message %d has a malformed \"tool_call_id\" or \"tool_calls\""), InIndex);
			return false;
		}
		return true;
	}

	bool ReadConversation(const FString& InJson, TArray<FNimbrelContextMessage>& OutMessages, FString& OutError)
	{
		TSharedPtr<FJsonObject> Root;
		if (!FJsonSerializer::Deserialize(TJsonReaderFactory<TCHAR>::Create(InJson), Root) || !Root.IsValid())
		{
			OutError = TEXT("the text is not a JSON object");
			return false;
		}
		int32 Version = 0;
		if (!Root->TryGetNumberField(TEXT("version"), Version) || Version != ConversationVersion)
		{
			OutError = FString::Printf(TEXT("the text is not a conversation of version %d"), ConversationVersion);
			return false;
		}
		const TArray<TSharedPtr<FJsonValue>>* Messages = nullptr;
		if (!Root->TryGetArrayField(TEXT("messages"), Messages))
		{
			OutError = TEXT("the text has no \"messages\" array");
			return false;
		}
		OutMessages.Reserve(Messages->Num());
		for (int32 Index = 0; Index < Messages->Num(); ++Index)
		{
			if (!ReadMessage((*Messages)[Index], Index, OutMessages.AddDefaulted_GetRef(), OutError))
			{
				return false;
			}
		}
		return true;
	}
}

void TalvaneJson::ConversationToJson(const TArray<FNimbrelContextMessage>& InMessages, FString& OutJson)
{
	OutJson.Reset();
	const TSharedRef<TJsonWriter<TCHAR, TCondensedJsonPrintPolicy<TCHAR>>> Writer
		= TJsonWriterFactory<TCHAR, TCondensedJsonPrintPolicy<TCHAR>>::Create(&OutJson);
	Writer->WriteObjectStart();
	Writer->WriteValue(TEXT("version"), ConversationVersion);
	Writer->WriteArrayStart(TEXT("messages"));
	for (const FNimbrelContextMessage& Message : InMessages)
	{
		// Every field is written, empty or not, so that reading it back gives the very same message.
		Writer->WriteObjectStart();
		Writer->WriteValue(TEXT("role"), NimbrelRoleToString(Message.Role));
		Writer->WriteValue(TEXT("content"), Message.Content);
		Writer->WriteValue(TEXT("name"), Message.Name);
		Writer->WriteValue(TEXT("tool_call_id"), Message.ToolCallID);
		Writer->WriteArrayStart(TEXT("tool_calls"));
		for (const FNimbrelChatResponseToolCall& Call : Message.ToolCalls)
		{
			Writer->WriteObjectStart();
			Writer->WriteValue(TEXT("id"), Call.ID);
			Writer->WriteValue(TEXT("type"), Call.Type);
			Writer->WriteObjectStart(TEXT("function"));
			Writer->WriteValue(TEXT("name"), Call.Function.Name);
			Writer->WriteValue(TEXT("arguments"), Call.Function.Arguments);
			Writer->WriteObjectEnd();
			Writer->WriteObjectEnd();
		}
		Writer->WriteArrayEnd();
		Writer->WriteObjectEnd();
	}
	Writer->WriteArrayEnd();
	Writer->WriteObjectEnd();
	Writer->Close();
}

bool TalvaneJson::ConversationFromJson(const FString& InJson, TArray<FNimbrelContextMessage>& OutMessages, FString& OutError)
{
	// Read aside first: a text that fails half way must leave the caller's conversation as it was.
	TArray<FNimbrelContextMessage> Read;
	FString Error;
	if (!ReadConversation(InJson, Read, Error))
	{
		OutError = Error;
		UE_LOG(TalvaneLog, Warning, TEXT("A saved conversation could not be read: %s. The conversation is left as it was."), *Error);
		return false;
	}
	OutMessages = MoveTemp(Read);
	OutError.Reset();
	return true;
}
