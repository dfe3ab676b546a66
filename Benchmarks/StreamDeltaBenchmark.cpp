// The 8,000-event answer of the manager benchmark (ManageBenchmarkFakes.h), fed in event-sized
// chunks and read for what a progress report needs: by the tree path (text decoder,
// IsErrorDocument, the chat record parser), by the fast path the manager runs (byte decoder and
// FStreamDeltaReader), by the whole request manager in both modes, and in the same run by the
// Node.js peer: the general-purpose SSE parser eventsource-parser with V8's JSON.parse
// (Benchmarks/node/stream-peer.mjs; `npm ci` in Benchmarks/ installs it). No client library of any
// chat service is measured. The ratios to the peer are printed at the end. Read figures from a
// Release build only.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Json/TalvaneStreamDelta.h"
#include "ManageBenchmarkFakes.h"
#include "ManageBenchmarkRun.h"
#include "Manage/TalvaneRequestState.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneSSEByteDecoder.h"
#include "TalvaneSSEDecoder.h"

namespace
{
	using TalvaneManageBenchmark::FStreamBody;

	const FStreamBody& Body()
	{
		return TalvaneManageBenchmark::GetStreamBody(TalvaneManageBenchmark::StreamEvents);
	}

	/** What a report keeps of the stream. */
	struct FReportText
	{
		FString Text;
		FString Reasoning;
		bool bFinishReason = false;
		bool bError = false;
	};

	void ReadWithTree(const FString& InEvent, FReportText& OutReport)
	{
		if (TalvaneManageBody::IsErrorDocument(InEvent, false))
		{
			OutReport.bError = true;
			return;
		}
		FNimbrelChatResponses Chunk;
		TalvaneJson::StringToNimbrelChatResponses(InEvent, Chunk);
		for (const FNimbrelChatResponseChoice& Choice : Chunk.Choices)
		{
			OutReport.Text += Choice.Message.Content;
			OutReport.Reasoning += Choice.Message.ReasoningContent;
			OutReport.bFinishReason |= !Choice.FinishReason.IsEmpty();
		}
	}

	void ReadFast(TalvaneJson::FStreamDeltaReader& InReader, const uint8* InData, const int32 InLength, FReportText& OutReport)
	{
		if (InReader.Read(InData, InLength, ENimbrelProtocol::NIMBREL_CHAT) == TalvaneJson::EStreamDeltaKind::Error)
		{
			OutReport.bError = true;
			return;
		}
		for (int32 Index = 0; Index < InReader.GetNumChoices(); ++Index)
		{
			const TalvaneJson::FStreamDeltaChoice& Choice = InReader.GetChoice(Index);
			OutReport.Text += Choice.Content;
			OutReport.Reasoning += Choice.ReasoningContent;
			OutReport.bFinishReason |= !Choice.FinishReason.IsEmpty();
		}
	}

	/** Calls InFeed with each event-sized chunk of the body, as the transport hands them over. */
	template <typename FeedType>
	void ForEachChunk(const FStreamBody& InBody, const FeedType& InFeed)
	{
		int32 Start = 0;
		for (const int32 End : InBody.ReportEnds)
		{
			InFeed(InBody.Bytes.GetData() + Start, End - Start);
			Start = End;
		}
	}
}

static void BM_TreePath(benchmark::State& State)
{
	const FStreamBody& Stream = Body();
	for (auto _ : State)
	{
		FTalvaneSSEDecoder Decoder;
		FReportText Report;
		TArray<FString> Events;
		ForEachChunk(Stream, [&Decoder, &Report, &Events](const uint8* InBytes, const int32 InCount)
		{
			Events.Reset();
			Decoder.Feed(InBytes, InCount, Events);
			for (const FString& Event : Events)
			{
				ReadWithTree(Event, Report);
			}
		});
		benchmark::DoNotOptimize(*Report.Text);
	}
}
BENCHMARK(BM_TreePath)->Unit(benchmark::kMillisecond);

static void BM_FastPath(benchmark::State& State)
{
	const FStreamBody& Stream = Body();
	for (auto _ : State)
	{
		FTalvaneSSEByteDecoder Decoder;
		TalvaneJson::FStreamDeltaReader Reader;
		FReportText Report;
		TArray<FTalvaneSSEEventRange> Events;
		ForEachChunk(Stream, [&Decoder, &Reader, &Report, &Events](const uint8* InBytes, const int32 InCount)
		{
			Events.Reset();
			Decoder.Feed(InBytes, InCount, Events);
			for (const FTalvaneSSEEventRange& Event : Events)
			{
				ReadFast(Reader, Decoder.GetEventBytes() + Event.Offset, Event.Length, Report);
			}
		});
		benchmark::DoNotOptimize(*Report.Text);
	}
}
BENCHMARK(BM_FastPath)->Unit(benchmark::kMillisecond);

/** The fast reader behind today's text decoder: what the byte decoder saves. */
static void BM_FastReaderOnTextDecoder(benchmark::State& State)
{
	const FStreamBody& Stream = Body();
	for (auto _ : State)
	{
		FTalvaneSSEDecoder Decoder;
		TalvaneJson::FStreamDeltaReader Reader;
		FReportText Report;
		TArray<FString> Events;
		ForEachChunk(Stream, [&Decoder, &Reader, &Report, &Events](const uint8* InBytes, const int32 InCount)
		{
			Events.Reset();
			Decoder.Feed(InBytes, InCount, Events);
			for (const FString& Event : Events)
			{
				if (Reader.Read(Event, ENimbrelProtocol::NIMBREL_CHAT) == TalvaneJson::EStreamDeltaKind::Answer && Reader.GetNumChoices() > 0)
				{
					Report.Text += Reader.GetChoice(0).Content;
				}
			}
		});
		benchmark::DoNotOptimize(*Report.Text);
	}
}
BENCHMARK(BM_FastReaderOnTextDecoder)->Unit(benchmark::kMillisecond);

