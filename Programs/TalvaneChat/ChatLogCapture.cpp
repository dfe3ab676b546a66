#include "ChatLogCapture.h"

#include "TalvaneJsonResponses.h"

void FChatLogCapture::Serialize(const TCHAR* V, ELogVerbosity::Type, const FName& Category)
{
	const FString Line(V);
	if (Category != FName(TEXT("TalvaneLog")) || !Line.StartsWith(TEXT("[code=")))
	{
		return;
	}
	const std::lock_guard<std::mutex> Lock(Mutex);
	LastCode = FCString::Atoi(*Line.Mid(6));
}

void FChatLogCapture::Reset()
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	LastCode = -1;
}

std::string FChatLogCapture::DescribeFailure(const FString& ErrorBody) const
{
	int32 Code = -1;
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		Code = LastCode;
	}
	if (Code <= 0)
	{
		return "no answer from the server (refused, timed out or cancelled)";
	}
	FNimbrelChatErrorResponses Error;
	TalvaneJson::StringToNimbrelChatErrorResponses(ErrorBody, Error);
	const FString Detail = !Error.Message.IsEmpty() ? Error.Message : ErrorBody.Left(200);
	std::string Words = "the server answered " + std::to_string(Code);
	if (!Detail.IsEmpty())
	{
		Words += std::string(": ") + FTCHARToUTF8(*Detail).Get();
	}
	return Words;
}
