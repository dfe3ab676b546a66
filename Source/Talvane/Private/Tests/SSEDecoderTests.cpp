#include "Misc/AutomationTest.h"
#include "TalvaneSSEDecoder.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneSSEDecoderSpec, "Talvane.SSEDecoder", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FTalvaneSSEDecoder Decoder;
	TArray<FString> Events;

	static TArray<uint8> Utf8Of(const FString& Text)
	{
		const FTCHARToUTF8 Converted(*Text, Text.Len());
		return TArray<uint8>(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length());
	}

	/** Feeds the bytes in slices of the given sizes (cycled), then finishes. */
	TArray<FString> DecodeSliced(const TArray<uint8>& Bytes, const TArray<int32>& SliceSizes)
	{
		FTalvaneSSEDecoder Sliced;
		TArray<FString> Out;
		int32 Position = 0;
		for (int32 Slice = 0; Position < Bytes.Num(); ++Slice)
		{
			const int32 Remaining = Bytes.Num() - Position;
			const int32 Count = SliceSizes[Slice % SliceSizes.Num()] < Remaining ? SliceSizes[Slice % SliceSizes.Num()] : Remaining;
			Sliced.Feed(Bytes.GetData() + Position, Count, Out);
			Position += Count;
		}
		Sliced.Finish(Out);
		return Out;
	}

	void FeedText(const FString& Text)
	{
		const TArray<uint8> Bytes = Utf8Of(Text);
		Decoder.Feed(Bytes.GetData(), Bytes.Num(), Events);
	}

	/** Compares event by event, case-sensitively. */
	void TestSameEvents(const FString& What, const TArray<FString>& Actual, const TArray<FString>& Expected)
	{
		TestEqual(*FString::Printf(TEXT("%s: number of events"), *What), Actual.Num(), Expected.Num());
		for (int32 Index = 0; Index < Actual.Num() && Index < Expected.Num(); ++Index)
		{
			TestTrue(*FString::Printf(TEXT("%s: event %d"), *What, Index), Actual[Index].Equals(Expected[Index], ESearchCase::CaseSensitive));
		}
	}

	void TestEvents(const FString& What, const TArray<FString>& Expected)
	{
		TestSameEvents(What, Events, Expected);
	}
END_DEFINE_SPEC(FTalvaneSSEDecoderSpec)

