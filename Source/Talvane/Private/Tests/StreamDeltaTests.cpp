#include "Json/TalvaneStreamDelta.h"
#include "Manage/TalvaneRequestState.h"
#include "Misc/AutomationTest.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneSSEByteDecoder.h"
#include "TalvaneSSEDecoder.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneStreamDeltaSpec, "Talvane.StreamDelta", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TalvaneJson::FStreamDeltaReader Reader;

	/** What the tree path (FTalvaneRequestState::DecodeEvent) reads of one event, as text for comparing. */
	static FString ReadWithTree(const FString& InEvent, const ENimbrelProtocol InProtocol)
	{
		if (TalvaneManageBody::IsErrorDocument(InEvent, InProtocol == ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
		{
			return TEXT("error");
		}
		FString Out;
		if (InProtocol == ENimbrelProtocol::NIMBREL_FIM)
		{
			FNimbrelFIMResponses Chunk;
			TalvaneJson::StringToNimbrelFIMResponses(InEvent, Chunk);
			for (const FNimbrelFIMResponseChoice& Choice : Chunk.Choices)
			{
				Out += DescribeChoice(TEXT(""), TEXT(""), Choice.Text, Choice.FinishReason);
			}
			return Out;
		}
		FNimbrelChatResponses Chunk;
		TalvaneJson::StringToNimbrelChatResponses(InEvent, Chunk);
		for (const FNimbrelChatResponseChoice& Choice : Chunk.Choices)
		{
			Out += DescribeChoice(Choice.Message.Content, Choice.Message.ReasoningContent, TEXT(""), Choice.FinishReason);
		}
		return Out;
	}

	FString ReadFast(const FString& InEvent, const ENimbrelProtocol InProtocol)
	{
		if (Reader.Read(InEvent, InProtocol) == TalvaneJson::EStreamDeltaKind::Error)
		{
			return TEXT("error");
		}
		FString Out;
		for (int32 Index = 0; Index < Reader.GetNumChoices(); ++Index)
		{
			const TalvaneJson::FStreamDeltaChoice& Choice = Reader.GetChoice(Index);
			Out += DescribeChoice(Choice.Content, Choice.ReasoningContent, Choice.Text, Choice.FinishReason);
		}
		return Out;
	}

	static FString DescribeChoice(const FString& InContent, const FString& InReasoning, const FString& InText, const FString& InFinish)
	{
		return TEXT("[") + InContent + TEXT("|") + InReasoning + TEXT("|") + InText + TEXT("|") + InFinish + TEXT("]");
	}

	/** Both paths, in every protocol, to the character (TestEqual of FStrings ignores case). */
	void TestSameAsTree(const FString& InEvent)
	{
		const ENimbrelProtocol Protocols[] = {ENimbrelProtocol::NIMBREL_CHAT, ENimbrelProtocol::NIMBREL_FIM, ENimbrelProtocol::NIMBREL_LOCAL_CHAT};
		for (const ENimbrelProtocol Protocol : Protocols)
		{
			const FString Tree = ReadWithTree(InEvent, Protocol);
			const FString Fast = ReadFast(InEvent, Protocol);
			TestTrue(FString::Printf(TEXT("protocol %d, %s: fast %s, tree %s"), static_cast<int32>(Protocol), *InEvent, *Fast, *Tree),
				Fast.Equals(Tree, ESearchCase::CaseSensitive));
		}
	}

	static void AppendTexts(const FTalvaneSSEByteDecoder& InDecoder, const TArray<FTalvaneSSEEventRange>& InRanges, TArray<FString>& OutTexts)
	{
		for (const FTalvaneSSEEventRange& Range : InRanges)
		{
			const FUTF8ToTCHAR Text(reinterpret_cast<const ANSICHAR*>(InDecoder.GetEventBytes() + Range.Offset), Range.Length);
			OutTexts.Emplace(Text.Length(), Text.Get());
		}
	}

	static TArray<uint8> Utf8Of(const FString& InText)
	{
		const FTCHARToUTF8 Converted(*InText, InText.Len());
		return TArray<uint8>(reinterpret_cast<const uint8*>(Converted.Get()), Converted.Length());
	}
END_DEFINE_SPEC(FTalvaneStreamDeltaSpec)

void FTalvaneStreamDeltaSpec::Define()
{
	BeforeEach([this]()
	{
		Reader = TalvaneJson::FStreamDeltaReader();
	});

	Describe(TEXT("Reader"), [this]()
	{
		It(TEXT("ReadsContentReasoningAndFinishReasonOfEachChoice"), [this]()
		{
			const FString Event = TEXT("{\"id\":\"x\",\"choices\":[{\"index\":0,\"delta\":{\"role\":\"assistant\",\"content\":\"Hi \\\"you\\\"\\n\","
				"\"reasoning_content\":\"\\u4f60\"},\"finish_reason\":null},7,{\"delta\":{\"content\":\"é😀\"},\"finish_reason\":\"stop\"}]}");
			TestTrue(TEXT("an answer"), Reader.Read(Event, ENimbrelProtocol::NIMBREL_CHAT) == TalvaneJson::EStreamDeltaKind::Answer);
			TestEqual(TEXT("choices: the number 7 is no choice"), Reader.GetNumChoices(), 2);
			TestTrue(TEXT("escapes decoded"), Reader.GetChoice(0).Content.Equals(TEXT("Hi \"you\"\n"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("\\u escape"), Reader.GetChoice(0).ReasoningContent.Equals(TEXT("你"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("UTF-8 decoded"), Reader.GetChoice(1).Content.Equals(TEXT("é😀"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("finish reason"), Reader.GetChoice(1).FinishReason.Equals(TEXT("stop"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("no finish reason yet"), Reader.GetChoice(0).FinishReason.IsEmpty());
		});

		It(TEXT("ForgetsTheChoicesOfTheEventBefore"), [this]()
		{
			Reader.Read(TEXT("{\"choices\":[{\"delta\":{\"content\":\"a\"}},{\"delta\":{\"content\":\"b\"}}]}"), ENimbrelProtocol::NIMBREL_CHAT);
			TestTrue(TEXT("an answer"), Reader.Read(TEXT("{\"choices\":[{\"delta\":{}}]}"), ENimbrelProtocol::NIMBREL_CHAT)
				== TalvaneJson::EStreamDeltaKind::Answer);
			TestEqual(TEXT("choices"), Reader.GetNumChoices(), 1);
			TestTrue(TEXT("no content left over"), Reader.GetChoice(0).Content.IsEmpty());
			TestTrue(TEXT("not JSON"), Reader.Read(TEXT("{\"choices\":[{\"delta\":{}}]"), ENimbrelProtocol::NIMBREL_CHAT)
				== TalvaneJson::EStreamDeltaKind::NotAnObject);
			TestEqual(TEXT("no choices of a broken event"), Reader.GetNumChoices(), 0);
		});
	});

	Describe(TEXT("SameAsTree"), [this]()
	{
		It(TEXT("ForFieldsOfEveryKindRepeatedKeysAndKeyCase"), [this]()
		{
			const TArray<FString> Events = {
				TEXT("{\"choices\":[{\"delta\":{\"content\":5e-1,\"reasoning_content\":true},\"finish_reason\":0}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":-0,\"reasoning_content\":null},\"finish_reason\":false}]}"),
				TEXT("{\"choices\":[{\"message\":{\"content\":\"m\",\"reasoning_content\":\"r\"},\"delta\":{\"content\":null}}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":\"d\"},\"message\":{\"content\":\"m\"}}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":\"a\",\"CONTENT\":\"b\"},\"Delta\":{\"Content\":\"c\"}}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":\"a\"}}],\"Choices\":{}}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":\"a\"}}],\"choices\":[{\"delta\":{\"content\":\"b\"}}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"\\u0063ontent\":\"esc\",\"con\\u0000tent\":\"nul\"}}]}"),
				TEXT("{\"choices\":[{\"delta\":[],\"text\":\"fim\",\"finish_reason\":\"\"},{\"text\":12345678912345678}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":\"\\ud83d\\ude00 \\u0000x \\/ \\b\\f\\r\\t\"}}]}"),
				TEXT("{\"choices\":[{\"delta\":{\"content\":{\"content\":\"deep\"}}}],\"x\":[[[{\"choices\":1}]]]}"),
				TEXT(" \t\r\n{\"choices\":[{\"delta\":{\"content\":\"ws\"}}]} \n"),
				TEXT("[{\"choices\":[{\"delta\":{\"content\":\"array root\"}}]}]"),
			};
			for (const FString& Event : Events)
			{
				TestSameAsTree(Event);
			}
		});

		It(TEXT("ForErrorDocumentsAndLocalRefusals"), [this]()
		{
			const TArray<FString> Events = {
				TEXT("{\"error\":{\"message\":\"m\"}}"),
				TEXT("{\"error\":null,\"choices\":[{\"delta\":{\"content\":\"a\"}}]}"),
				TEXT("{\"error\":false}"),
				TEXT("{\"ERROR\":1}"),
				TEXT("{\"ERROR\":1,\"note\":\"error\"}"),
				TEXT("{\"ERROR\":1,\"note\":\"\\\"error\\\"\"}"),
				TEXT("{\"ERROR\":1,\"\\\"error\\\"\":0}"),
				TEXT("{\"error\":1,\"error\":null}"),
				TEXT("{\"choices\":[{\"error\":1}],\"x\":\"\\\"error\\\"\"}"),
				TEXT("{\"code\":500,\"message\":\"busy\"}"),
				TEXT("{\"code\":\"500\",\"message\":3}"),
				TEXT("{\"code\":\"5x\",\"message\":\"m\"}"),
				TEXT("{\"code\":true,\"message\":false}"),
				TEXT("{\"code\":0,\"message\":\"m\"}"),
				TEXT("{\"code\":1,\"message\":null}"),
				TEXT("{\"code\":1,\"message\":\"m\",\"choices\":null}"),
				TEXT("{\"Code\":1,\"message\":\"m\",\"x\":\"code\"}"),
				TEXT("{\"Code\":1,\"message\":\"m\",\"\\\"code\\\"\":1, \"ERROR\":2}"),
				TEXT("{\"error\":1"),
			};
			for (const FString& Event : Events)
			{
				TestSameAsTree(Event);
			}
		});

		It(TEXT("ForTextTheEngineReaderRejects"), [this]()
		{
			const TArray<FString> Events = {
				TEXT(""), TEXT("   "), TEXT("\"s\""), TEXT("1"), TEXT("{\"choices\":[{\"delta\":{\"content\":\"a\"}}]} x"),
				TEXT("{\"a\":01}"), TEXT("{\"a\":1.}"), TEXT("{\"a\":.5}"), TEXT("{\"a\":+1}"), TEXT("{\"a\":-}"), TEXT("[1"),
				TEXT("{\"a\":TRUE,\"b\":Null,\"c\":fAlse,\"choices\":[{\"text\":\"t\"}]}"), TEXT("{\"a\":tru}"), TEXT("{\"a\":truex}"),
				TEXT("{\"a\":\"\\x\"}"), TEXT("{\"a\":\"\\u12\"}"), TEXT("{\"a\":\"\\u12G4\"}"), TEXT("{\"a\" 1}"), TEXT("{\"a\":1,}"),
				TEXT("{,\"a\":1}"), TEXT("[1,]"), TEXT("[,1]"), TEXT("{a:1}"), TEXT("\xFEFF{}"), TEXT("{} // c"), TEXT("{\"a\":[1 2]}"),
				TEXT("{\"choices\":[{\"text\":\"raw\ttab\"}]}"),
			};
			for (const FString& Event : Events)
			{
				TestSameAsTree(Event);
			}
		});

		It(TEXT("ForNestingAtAndBeyondTheReadersLimit"), [this]()
		{
			for (const int32 Depth : {511, 512, 513})
			{
				FString Event = TEXT("{\"choices\":[{\"text\":\"t\"}],\"x\":");
				// The root object is the first level; the arrays make up the rest.
				for (int32 Level = 1; Level < Depth; ++Level)
				{
					Event += TEXT("[");
				}
				Event += TEXT("0");
				for (int32 Level = 1; Level < Depth; ++Level)
				{
					Event += TEXT("]");
				}
				Event += TEXT("}");
				TestSameAsTree(Event);
			}
		});

		It(TEXT("ForBytesThatAreNotUtf8"), [this]()
		{
			// The text decoder makes '?' of each bad byte; the reader must give the same text.
			const uint8 Bytes[] = {'{', '"', 'c', 'h', 'o', 'i', 'c', 'e', 's', '"', ':', '[', '{', '"', 't', 'e', 'x', 't', '"', ':', '"',
				0xE4, 0xBD, '"', ',', '"', 'd', 'e', 'l', 't', 'a', '"', ':', '{', '"', 'c', 'o', 'n', 't', 'e', 'n', 't', '"', ':', '"',
				0xFF, 0xC3, 0xA9, 0xED, 0xA0, 0x80, 0xF0, 0x9F, 0x98, 0x80, 0x00, 'x', 0xC0, 0xAF, '"', '}', '}', ']', '}'};
			const FUTF8ToTCHAR Text(reinterpret_cast<const ANSICHAR*>(Bytes), static_cast<int32>(UE_ARRAY_COUNT(Bytes)));
			const FString Event(Text.Length(), Text.Get());
			for (const ENimbrelProtocol Protocol : {ENimbrelProtocol::NIMBREL_CHAT, ENimbrelProtocol::NIMBREL_FIM})
			{
				Reader.Read(Bytes, static_cast<int32>(UE_ARRAY_COUNT(Bytes)), Protocol);
				FString Fast;
				for (int32 Index = 0; Index < Reader.GetNumChoices(); ++Index)
				{
					const TalvaneJson::FStreamDeltaChoice& Choice = Reader.GetChoice(Index);
					Fast += DescribeChoice(Choice.Content, Choice.ReasoningContent, Choice.Text, Choice.FinishReason);
				}
				const FString Tree = ReadWithTree(Event, Protocol);
				TestTrue(TEXT("same text: ") + Fast + TEXT(" / ") + Tree, Fast.Equals(Tree, ESearchCase::CaseSensitive));
				TestTrue(TEXT("has choices"), Reader.GetNumChoices() == 1);
			}
		});
	});

	Describe(TEXT("ByteDecoder"), [this]()
	{
		It(TEXT("GivesTheTextDecodersEventsAndFlagsInAnySlicing"), [this]()
		{
			const TArray<FString> Bodies = {
				TEXT("\xFEFF: keep-alive\r\ndata: {\"c\":\"你好 😀\"}\r\n\r\nevent: x\rdata: {\"c\":\r\rdata: {\"d\":\ndata: 1}\n\ndata: [DONE]\n\n"),
				// Ideographic spaces: white space to the engine's FChar (so this is the end marker there), not to the stand-in's.
				TEXT("data: \x3000[DONE]\x3000\n\n"),
				TEXT("data: [DONE]\v\n\ndata: \f\n\n"),
				TEXT("{\"error\":{\"message\":\"whole\"}}"),
				TEXT("data:{\"a\":1}\ndata:{\"b\":2}\n\ndata"),
				// Lines that are not JSON among events without blank lines, a document over two lines, the end marker after a word.
				TEXT("data: {\"a\":1}\r\ndata: ping\r\ndata: {\"b\":\r\ndata: 2}\r\ndata: x\r\ndata: [1]\rdata: y\ndata:[DONE]\n"),
			};
			for (const FString& Body : Bodies)
			{
				const TArray<uint8> Bytes = Utf8Of(Body);
				for (const int32 Slice : {1, 2, 3, 7, 1000})
				{
					FTalvaneSSEDecoder TextDecoder;
					FTalvaneSSEByteDecoder ByteDecoder;
					TArray<FString> Expected;
					TArray<FString> Actual;
					for (int32 Position = 0; Position <= Bytes.Num(); Position += Slice)
					{
						const int32 Count = Slice < Bytes.Num() - Position ? Slice : Bytes.Num() - Position;
						const bool bLast = Position + Slice > Bytes.Num();
						TextDecoder.Feed(Bytes.GetData() + Position, Count, Expected);
						TArray<FTalvaneSSEEventRange> Ranges;
						ByteDecoder.Feed(Bytes.GetData() + Position, Count, Ranges);
						AppendTexts(ByteDecoder, Ranges, Actual);
						if (bLast)
						{
							TextDecoder.Finish(Expected);
							Ranges.Reset();
							ByteDecoder.Finish(Ranges);
							AppendTexts(ByteDecoder, Ranges, Actual);
						}
					}
					const FString What = FString::Printf(TEXT("slices of %d of %s"), Slice, *Body);
					TestEqual(What + TEXT(": events"), Actual.Num(), Expected.Num());
					for (int32 Index = 0; Index < Actual.Num() && Index < Expected.Num(); ++Index)
					{
						TestTrue(What, Actual[Index].Equals(Expected[Index], ESearchCase::CaseSensitive));
					}
					TestEqual(What + TEXT(": end marker"), ByteDecoder.HasSeenEndMarker(), TextDecoder.HasSeenEndMarker());
					TestEqual(What + TEXT(": data line"), ByteDecoder.HasSeenDataLine(), TextDecoder.HasSeenDataLine());
				}
			}
		});
	});
}

#endif