/**
 * The whole manager: every progress report of the stream, each taking its bytes over from the
 * received body, decoding them and calling a listener, in whole mode (Combined=1) and delta mode.
 */
static void BM_Manager(benchmark::State& State)
{
	const FStreamBody& Stream = Body();
	const bool bCombined = State.range(0) != 0;
	for (auto _ : State)
	{
		TalvaneManageBenchmark::FeedStream(Stream, bCombined);
	}
}
BENCHMARK(BM_Manager)->ArgName("Combined")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

/** The byte decoder alone, for the profile of the fast path. */
static void BM_ByteDecoderOnly(benchmark::State& State)
{
	const FStreamBody& Stream = Body();
	for (auto _ : State)
	{
		FTalvaneSSEByteDecoder Decoder;
		TArray<FTalvaneSSEEventRange> Events;
		int64 Bytes = 0;
		ForEachChunk(Stream, [&Decoder, &Events, &Bytes](const uint8* InBytes, const int32 InCount)
		{
			Events.Reset();
			Decoder.Feed(InBytes, InCount, Events);
			Bytes += Events.Num() > 0 ? Events[0].Length : 0;
		});
		benchmark::DoNotOptimize(Bytes);
	}
}
BENCHMARK(BM_ByteDecoderOnly)->Unit(benchmark::kMillisecond);

namespace
{
	/** Runs the peer once over the body; its own median of many passes, in milliseconds, or a negative number when it cannot run. */
	double RunNodePeer()
	{
		const std::string Dir = TALVANE_BENCHMARKS_DIR;
		if (std::system("command -v node >/dev/null 2>&1") != 0)
		{
			std::fprintf(stderr, "Node.js peer skipped: no node on the PATH.\n");
			return -1.0;
		}
		if (std::FILE* const Probe = std::fopen((Dir + "/node_modules/eventsource-parser/package.json").c_str(), "r"))
		{
			std::fclose(Probe);
		}
		else
		{
			std::fprintf(stderr, "Node.js peer skipped: run `npm ci` in %s first.\n", Dir.c_str());
			return -1.0;
		}
		const std::string BodyPath = "/tmp/talvane-stream-delta-body.txt";
		std::FILE* const File = std::fopen(BodyPath.c_str(), "wb");
		std::fwrite(Body().Bytes.GetData(), 1, static_cast<size_t>(Body().Bytes.Num()), File);
		std::fclose(File);
		const std::string Command = "node " + Dir + "/node/stream-peer.mjs " + BodyPath + " 40";
		std::FILE* const Pipe = popen(Command.c_str(), "r");
		char Line[512] = {};
		const bool bRead = Pipe != nullptr && std::fgets(Line, sizeof(Line), Pipe) != nullptr;
		const int Status = Pipe != nullptr ? pclose(Pipe) : -1;
		const char* const Median = bRead && Status == 0 ? std::strstr(Line, "\"median_ms\":") : nullptr;
		return Median ? std::atof(Median + 12) : -1.0;
	}
}

static void BM_NodePeer(benchmark::State& State)
{
	for (auto _ : State)
	{
		const double Milliseconds = RunNodePeer();
		if (Milliseconds < 0.0)
		{
			State.SkipWithError("Node.js or eventsource-parser not available");
			return;
		}
		State.SetIterationTime(Milliseconds / 1000.0);
	}
}
BENCHMARK(BM_NodePeer)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

namespace
{
	/** The console report, keeping each benchmark's time per iteration for the ratios. */
	class FRatioReporter : public benchmark::ConsoleReporter
	{
	public:
		void ReportRuns(const std::vector<Run>& Runs) override
		{
			for (const Run& Each : Runs)
			{
				if (!Each.error_occurred)
				{
					Milliseconds[Each.benchmark_name()] = Each.GetAdjustedRealTime();
				}
			}
			ConsoleReporter::ReportRuns(Runs);
		}

		std::map<std::string, double> Milliseconds;
	};
}

int main(int Argc, char** Argv)
{
	benchmark::Initialize(&Argc, Argv);
	FRatioReporter Reporter;
	benchmark::RunSpecifiedBenchmarks(&Reporter);
	const auto Find = [&Reporter](const char* InName)
	{
		const auto Found = Reporter.Milliseconds.find(InName);
		return Found != Reporter.Milliseconds.end() ? Found->second : -1.0;
	};
	const double Tree = Find("BM_TreePath");
	const double Fast = Find("BM_FastPath");
	const double Whole = Find("BM_Manager/Combined:1");
	const double Delta = Find("BM_Manager/Combined:0");
	const double Node = Find("BM_NodePeer/iterations:1/manual_time");
	std::printf("ms per %d events: tree %.3f, fast %.3f, manager whole mode %.3f, manager delta mode %.3f, node peer %.3f\n",
		TalvaneManageBenchmark::StreamEvents, Tree, Fast, Whole, Delta, Node);
	if (Node > 0.0)
	{
		std::printf("ratio to the Node.js peer: tree %.2f, fast %.2f, manager whole mode %.2f, manager delta mode %.2f\n",
			Tree / Node, Fast / Node, Whole / Node, Delta / Node);
	}
	benchmark::Shutdown();
	return 0;
}
