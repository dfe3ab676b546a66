#include "ChatFailureWords.h"

#include "TalvaneJsonErrors.h"

namespace
{
	std::string ToUTF8(const FString& Text)
	{
		return FTCHARToUTF8(*Text).Get();
	}

	bool IsEventStream(const FString& InBody)
	{
		return InBody.StartsWith(TEXT("data:")) || InBody.Contains(TEXT("\ndata:"));
	}
}

std::string DescribeChatFailure(const int32 InCode, const FString& InBody, const int32 InCharactersShown)
{
	if (InCode <= 0)
	{
		return "no answer from the server (refused, timed out or cancelled)";
	}
	const FString Message = TalvaneJson::ReadErrorMessage(InBody);
	if (IsEventStream(InBody))
	{
		if (!Message.IsEmpty())
		{
			return "the answer broke off with an error: " + ToUTF8(Message);
		}
		const std::string Count = std::to_string(InCharactersShown);
		return "the connection closed after " + Count + (InCharactersShown == 1 ? " character" : " characters") + " of the answer";
	}
	const FString Detail = !Message.IsEmpty() ? Message : InBody.Left(200);
	std::string Words = "the server answered " + std::to_string(InCode);
	if (!Detail.IsEmpty())
	{
		Words += ": " + ToUTF8(Detail);
	}
	return Words;
}
