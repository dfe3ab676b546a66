#include "TalvaneSSEDecoder.h"

void FTalvaneSSEDecoder::Feed(const uint8* InBytes, const int32 InCount, TArray<FString>& OutEvents)
{
	Ranges.Reset();
	Bytes.Feed(InBytes, InCount, Ranges);
	AppendEvents(Ranges, OutEvents);
}

void FTalvaneSSEDecoder::Finish(TArray<FString>& OutEvents)
{
	Ranges.Reset();
	Bytes.Finish(Ranges);
	AppendEvents(Ranges, OutEvents);
}

void FTalvaneSSEDecoder::Reset()
{
	Bytes.Reset();
	Ranges.Reset();
}

void FTalvaneSSEDecoder::DecodeAll(const FString& InBody, TArray<FString>& OutEvents)
{
	const FTCHARToUTF8 Converted(*InBody, InBody.Len());
	FTalvaneSSEDecoder Decoder;
	Decoder.Feed(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length(), OutEvents);
	Decoder.Finish(OutEvents);
}

void FTalvaneSSEDecoder::AppendEvents(const TArray<FTalvaneSSEEventRange>& InRanges, TArray<FString>& OutEvents) const
{
	for (const FTalvaneSSEEventRange& Range : InRanges)
	{
		const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Bytes.GetEventBytes() + Range.Offset), Range.Length);
		OutEvents.Emplace(Converted.Length(), Converted.Get());
	}
}