void FTalvaneSSEDecoderSpec::Define()
{
	BeforeEach([this]()
	{
		Decoder.Reset();
		Events.Reset();
	});

	Describe(TEXT("Slicing"), [this]()
	{
		It(TEXT("GivesTheSameEventsWholeByteByByteAndInRandomSlices"), [this]()
		{
			const FString Body = TEXT("\xFEFF: keep-alive\r\n")
				TEXT("data: {\"c\":\"你好, data: 世界 😀\"}\r\n\r\n")
				TEXT("event: message\rid: 7\rdata: {\"c\":\r\rdata: {\"d\":\ndata: 1}\n\n")
				TEXT("data: [DONE]\n\n");
			const TArray<uint8> Bytes = Utf8Of(Body);
			const TArray<FString> Expected = {TEXT("{\"c\":\"你好, data: 世界 😀\"}"), TEXT("{\"c\":"), TEXT("{\"d\":\n1}")};
			Events = DecodeSliced(Bytes, {Bytes.Num()});
			TestEvents(TEXT("whole"), Expected);
			TestSameEvents(TEXT("byte by byte"), DecodeSliced(Bytes, {1}), Expected);
			uint32 Seed = 12345;
			for (int32 Round = 0; Round < 50; ++Round)
			{
				TArray<int32> Sizes;
				for (int32 Index = 0; Index < 16; ++Index)
				{
					Seed = Seed * 1664525u + 1013904223u;
					Sizes.Add(1 + static_cast<int32>((Seed >> 16) % 9));
				}
				TestSameEvents(FString::Printf(TEXT("random slices, round %d"), Round), DecodeSliced(Bytes, Sizes), Expected);
			}
		});

		It(TEXT("JoinsACarriageReturnAndLineFeedSplitBetweenSlices"), [this]()
		{
			// Were the LF taken for a blank line of its own, the gathered "{" would end early.
			FeedText(TEXT("data: {\r"));
			FeedText(TEXT("\ndata: }\r"));
			FeedText(TEXT("\n\r\n"));
			TestEvents(TEXT("one event"), {TEXT("{\n}")});
		});

		It(TEXT("KeepsAMultiByteCharacterSplitBetweenSlicesWhole"), [this]()
		{
			const TArray<uint8> Bytes = Utf8Of(TEXT("data: {\"c\":\"é中😀\"}\n"));
			for (int32 Index = 0; Index < Bytes.Num(); ++Index)
			{
				Decoder.Feed(&Bytes[Index], 1, Events);
			}
			TestEvents(TEXT("byte by byte"), {TEXT("{\"c\":\"é中😀\"}")});
		});
	});

	Describe(TEXT("Lines"), [this]()
	{
		It(TEXT("EndAtLineFeedCarriageReturnOrBoth"), [this]()
		{
			const TArray<FString> LineEnds = {TEXT("\n"), TEXT("\r\n"), TEXT("\r")};
			for (const FString& LineEnd : LineEnds)
			{
				Events.Reset();
				FeedText(TEXT("data: {") + LineEnd + LineEnd + TEXT("data: [1]") + LineEnd);
				TestEvents(FString::Printf(TEXT("line end of %d characters"), LineEnd.Len()), {TEXT("{"), TEXT("[1]")});
			}
		});

		It(TEXT("SkipOneByteOrderMarkAtTheStartOnly"), [this]()
		{
			const uint8 Mark[] = {0xEF, 0xBB, 0xBF};
			Decoder.Feed(Mark, 2, Events);
			Decoder.Feed(Mark + 2, 1, Events);
			FeedText(TEXT("data: [\"\xFEFF\"]\n"));
			TestEvents(TEXT("a mark split in two slices"), {TEXT("[\"\xFEFF\"]")});
			TestEqual(TEXT("bytes fed"), Decoder.GetBytesFed(), static_cast<int64>(3 + 14));
		});

		It(TEXT("TreatCommentsAndOtherFieldsAsCarryingNoText"), [this]()
		{
			FeedText(TEXT(":data: [1]\nevent: data\nid: data: [2]\nretry: 10\nDATA: [3]\ndata:[4]\ndata:  [5]\n"));
			TestEvents(TEXT("only data lines"), {TEXT("[4]"), TEXT(" [5]")});
		});
	});

	Describe(TEXT("Events"), [this]()
	{
		It(TEXT("HandOutACompleteDocumentAtOnceWithoutWaitingForTheBlankLine"), [this]()
		{
			FeedText(TEXT("data: {\"a\":\"}\\\"{\"}\n"));
			TestEvents(TEXT("before any blank line"), {TEXT("{\"a\":\"}\\\"{\"}")});
		});

		It(TEXT("GatherDataLinesUntilABlankLine"), [this]()
		{
			FeedText(TEXT("data: {\"a\":\ndata:\ndata: 1}\n"));
			TestEvents(TEXT("still gathering"), {});
			FeedText(TEXT("\n"));
			TestEvents(TEXT("after the blank line"), {TEXT("{\"a\":\n\n1}")});
		});

		It(TEXT("DropTheEndMarkerAndBlankData"), [this]()
		{
			FeedText(TEXT("data: [DONE]\ndata:  [DONE] \n\ndata:\n\ndata: \n\n"));
			Decoder.Finish(Events);
			TestEvents(TEXT("nothing"), {});
		});

		It(TEXT("WaitForTheLineEndWhileTheBodyIsArriving"), [this]()
		{
			FeedText(TEXT("data: {\"a\":1}"));
			TestEvents(TEXT("unfinished line"), {});
			Decoder.Finish(Events);
			TestEvents(TEXT("finished"), {TEXT("{\"a\":1}")});
		});

		It(TEXT("TurnACutOffLastEventIntoAnEventAtTheEnd"), [this]()
		{
			FeedText(TEXT("data: [1]\n\ndata: {\"a\":\"hal"));
			Decoder.Finish(Events);
			TestEvents(TEXT("cut off"), {TEXT("[1]"), TEXT("{\"a\":\"hal")});
		});

		It(TEXT("TellAStreamFromADocumentAndWhetherItReachedItsEndMarker"), [this]()
		{
			FeedText(TEXT(": keep-alive\n\n"));
			TestFalse(TEXT("a comment is no data"), Decoder.HasSeenDataLine());
			FeedText(TEXT("data: [1]\n\ndata: [DO"));
			TestTrue(TEXT("a data line makes a stream"), Decoder.HasSeenDataLine());
			TestFalse(TEXT("half a marker is none"), Decoder.HasSeenEndMarker());
			FeedText(TEXT("NE]"));
			Decoder.Finish(Events);
			TestTrue(TEXT("a marker on the unfinished last line counts"), Decoder.HasSeenEndMarker());
			TestTrue(TEXT("still known after the end"), Decoder.HasSeenDataLine());
			FeedText(TEXT("{\"error\":{}}"));
			TestFalse(TEXT("the next stream starts afresh"), Decoder.HasSeenDataLine() || Decoder.HasSeenEndMarker());
		});

		It(TEXT("TakeABodyWithoutDataLinesAsOneDocument"), [this]()
		{
			FeedText(TEXT("{\n  \"id\": \"x\"\n}\n"));
			TestEvents(TEXT("while arriving"), {});
			Decoder.Finish(Events);
			TestEvents(TEXT("at the end"), {TEXT("{\n  \"id\": \"x\"\n}\n")});
		});

		It(TEXT("StartANewEventAtAJsonLineOrTheEndMarkerAfterALineThatIsNotJson"), [this]()
		{
			// Without blank lines, with them, without the blank after the colon, with CRLF: "ping" stays alone.
			FeedText(TEXT("data: {\"a\":1}\ndata: ping\ndata: {\"b\":2}\ndata: [3]\ndata:[DONE]\n"));
			TestEvents(TEXT("no blank lines"), {TEXT("{\"a\":1}"), TEXT("ping"), TEXT("{\"b\":2}"), TEXT("[3]")});
			TestTrue(TEXT("the end marker is seen"), Decoder.HasSeenEndMarker());
			Decoder.Reset();
			Events.Reset();
			FeedText(TEXT("data: keepalive\r\ndata:{\"b\":2}\r\n\r\ndata: keep\ndata: alive\ndata: [DONE]\n"));
			TestEvents(TEXT("a keep-alive word, then a JSON line and a blank line"), {TEXT("keepalive"), TEXT("{\"b\":2}"), TEXT("keep\nalive")});
			TestTrue(TEXT("the end marker after two words is seen"), Decoder.HasSeenEndMarker());
		});

		It(TEXT("StartANewEventAtALineAfterAClosedDocumentOrAtAJsonLineAfterAStrayOne"), [this]()
		{
			// A document that spans lines after a stray word, and a document that follows one already closed.
			FeedText(TEXT("data: ping\ndata: {\"a\":\ndata: 1}\ndata: {\"b\":\ndata: 2}\ndata: x\n\n"));
			TestEvents(TEXT("four events"), {TEXT("ping"), TEXT("{\"a\":\n1}"), TEXT("{\"b\":\n2}"), TEXT("x")});
		});

		It(TEXT("KeepEveryLineOfADocumentStillOpenInItsEvent"), [this]()
		{
			// Pretty-printed JSON: lines that are whole documents by themselves belong to the open one.
			FeedText(TEXT("data: {\"c\": [\ndata:   {}\ndata:   ,[\"]\"]\ndata: ]}\n"));
			TestEvents(TEXT("still open"), {});
			FeedText(TEXT("\n"));
			TestEvents(TEXT("one event"), {TEXT("{\"c\": [\n  {}\n  ,[\"]\"]\n]}")});
			Events.Reset();
			FeedText(TEXT("data:\ndata: {\"a\":1}\n\n"));
			TestEvents(TEXT("an empty first line joins the document"), {TEXT("\n{\"a\":1}")});
			Events.Reset();
			FeedText(TEXT("data: {\"a\":\"x\\\ndata: {}\ndata: [DONE]\n"));
			TestEvents(TEXT("the end marker ends even an open document"), {TEXT("{\"a\":\"x\\\n{}")});
		});

		It(TEXT("GiveTheSameEventsForStrayLinesHoweverTheBytesAreSliced"), [this]()
		{
			const TArray<uint8> Bytes = Utf8Of(TEXT("data: {\"c\":\"é\"}\r\ndata: ping\r\ndata: {\"c\":\r\ndata: \"😀\"}\r\n")
				TEXT("data:keepalive\rdata:{\"d\":[1]}\r\rdata: [DONE]\r\n"));
			const TArray<FString> Expected = {TEXT("{\"c\":\"é\"}"), TEXT("ping"), TEXT("{\"c\":\n\"😀\"}"), TEXT("keepalive"), TEXT("{\"d\":[1]}")};
			for (int32 Size = 1; Size <= Bytes.Num(); ++Size)
			{
				TestSameEvents(FString::Printf(TEXT("slices of %d bytes"), Size), DecodeSliced(Bytes, {Size}), Expected);
			}
		});

		It(TEXT("StartANewStreamAfterFinish"), [this]()
		{
			FeedText(TEXT("data: {\"a\":"));
			Decoder.Finish(Events);
			FeedText(TEXT("data: [2]\n"));
			TestEvents(TEXT("two streams"), {TEXT("{\"a\":"), TEXT("[2]")});
		});
	});
}

#endif
