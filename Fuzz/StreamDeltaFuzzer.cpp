// The fast path of a streamed answer against the tree path, on any bytes: the whole input read as
// one event by FStreamDeltaReader and by IsErrorDocument plus the record parsers must give the
// same error verdict and the same text, to the character, in every protocol. Then the input read
// as a body: the byte decoder must hand out the text decoder's events (as UTF-8) and flags, sliced
// as the first byte says, and every event must again read the same both ways.

#include "FuzzSupport.h"
#include "Json/TalvaneStreamDelta.h"
#include "Manage/TalvaneRequestState.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneSSEByteDecoder.h"
#include "TalvaneSSEDecoder.h"

namespace
{
	const ENimbrelProtocol Protocols[] = {ENimbrelProtocol::NIMBREL_CHAT, ENimbrelProtocol::NIMBREL_FIM, ENimbrelProtocol::NIMBREL_LOCAL_CHAT};

	void AddChoice(const FString& InContent, const FString& InReasoning, const FString& InText, const FString& InFinish, TArray<FString>& Out)
	{
		Out.Add(InContent);
		Out.Add(InReasoning);
		Out.Add(InText);
		Out.Add(InFinish);
	}

	/** What FTalvaneRequestState::DecodeEvent reads today; an error is one entry "!". */
	TArray<FString> ReadWithTree(const FString& InEvent, const ENimbrelProtocol InProtocol)
	{
		TArray<FString> Out;
		if (TalvaneManageBody::IsErrorDocument(InEvent, InProtocol == ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
		{
			Out.Add(TEXT("!"));
			return Out;
		}
		if (InProtocol == ENimbrelProtocol::NIMBREL_FIM)
		{
			FNimbrelFIMResponses Chunk;
			TalvaneJson::StringToNimbrelFIMResponses(InEvent, Chunk);
			for (const FNimbrelFIMResponseChoice& Choice : Chunk.Choices)
			{
				AddChoice(FString(), FString(), Choice.Text, Choice.FinishReason, Out);
			}
			return Out;
		}
		FNimbrelChatResponses Chunk;
		TalvaneJson::StringToNimbrelChatResponses(InEvent, Chunk);
		for (const FNimbrelChatResponseChoice& Choice : Chunk.Choices)
		{
			AddChoice(Choice.Message.Content, Choice.Message.ReasoningContent, FString(), Choice.FinishReason, Out);
		}
		return Out;
	}

	TArray<FString> ReadFast(TalvaneJson::FStreamDeltaReader& InReader, const uint8* InData, const int32 InLength, const ENimbrelProtocol InProtocol)
	{
		TArray<FString> Out;
		if (InReader.Read(InData, InLength, InProtocol) == TalvaneJson::EStreamDeltaKind::Error)
		{
			Out.Add(TEXT("!"));
			return Out;
		}
		for (int32 Index = 0; Index < InReader.GetNumChoices(); ++Index)
		{
			const TalvaneJson::FStreamDeltaChoice& Choice = InReader.GetChoice(Index);
			AddChoice(Choice.Content, Choice.ReasoningContent, Choice.Text, Choice.FinishReason, Out);
		}
		return Out;
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

	/** One reader for the whole run, as one request keeps one: what an event leaves behind must not leak into the next. */
	TalvaneJson::FStreamDeltaReader& SharedReader()
	{
		static TalvaneJson::FStreamDeltaReader Reader;
		return Reader;
	}

	void CheckEvent(const uint8* InData, const int32 InLength, const FString& InText)
	{
		for (const ENimbrelProtocol Protocol : Protocols)
		{
			if (!AreSame(ReadFast(SharedReader(), InData, InLength, Protocol), ReadWithTree(InText, Protocol)))
			{
				TalvaneFuzz::Fail("the fast path and the tree path read an event differently");
			}
		}
	}

	void AppendTexts(const FTalvaneSSEByteDecoder& InDecoder, const TArray<FTalvaneSSEEventRange>& InRanges, TArray<FString>& OutTexts)
	{
		for (const FTalvaneSSEEventRange& Range : InRanges)
		{
			const uint8* const Bytes = InDecoder.GetEventBytes() + Range.Offset;
			const FUTF8ToTCHAR Text(reinterpret_cast<const ANSICHAR*>(Bytes), Range.Length);
			OutTexts.Emplace(Text.Length(), Text.Get());
			CheckEvent(Bytes, Range.Length, OutTexts.Last());
		}
	}

	void CheckBody(const uint8_t* InBody, const int32 InSize, uint32 Seed)
	{
		FTalvaneSSEDecoder TextDecoder;
		FTalvaneSSEByteDecoder ByteDecoder;
		TArray<FString> Expected;
		TArray<FString> Actual;
		TArray<FTalvaneSSEEventRange> Ranges;
		for (int32 Position = 0; Position < InSize;)
		{
			Seed = Seed * 1664525u + 1013904223u;
			const int32 Wanted = 1 + static_cast<int32>((Seed >> 8) % 23u);
			const int32 Count = Wanted < InSize - Position ? Wanted : InSize - Position;
			TextDecoder.Feed(InBody + Position, Count, Expected);
			Ranges.Reset();
			ByteDecoder.Feed(InBody + Position, Count, Ranges);
			AppendTexts(ByteDecoder, Ranges, Actual);
			Position += Count;
		}
		TextDecoder.Finish(Expected);
		Ranges.Reset();
		ByteDecoder.Finish(Ranges);
		AppendTexts(ByteDecoder, Ranges, Actual);
		if (!AreSame(Actual, Expected) || TextDecoder.HasSeenEndMarker() != ByteDecoder.HasSeenEndMarker()
			|| TextDecoder.HasSeenDataLine() != ByteDecoder.HasSeenDataLine() || TextDecoder.GetBytesFed() != ByteDecoder.GetBytesFed())
		{
			TalvaneFuzz::Fail("the byte decoder and the text decoder disagree");
		}
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size > 1 << 16)
	{
		return 0;
	}
	const int32 Length = static_cast<int32>(Size);
	CheckEvent(Data, Length, TalvaneFuzz::TextOf(Data, Size));
	if (Size > 0)
	{
		CheckBody(Data + 1, Length - 1, Data[0]);
	}
	return 0;
}
