#include "HTTP/TalvaneReceivedBody.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/** A body of InCount bytes whose every byte tells its position, so a lost or doubled stretch shows. */
	TArray<uint8> MakePattern(const int32 InCount)
	{
		TArray<uint8> Bytes;
		for (int32 Index = 0; Index < InCount; ++Index)
		{
			Bytes.Add(static_cast<uint8>((Index * 7 + Index / 251) & 0xFF));
		}
		return Bytes;
	}

	/** Hands Bytes over in the chunk sizes given (cycling), taking each chunk over as a progress report would. */
	void Feed(TalvaneHttp::FTalvaneReceivedBody& InBody, const TArray<uint8>& Bytes, const TArray<int32>& ChunkSizes)
	{
		int32 Position = 0;
		for (int32 Chunk = 0; Position < Bytes.Num(); ++Chunk)
		{
			const int32 Count = FMath::Min(ChunkSizes[Chunk % ChunkSizes.Num()], Bytes.Num() - Position);
			InBody.Receive(Bytes.GetData() + Position, Count);
			InBody.TakeReceived();
			Position += Count;
		}
	}
}

BEGIN_DEFINE_SPEC(FTalvaneReceivedBodySpec, "Talvane.ReceivedBody", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
END_DEFINE_SPEC(FTalvaneReceivedBodySpec)

void FTalvaneReceivedBodySpec::Define()
{
	It(TEXT("KeepsEveryByteInOrderHoweverTheChunksFallAcrossItsBlocks"), [this]()
	{
		// Small chunks fill many blocks; a 300 kB chunk spans several at once; 1-byte chunks cut at every edge.
		const TArray<uint8> Pattern = MakePattern(1300 * 1000);
		const TArray<TArray<int32>> Plans = {{255}, {1, 4095, 70000}, {300 * 1000, 13}, {65536}};
		for (const TArray<int32>& Plan : Plans)
		{
			TalvaneHttp::FTalvaneReceivedBody Body;
			Feed(Body, Pattern, Plan);
			TArray<uint8> Copy;
			Body.CopyFrom(0, Copy);
			TestEqual(TEXT("count"), Body.Num(), Pattern.Num());
			TestTrue(FString::Printf(TEXT("bytes exact with first chunk %d"), Plan[0]), Copy == Pattern);
		}
	});

	It(TEXT("VisitsOnlyTheBytesFromAnOffsetInStretchesThatJoinToThem"), [this]()
	{
		const TArray<uint8> Pattern = MakePattern(200 * 1000);
		TalvaneHttp::FTalvaneReceivedBody Body;
		Feed(Body, Pattern, {1000});
		for (const int32 Offset : {0, 1, 4095, 4096, 4097, 65535, 131072, 199999, 200000, 250000})
		{
			TArray<uint8> Joined;
			int32 Stretches = 0;
			Body.VisitFrom(Offset, [&Joined, &Stretches](const uint8* InData, const int32 InCount)
			{
				Joined.Append(InData, InCount);
				Stretches += InCount > 0 ? 1 : 0;
			});
			const int32 Expected = FMath::Max(Pattern.Num() - Offset, 0);
			TestEqual(FString::Printf(TEXT("count from %d"), Offset), Joined.Num(), Expected);
			TestTrue(FString::Printf(TEXT("bytes from %d"), Offset),
				Joined == TArray<uint8>(Pattern.GetData() + FMath::Min(Offset, Pattern.Num()), Expected));
			TestTrue(TEXT("no empty stretch"), Stretches <= 8 && (Expected > 0 || Stretches == 0));
		}
	});

	It(TEXT("DecodesACharacterCutBetweenTwoBlocksWhole"), [this]()
	{
		// "é" (2 bytes) and "😀" (4 bytes) straddle the end of the first 4 KiB block.
		TArray<uint8> Bytes;
		for (int32 Index = 0; Index < 4095; ++Index)
		{
			Bytes.Add('a');
		}
		const uint8 Tail[] = {0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80, 'z'};
		Bytes.Append(Tail, UE_ARRAY_COUNT(Tail));
		TalvaneHttp::FTalvaneReceivedBody Body;
		Feed(Body, Bytes, {4095, 2, 5});
		const FString Text = Body.ToString();
		TestEqual(TEXT("length"), Text.Len(), 4095 + 1 + 2 + 1);
		TestTrue(TEXT("the characters at the seam"), Text.EndsWith(FString(TEXT("a\u00E9\U0001F600z"))));
	});

	It(TEXT("TakesNothingTwiceAndCountsNothingItHasNotTaken"), [this]()
	{
		TalvaneHttp::FTalvaneReceivedBody Body;
		const uint8 Data[] = {'d', 'a', 't', 'a'};
		TestEqual(TEXT("nothing yet"), Body.TakeReceived(), 0);
		Body.Receive(Data, 4);
		TestEqual(TEXT("received but not taken"), Body.Num(), 0);
		TestEqual(TEXT("taken"), Body.TakeReceived(), 4);
		TestEqual(TEXT("taken once"), Body.TakeReceived(), 0);
		TestEqual(TEXT("count"), Body.Num(), 4);
		TestTrue(TEXT("an empty chunk is accepted and adds nothing"), Body.Receive(Data, 0) && Body.TakeReceived() == 0);
	});
}

#endif
