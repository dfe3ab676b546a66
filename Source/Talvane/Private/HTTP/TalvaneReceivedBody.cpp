#include "HTTP/TalvaneReceivedBody.h"

#include "Misc/ScopeLock.h"

namespace TalvaneHttp
{
	bool FTalvaneReceivedBody::Receive(const void* InData, const int64 InLength)
	{
		if (InLength <= 0)
		{
			return true;
		}
		FScopeLock ScopeLock(&Lock);
		if (ReceivedCount + InLength > MAX_int32)
		{
			return false;
		}
		ReceivedCount += InLength;
		Pending.Append(static_cast<const uint8*>(InData), static_cast<int32>(InLength));
		return true;
	}

	int32 FTalvaneReceivedBody::TakeReceived()
	{
		FScopeLock ScopeLock(&Lock);
		const int32 Count = Pending.Num();
		if (Count == 0)
		{
			return 0;
		}
		if (Bytes.IsEmpty())
		{
			// The first chunk becomes the body as it is; later ones are appended, and the hand-over
			// buffer keeps its capacity for the next chunks.
			Swap(Bytes, Pending);
		}
		else
		{
			Bytes.Append(Pending);
			Pending.Reset();
		}
		return Count;
	}

	FString FTalvaneReceivedBody::ToString() const
	{
		const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Bytes.GetData()), Bytes.Num());
		return FString(Converted.Length(), Converted.Get());
	}
}
