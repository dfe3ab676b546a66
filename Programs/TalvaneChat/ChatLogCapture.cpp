#include "ChatLogCapture.h"

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

int32 FChatLogCapture::GetLastCode() const
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	return LastCode;
}
