// The streamed-body decoder: whatever the bytes and however they are sliced, the events are the
// same as when the body is fed whole, and every byte is counted. The whole-body text functions
// run on the same input.

#include "FuzzSupport.h"
#include "TalvaneJsonStream.h"
#include "TalvaneSSEDecoder.h"

namespace
{
	TArray<FString> DecodeInSlices(const uint8_t* Data, const int32 Size, uint32 Seed, const int32 MaxSlice)
	{
		FTalvaneSSEDecoder Decoder;
		TArray<FString> Events;
		int32 Position = 0;
		while (Position < Size)
		{
			Seed = Seed * 1664525u + 1013904223u;
			const int32 Wanted = 1 + static_cast<int32>((Seed >> 8) % static_cast<uint32>(MaxSlice));
			const int32 Count = Wanted < Size - Position ? Wanted : Size - Position;
			Decoder.Feed(Data + Position, Count, Events);
			Position += Count;
		}
		if (Decoder.GetBytesFed() != Size)
		{
			TalvaneFuzz::Fail("bytes fed miscounted");
		}
		Decoder.Finish(Events);
		return Events;
	}

	bool AreSame(const TArray<FString>& A, const TArray<FString>& B)
	{
		if (A.Num() != B.Num())
		{
			return false;
		}
		for (int32 Index = 0; Index < A.Num(); ++Index)
		{
			if (!A[Index].Equals(B[Index], ESearchCase::CaseSensitive))
			{
				return false;
			}
		}
		return true;
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size < 1 || Size > 1 << 20)
	{
		return 0;
	}
	// The first byte chooses the slicing; the rest is the body.
	const uint32 Seed = Data[0];
	const uint8_t* const Body = Data + 1;
	const int32 BodySize = static_cast<int32>(Size - 1);

	const TArray<FString> Whole = DecodeInSlices(Body, BodySize, Seed, BodySize > 0 ? BodySize : 1);
	if (!AreSame(Whole, DecodeInSlices(Body, BodySize, Seed, 1)) || !AreSame(Whole, DecodeInSlices(Body, BodySize, Seed, 1 + Seed % 17)))
	{
		TalvaneFuzz::Fail("slicing changed the events");
	}
	for (const FString& Event : Whole)
	{
		const FString Trimmed = Event.TrimStartAndEnd();
		if (Trimmed.IsEmpty() || Trimmed.Equals(TEXT("[DONE]"), ESearchCase::CaseSensitive))
		{
			TalvaneFuzz::Fail("a blank or end-marker event was handed out");
		}
	}

	const FString Text = TalvaneFuzz::TextOf(Body, static_cast<size_t>(BodySize));
	FString Answer;
	TalvaneJson::StreamStringToTextResponses(Text, Answer);
	TArray<FString> Statements;
	FString FullText;
	TalvaneJson::StreamStringToReasoningTextResponses(Text, Statements, &FullText);
	return 0;
}
