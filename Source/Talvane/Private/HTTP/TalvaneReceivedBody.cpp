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
		if (Count > 0)
		{
			// The hand-over buffer keeps its capacity for the next chunks.
			AppendToBlocks(Pending.GetData(), Count);
			Pending.Reset();
		}
		return Count;
	}

	void FTalvaneReceivedBody::AppendToBlocks(const uint8* InData, int32 InCount)
	{
		// Blocks grow with the body up to a fixed size: a short error body takes one small block, a
		// long stream many blocks of MaxBlockBytes.
		constexpr int32 MinBlockBytes = 4 * 1024;
		constexpr int32 MaxBlockBytes = 64 * 1024;
		while (InCount > 0)
		{
			if (Blocks.IsEmpty() || Blocks.Last().Num() == Blocks.Last().Max())
			{
				Blocks.AddDefaulted_GetRef().Reserve(FMath::Clamp(FMath::Max(TakenCount, InCount), MinBlockBytes, MaxBlockBytes));
			}
			TArray<uint8>& Block = Blocks.Last();
			const int32 Copied = FMath::Min(InCount, Block.Max() - Block.Num());
			Block.Append(InData, Copied);
			TakenCount += Copied;
			InData += Copied;
			InCount -= Copied;
		}
	}

	void FTalvaneReceivedBody::CopyFrom(const int32 InOffset, TArray<uint8>& OutBytes) const
	{
		VisitFrom(InOffset, [&OutBytes](const uint8* InData, const int32 InCount)
		{
			OutBytes.Append(InData, InCount);
		});
	}

	FString FTalvaneReceivedBody::ToString() const
	{
		TArray<uint8> Bytes;
		Bytes.Reserve(TakenCount);
		CopyFrom(0, Bytes);
		const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Bytes.GetData()), Bytes.Num());
		return FString(Converted.Length(), Converted.Get());
	}
}
