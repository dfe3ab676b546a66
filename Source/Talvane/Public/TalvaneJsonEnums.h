#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"

class IHttpRequest;

/** Wire strings of the enumerations, the cloud chat endpoint and request header helpers. */
namespace TalvaneJson
{
	/** "nimbrel-chat" or "nimbrel-reasoner"; the empty string for any other model. */
	TALVANE_API FString NimbrelModelToString(ENimbrelModel Model);

	/** "none", "chat", "fim" or "local_chat", as sent in the "Access-Protocol" header. */
	TALVANE_API FString NimbrelProtocolToString(ENimbrelProtocol Protocol);

	/** "text" or "json_object". */
	TALVANE_API FString NimbrelResponseFormatToString(ENimbrelResponseFormat Format);

	/** "system", "user", "assistant" or "tool". */
	TALVANE_API FString NimbrelRoleToString(ENimbrelRole Role);

	/** "none", "auto" or "required". */
	TALVANE_API FString NimbrelToolChoiceToString(ENimbrelToolChoice Choice);

	/** "function", the one kind of tool the chat-completions format knows. */
	TALVANE_API FString NimbrelToolsTypeToString(ENimbrelToolsType Type);

	/** The model named by Model, ignoring case; NIMBREL_INVALID for any other text. */
	TALVANE_API ENimbrelModel StringToNimbrelModel(const FString& Model);

	/** The cloud chat endpoint of Model: base URL + "chat/completions", or the bare base URL for NIMBREL_INVALID. */
	TALVANE_API FString GetNimbrelURL(ENimbrelModel Model);

	/** NIMBREL_FIM when the request's "Access-Protocol" header says "fim" (any case), NIMBREL_CHAT otherwise. */
	TALVANE_API ENimbrelProtocol GetNimbrelProtocol(TSharedPtr<IHttpRequest> Request);

	/**
	 * Adds "Name: Value" header lines to OutMap, splitting each at its first ": ". A line without
	 * that separator adds the empty name with the empty value; a later line replaces an earlier
	 * one of the same name (names ignore case). OutMap is not emptied first.
	 */
	TALVANE_API void HandleHeaderArrayToHeaderMap(const TArray<FString>& Headers, TMap<FString, FString>& OutMap);
}
