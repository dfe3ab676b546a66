#include "TalvaneJsonEnums.h"

#include "Interfaces/IHttpRequest.h"
#include "TalvaneSettings.h"
#include "UObject/Class.h"

namespace
{
	/**
	 * The wire string of an enumerator: its reflected qualified name with as many leading
	 * characters removed as Prefix is long, in lower case. Only the prefix's length counts, so
	 * the wire strings follow the enumerator names wherever they are declared.
	 */
	template <typename TEnum>
	FString ReflectedEnumToWireString(const TEnum Value, const TCHAR* Prefix)
	{
		FString Name = StaticEnum<TEnum>()->GetNameByValue(static_cast<int64>(Value)).ToString();
		Name.RemoveAt(0, FString(Prefix).Len());
		return Name.ToLower();
	}
}

FString TalvaneJson::NimbrelModelToString(const ENimbrelModel Model)
{
	switch (Model)
	{
	case ENimbrelModel::NIMBREL_CHAT:
		return TEXT("nimbrel-chat");
	case ENimbrelModel::NIMBREL_REASONER:
		return TEXT("nimbrel-reasoner");
	default:
		return FString();
	}
}

FString TalvaneJson::NimbrelProtocolToString(const ENimbrelProtocol Protocol)
{
	return ReflectedEnumToWireString(Protocol, TEXT("ENimbrelProtocol::NIMBREL_"));
}

FString TalvaneJson::NimbrelResponseFormatToString(const ENimbrelResponseFormat Format)
{
	return ReflectedEnumToWireString(Format, TEXT("ENimbrelResponseFormat::"));
}

FString TalvaneJson::NimbrelRoleToString(const ENimbrelRole Role)
{
	return ReflectedEnumToWireString(Role, TEXT("ENimbrelRole::NIMBREL_"));
}

FString TalvaneJson::NimbrelToolChoiceToString(const ENimbrelToolChoice Choice)
{
	return ReflectedEnumToWireString(Choice, TEXT("ENimbrelToolChoice::NB_"));
}

FString TalvaneJson::NimbrelToolsTypeToString(const ENimbrelToolsType Type)
{
	return ReflectedEnumToWireString(Type, TEXT("ENimbrelToolsType::NB_"));
}

ENimbrelModel TalvaneJson::StringToNimbrelModel(const FString& Model)
{
	if (Model.Equals(TEXT("nimbrel-chat"), ESearchCase::IgnoreCase))
	{
		return ENimbrelModel::NIMBREL_CHAT;
	}
	if (Model.Equals(TEXT("nimbrel-reasoner"), ESearchCase::IgnoreCase))
	{
		return ENimbrelModel::NIMBREL_REASONER;
	}
	return ENimbrelModel::NIMBREL_INVALID;
}

FString TalvaneJson::GetNimbrelURL(const ENimbrelModel Model)
{
	const bool bIsChatModel = Model == ENimbrelModel::NIMBREL_CHAT || Model == ENimbrelModel::NIMBREL_REASONER;
	const FString Path = bIsChatModel ? FString(TEXT("chat/completions")) : FString();

	// The path goes where the template's "%s" stands, right behind the base URL. Joined rather than
	// formatted: the base URL comes from the ini, and a '%' in it is text, not a directive.
	return TalvaneSettings::GetCloudBaseURL() + Path;
}

ENimbrelProtocol TalvaneJson::GetNimbrelProtocol(const TSharedPtr<IHttpRequest> Request)
{
	if (!Request.IsValid())
	{
		return ENimbrelProtocol::NIMBREL_CHAT;
	}
	if (Request->GetHeader(TEXT("Access-Protocol")).Equals(NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_CHAT), ESearchCase::IgnoreCase))
	{
		return ENimbrelProtocol::NIMBREL_CHAT;
	}
	if (Request->GetHeader(TEXT("Access-Protocol")).Equals(NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_FIM), ESearchCase::IgnoreCase))
	{
		return ENimbrelProtocol::NIMBREL_FIM;
	}
	return ENimbrelProtocol::NIMBREL_CHAT;
}

void TalvaneJson::HandleHeaderArrayToHeaderMap(const TArray<FString>& Headers, TMap<FString, FString>& OutMap)
{
	for (const FString& Line : Headers)
	{
		FString Name;
		FString Value;
		Line.Split(TEXT(": "), &Name, &Value);
		OutMap.Add(Name, Value);
	}
}
