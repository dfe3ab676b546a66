#include "TalvaneJsonErrors.h"

#include "TalvaneJsonResponses.h"
#include "TalvaneLog.h"
#include "TalvaneSSEDecoder.h"

void TalvaneJson::ErrorPrintToLog(const int32 Code, const FString& Message)
{
	// One log call per row: the engine's log macro takes its format as a literal.
	switch (Code)
	{
	case 400:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]请求体格式错误.请根据错误信息提示修改请求体[%s]"), Code, *Message);
		break;
	case 401:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]API key 错误，认证失败.请检查您的 API key 是否正确，如没有 API key，请先 创建 API key[%s]"), Code, *Message);
		break;
	case 402:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]账号余额不足.请确认账户余额，并前往 充值 页面进行充值[%s]"), Code, *Message);
		break;
	case 422:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]请求体参数错误.请根据错误信息提示修改相关参数[%s]"), Code, *Message);
		break;
	case 429:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]请求速率（TPM 或 RPM）达到上限.请合理规划您的请求速率[%s]"), Code, *Message);
		break;
	case 500:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]服务器内部故障.请等待后重试，若问题一直存在，请联系我们解决[%s]"), Code, *Message);
		break;
	case 503:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]服务器负载过高.请稍后重试您的请求[%s]"), Code, *Message);
		break;
	default:
		UE_LOG(TalvaneLog, Log, TEXT("[code=%i]未知错误[%s]"), Code, *Message);
		break;
	}
}

FString TalvaneJson::ReadErrorMessage(const FString& InBody)
{
	// A body without any event is handed out whole, so an error document is read the same way.
	TArray<FString> Events;
	FTalvaneSSEDecoder::DecodeAll(InBody, Events);
	for (const FString& Event : Events)
	{
		FNimbrelChatErrorResponses Error;
		StringToNimbrelChatErrorResponses(Event, Error);
		if (!Error.Message.IsEmpty())
		{
			return Error.Message;
		}
	}
	return FString();
}
