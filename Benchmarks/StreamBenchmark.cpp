// Throughput of the streamed-answer readers on a body of 8,000 chat events of about 200 bytes:
// the server-sent events decoder fed whole and in event-sized slices, the chat parser on every
// event, both together (the tree path), the byte decoder with the stream-event reader in event
// slices (the fast path the request manager runs), the whole-body text function, and RapidJSON
// parsing the same event payloads as a yardstick.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <string>
#include <vector>

#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStream.h"
#include "Json/TalvaneStreamDelta.h"
#include "TalvaneSSEByteDecoder.h"
#include "TalvaneSSEDecoder.h"

namespace
{
	constexpr int32 EventCount = 8000;

	struct FStreamFixture
	{
		std::string Body;
		std::vector<std::string> Payloads;
		TArray<FString> PayloadTexts;
		FString BodyText;
		int32 SliceSize = 0;

		FStreamFixture()
		{
			const char* const Words[] = {"The ", "answer ", "你好", "，", "world", ". ", "data: ", "streams ", "\\n", "😀"};
			for (int32 Index = 0; Index < EventCount; ++Index)
			{
				std::string Payload = "{\"id\":\"chatcmpl-5f2a9c\",\"object\":\"chat.completion.chunk\",\"created\":1733616000,"
					"\"model\":\"nimbrel-chat\",\"choices\":[{\"index\":0,\"delta\":{\"content\":\"";
				Payload += Words[Index % 10];
				Payload += Words[(Index * 7 + 3) % 10];
				Payload += "\"},\"logprobs\":null,\"finish_reason\":null}]}";
				Body += "data: " + Payload + "\n\n";
				PayloadTexts.Add(FString(UTF8_TO_TCHAR(Payload.c_str())));
				Payloads.push_back(std::move(Payload));
			}
			Body += "data: [DONE]\n\n";
			BodyText = FString(UTF8_TO_TCHAR(Body.c_str()));
			SliceSize = static_cast<int32>(Body.size() / EventCount);
		}

		const uint8* Bytes() const { return reinterpret_cast<const uint8*>(Body.data()); }
		int32 Size() const { return static_cast<int32>(Body.size()); }
	};

	const FStreamFixture& Fixture()
	{
		static const FStreamFixture Instance;
		return Instance;
	}

	void SetThroughput(benchmark::State& State, const int64 BytesPerIteration)
	{
		State.SetBytesProcessed(static_cast<int64>(State.iterations()) * BytesPerIteration);
		State.counters["events/s"] = benchmark::Counter(static_cast<double>(State.iterations()) * EventCount, benchmark::Counter::kIsRate);
		State.counters["body_bytes"] = static_cast<double>(Fixture().Size());
	}

	void FeedInSlices(FTalvaneSSEDecoder& Decoder, const FStreamFixture& Stream, TArray<FString>& OutEvents)
	{
		for (int32 Position = 0; Position < Stream.Size(); Position += Stream.SliceSize)
		{
			const int32 Count = Stream.SliceSize < Stream.Size() - Position ? Stream.SliceSize : Stream.Size() - Position;
			Decoder.Feed(Stream.Bytes() + Position, Count, OutEvents);
		}
	}
}

static void BM_DecoderWhole(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		FTalvaneSSEDecoder Decoder;
		TArray<FString> Events;
		Decoder.Feed(Stream.Bytes(), Stream.Size(), Events);
		Decoder.Finish(Events);
		benchmark::DoNotOptimize(Events.GetData());
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_DecoderWhole)->Unit(benchmark::kMillisecond);

static void BM_DecoderEventSlices(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		FTalvaneSSEDecoder Decoder;
		TArray<FString> Events;
		FeedInSlices(Decoder, Stream, Events);
		Decoder.Finish(Events);
		benchmark::DoNotOptimize(Events.GetData());
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_DecoderEventSlices)->Unit(benchmark::kMillisecond);

static void BM_ChatParserEvents(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		for (const FString& Payload : Stream.PayloadTexts)
		{
			FNimbrelChatResponses Chunk;
			TalvaneJson::StringToNimbrelChatResponses(Payload, Chunk);
			benchmark::DoNotOptimize(Chunk.Choices.GetData());
		}
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_ChatParserEvents)->Unit(benchmark::kMillisecond);

static void BM_DecodeAndParseEventSlices(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		FTalvaneSSEDecoder Decoder;
		TArray<FString> Events;
		FString Text;
		FeedInSlices(Decoder, Stream, Events);
		Decoder.Finish(Events);
		for (const FString& Event : Events)
		{
			FNimbrelChatResponses Chunk;
			TalvaneJson::StringToNimbrelChatResponses(Event, Chunk);
			Text.Append(Chunk.Choices[0].Message.Content);
		}
		benchmark::DoNotOptimize(*Text);
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_DecodeAndParseEventSlices)->Unit(benchmark::kMillisecond);

/** What the request manager runs: the byte decoder and the stream-event reader, in event-sized slices. */
static void BM_FastPathEventSlices(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		FTalvaneSSEByteDecoder Decoder;
		TalvaneJson::FStreamDeltaReader Reader;
		TArray<FTalvaneSSEEventRange> Events;
		FString Text;
		for (int32 Position = 0; Position < Stream.Size(); Position += Stream.SliceSize)
		{
			const int32 Count = Stream.SliceSize < Stream.Size() - Position ? Stream.SliceSize : Stream.Size() - Position;
			Events.Reset();
			Decoder.Feed(Stream.Bytes() + Position, Count, Events);
			for (const FTalvaneSSEEventRange& Event : Events)
			{
				if (Reader.Read(Decoder.GetEventBytes() + Event.Offset, Event.Length, ENimbrelProtocol::NIMBREL_CHAT)
					== TalvaneJson::EStreamDeltaKind::Answer && Reader.GetNumChoices() > 0)
				{
					Text.Append(Reader.GetChoice(0).Content);
				}
			}
		}
		benchmark::DoNotOptimize(*Text);
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_FastPathEventSlices)->Unit(benchmark::kMillisecond);

static void BM_StreamTextWholeBody(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		FString Text;
		TalvaneJson::StreamStringToTextResponses(Stream.BodyText, Text);
		benchmark::DoNotOptimize(*Text);
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_StreamTextWholeBody)->Unit(benchmark::kMillisecond);

static void BM_RapidJsonEvents(benchmark::State& State)
{
	const FStreamFixture& Stream = Fixture();
	for (auto _ : State)
	{
		std::string Text;
		for (const std::string& Payload : Stream.Payloads)
		{
			rapidjson::Document Document;
			Document.Parse(Payload.c_str(), Payload.size());
			const rapidjson::Value& Content = Document["choices"][0]["delta"]["content"];
			Text.append(Content.GetString(), Content.GetStringLength());
		}
		benchmark::DoNotOptimize(Text.data());
	}
	SetThroughput(State, Stream.Size());
}
BENCHMARK(BM_RapidJsonEvents)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
