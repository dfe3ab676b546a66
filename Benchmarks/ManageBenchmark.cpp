// Progress reports of the request manager over one long streamed chat answer.
//
// A fake engine request stands in for the transport: the benchmark hands the request's received-body
// object one event per report, as the HTTP thread would, and calls the manager's progress handler as
// the transport would, with a listener bound that does nothing. The handler's time includes taking
// the new bytes over from the hand-over buffer. Times are the thread's CPU time. Measured:
// - BM_ManageStream: all reports of a stream, whole mode (Combined=1) and delta mode (Combined=0);
//   x_decode is the shortest total over the shortest decode of the whole body once; max_report_us
//   is the longest single report and max_report_at its index.
// - BM_DecodeWholeBody: the yardstick, StreamStringToTextResponses over the whole body.
// - BM_ManageLastReport: only the last report of the stream, after the others were fed untimed.
// - BM_RedecodePerReport: the naive alternative that converts and decodes the whole body so far at
//   every report. It is quadratic, so it runs on short streams and est8000_s scales the time to
//   8,000 events; last8000_ms is its last report on the full stream. TALVANE_MANAGEBENCH_FULL=1 adds 1,000, 2,000 and 8,000 events (minutes).
// - BM_ReportCostCurve: the cost of one report at points from 500 to 8,000 events, incremental
//   against the literal re-decode, for the curve in docs/PERFORMANCE.md.
// - BM_ManageMemory: heap held by the manager for a request in flight, beside the body and the
//   text, and the most one report holds at once.

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "CoreMinimal.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "ManageBenchmarkFakes.h"
#include "ManageBenchmarkRun.h"
#include "TalvaneJsonStream.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"

// Live heap bytes, counted only while a memory benchmark asks for it, so the timed benchmarks pay
// one untaken branch per allocation.
namespace
{
	std::atomic<bool> GCountHeap{false};
	std::atomic<int64> GLiveHeap{0};
	std::atomic<int64> GPeakHeap{0};

	void CountAllocation(void* Block)
	{
		if (Block && GCountHeap.load(std::memory_order_relaxed))
		{
			const int64 Live = GLiveHeap.fetch_add(static_cast<int64>(malloc_usable_size(Block)), std::memory_order_relaxed)
				+ static_cast<int64>(malloc_usable_size(Block));
			int64 Peak = GPeakHeap.load(std::memory_order_relaxed);
			while (Live > Peak && !GPeakHeap.compare_exchange_weak(Peak, Live, std::memory_order_relaxed))
			{
			}
		}
	}

	void CountRelease(void* Block)
	{
		if (Block && GCountHeap.load(std::memory_order_relaxed))
		{
			GLiveHeap.fetch_sub(static_cast<int64>(malloc_usable_size(Block)), std::memory_order_relaxed);
		}
	}

	void* AllocateCounted(const std::size_t Size)
	{
		void* Block = std::malloc(Size ? Size : 1);
		if (!Block)
		{
			throw std::bad_alloc();
		}
		CountAllocation(Block);
		return Block;
	}
}

void* operator new(const std::size_t Size) { return AllocateCounted(Size); }
void* operator new[](const std::size_t Size) { return AllocateCounted(Size); }
void operator delete(void* Block) noexcept { CountRelease(Block); std::free(Block); }
void operator delete[](void* Block) noexcept { CountRelease(Block); std::free(Block); }
void operator delete(void* Block, std::size_t) noexcept { CountRelease(Block); std::free(Block); }
void operator delete[](void* Block, std::size_t) noexcept { CountRelease(Block); std::free(Block); }

namespace
{
	using namespace TalvaneManageBenchmark;

	/** What two back-to-back clock readings cost, taken off the times of single reports. */
	double GetClockOverheadSeconds()
	{
		static const double Overhead = []()
		{
			double Best = 1.0;
			for (int32 Run = 0; Run < 200; ++Run)
			{
				const double Start = GetThreadSeconds();
				Best = std::min(Best, GetThreadSeconds() - Start);
			}
			return Best;
		}();
		return Overhead;
	}

	/** The yardstick: the best of a few decodes of the whole body. */
	double GetDecodeOnceSeconds(const int32 EventCount)
	{
		static std::map<int32, double> Cache;
		const std::map<int32, double>::const_iterator Found = Cache.find(EventCount);
		if (Found != Cache.end())
		{
			return Found->second;
		}
		double Best = 0.0;
		for (int32 Run = 0; Run < 3; ++Run)
		{
			FString Text;
			const double Start = GetThreadSeconds();
			TalvaneJson::StreamStringToTextResponses(GetStreamBody(EventCount).Whole, Text);
			const double Seconds = GetThreadSeconds() - Start;
			Best = Run == 0 ? Seconds : std::min(Best, Seconds);
		}
		Cache[EventCount] = Best;
		return Best;
	}


	/** Reports as FProgressRun::Report does; returns the handler's CPU time alone. */
	double TimeReport(FProgressRun& Run, const FStreamBody& Body, const int32 ReportIndex)
	{
		const int32 End = Run.Receive(Body, ReportIndex);
		const double Start = GetThreadSeconds();
		Run.Manage.OnRequestProgress(Run.RequestPtr, RequestBodyBytes, End);
		return std::max(0.0, GetThreadSeconds() - Start - GetClockOverheadSeconds());
	}

	/** CPU time of all reports of a stream on a fresh manager; appending the bytes costs next to nothing. */
	double TimeStream(const FStreamBody& Body, const bool bCombined)
	{
		FProgressRun Run(bCombined);
		const double Start = GetThreadSeconds();
		for (int32 ReportIndex = 0; ReportIndex < Body.ReportEnds.Num(); ++ReportIndex)
		{
			Run.Report(Body, ReportIndex);
		}
		return GetThreadSeconds() - Start;
	}

	/**
	 * The longest single report of a stream. Each report is timed on its own in a few passes and keeps
	 * its shortest time, so a pause of the whole machine in one pass does not pass for a slow report.
	 */
	double TimeLongestReport(const FStreamBody& Body, const bool bCombined, int32& OutReportIndex)
	{
		TArray<double> Shortest;
		for (int32 ReportIndex = 0; ReportIndex < Body.ReportEnds.Num(); ++ReportIndex)
		{
			Shortest.Add(1.0);
		}
		for (int32 Pass = 0; Pass < 3; ++Pass)
		{
			FProgressRun Run(bCombined);
			for (int32 ReportIndex = 0; ReportIndex < Body.ReportEnds.Num(); ++ReportIndex)
			{
				Shortest[ReportIndex] = std::min(Shortest[ReportIndex], TimeReport(Run, Body, ReportIndex));
			}
		}
		OutReportIndex = 0;
		for (int32 ReportIndex = 1; ReportIndex < Shortest.Num(); ++ReportIndex)
		{
			OutReportIndex = Shortest[ReportIndex] > Shortest[OutReportIndex] ? ReportIndex : OutReportIndex;
		}
		return Shortest[OutReportIndex];
	}

	void BM_ManageStream(benchmark::State& State)
	{
		const int32 EventCount = static_cast<int32>(State.range(0));
		const bool bCombined = State.range(1) != 0;
		const FStreamBody& Body = GetStreamBody(EventCount);
		double TotalSeconds = 0.0;
		double BestSeconds = 1e9;
		for (auto _ : State)
		{
			const double Seconds = TimeStream(Body, bCombined);
			State.SetIterationTime(Seconds);
			TotalSeconds += Seconds;
			BestSeconds = std::min(BestSeconds, Seconds);
		}
		const double MeanSeconds = TotalSeconds / static_cast<double>(State.iterations());
		int32 LongestIndex = 0;
		State.counters["max_report_us"] = TimeLongestReport(Body, bCombined, LongestIndex) * 1e6;
		State.counters["max_report_at"] = LongestIndex;
		State.counters["mean_report_us"] = MeanSeconds * 1e6 / EventCount;
		// Best against best: the yardstick is the shortest of a few decodes.
		State.counters["x_decode"] = BestSeconds / GetDecodeOnceSeconds(EventCount);
		State.SetBytesProcessed(State.iterations() * static_cast<int64>(Body.Bytes.Num()));
	}
	// Times are the thread's CPU time (manual time).
	BENCHMARK(BM_ManageStream)->ArgNames({"Events", "Combined"})
		->Args({StreamEvents, 1})->Args({StreamEvents, 0})->Args({2000, 1})->Args({2000, 0})
		->UseManualTime()->Unit(benchmark::kMillisecond);

	void BM_DecodeWholeBody(benchmark::State& State)
	{
		const FStreamBody& Body = GetStreamBody(static_cast<int32>(State.range(0)));
		FString Text;
		for (auto _ : State)
		{
			const double Start = GetThreadSeconds();
			TalvaneJson::StreamStringToTextResponses(Body.Whole, Text);
			benchmark::DoNotOptimize(Text);
			State.SetIterationTime(GetThreadSeconds() - Start);
		}
		State.counters["text_chars"] = Text.Len();
		State.SetBytesProcessed(State.iterations() * static_cast<int64>(Body.Bytes.Num()));
	}
	BENCHMARK(BM_DecodeWholeBody)->ArgName("Events")->Arg(StreamEvents)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond);

	void BM_ManageLastReport(benchmark::State& State)
	{
		const FStreamBody& Body = GetStreamBody(StreamEvents);
		double MaxReport = 0.0;
		for (auto _ : State)
		{
			FProgressRun Run(State.range(0) != 0);
			for (int32 ReportIndex = 0; ReportIndex < StreamEvents - 1; ++ReportIndex)
			{
				Run.Report(Body, ReportIndex);
			}
			const double Seconds = TimeReport(Run, Body, StreamEvents - 1);
			State.SetIterationTime(Seconds);
			MaxReport = std::max(MaxReport, Seconds);
		}
		State.counters["max_us"] = MaxReport * 1e6;
	}
	// Each iteration feeds a whole stream untimed first, so the count is fixed and small.
	BENCHMARK(BM_ManageLastReport)->ArgName("Combined")->Arg(1)->Arg(0)
		->Iterations(5)->UseManualTime()->Unit(benchmark::kMicrosecond);

	/** The whole body received so far, copied with a terminating zero, converted and decoded at every report. */
	void RedecodeReport(const FStreamBody& Body, const int32 ReportIndex, FString& OutText)
	{
		TArray<uint8> Buffer(Body.Bytes.GetData(), Body.ReportEnds[ReportIndex]);
		Buffer.Add(0);
		const FString Whole(UTF8_TO_TCHAR(Buffer.GetData()));
		TalvaneJson::StreamStringToTextResponses(Whole, OutText);
	}

	void BM_RedecodePerReport(benchmark::State& State)
	{
		const int32 EventCount = static_cast<int32>(State.range(0));
		const FStreamBody& Body = GetStreamBody(EventCount);
		double TotalSeconds = 0.0;
		for (auto _ : State)
		{
			FString Text;
			const double Start = GetThreadSeconds();
			for (int32 ReportIndex = 0; ReportIndex < EventCount; ++ReportIndex)
			{
				RedecodeReport(Body, ReportIndex, Text);
				benchmark::DoNotOptimize(Text);
			}
			const double Seconds = GetThreadSeconds() - Start;
			State.SetIterationTime(Seconds);
			TotalSeconds += Seconds;
		}
		// The work grows with the square of the stream length.
		const double Scale = static_cast<double>(StreamEvents) * StreamEvents / (static_cast<double>(EventCount) * EventCount);
		const double EstimatedSeconds = TotalSeconds / static_cast<double>(State.iterations()) * Scale;
		State.counters["est8000_s"] = EstimatedSeconds;
		State.counters["est8000_x_decode"] = EstimatedSeconds / GetDecodeOnceSeconds(StreamEvents);
		// Its last report on the full stream alone: the whole body converted and decoded once.
		FString Text;
		const double Start = GetThreadSeconds();
		RedecodeReport(GetStreamBody(StreamEvents), StreamEvents - 1, Text);
		State.counters["last8000_ms"] = (GetThreadSeconds() - Start) * 1e3;
	}
	// Quadratic: one iteration each; the counters scale the time to the full stream.
	BENCHMARK(BM_RedecodePerReport)->ArgName("Events")->Arg(250)->Arg(500)
		->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

	// Longer streams take seconds to minutes (the full one over two minutes), so they run only on request.
	const bool bLongRedecodeRegistered = []()
	{
		if (std::getenv("TALVANE_MANAGEBENCH_FULL"))
		{
			benchmark::RegisterBenchmark("BM_RedecodePerReport/long", BM_RedecodePerReport)->ArgName("Events")
				->Arg(1000)->Arg(2000)->Arg(StreamEvents)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
		}
		return true;
	}();

	/**
	 * The cost of one report at points along the stream, in whole mode: the incremental path (the
	 * mean of the 100 reports that end at the point, each the shortest of three passes) against the
	 * literal re-decode of the body so far at that report (the shortest of three). The first stays
	 * flat; the second grows with the body, so its total grows with the square of the events.
	 */
	void BM_ReportCostCurve(benchmark::State& State)
	{
		const FStreamBody& Body = GetStreamBody(StreamEvents);
		const int32 Points[] = {500, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000};
		for (auto _ : State)
		{
			TArray<double> Shortest;
			for (int32 ReportIndex = 0; ReportIndex < StreamEvents; ++ReportIndex)
			{
				Shortest.Add(1.0);
			}
			for (int32 Pass = 0; Pass < 3; ++Pass)
			{
				FProgressRun Run(true);
				for (int32 ReportIndex = 0; ReportIndex < StreamEvents; ++ReportIndex)
				{
					Shortest[ReportIndex] = std::min(Shortest[ReportIndex], TimeReport(Run, Body, ReportIndex));
				}
			}
			double Seconds = 0.0;
			for (const int32 Point : Points)
			{
				double Incremental = 0.0;
				for (int32 ReportIndex = Point - 100; ReportIndex < Point; ++ReportIndex)
				{
					Incremental += Shortest[ReportIndex] / 100.0;
				}
				double Redecode = 1.0;
				for (int32 Pass = 0; Pass < 3; ++Pass)
				{
					FString Text;
					const double Start = GetThreadSeconds();
					RedecodeReport(Body, Point - 1, Text);
					Redecode = std::min(Redecode, GetThreadSeconds() - Start);
				}
				State.counters["inc_us_" + std::to_string(Point)] = Incremental * 1e6;
				State.counters["redecode_us_" + std::to_string(Point)] = Redecode * 1e6;
				Seconds += Redecode;
			}
			State.SetIterationTime(Seconds);
		}
	}
	BENCHMARK(BM_ReportCostCurve)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

	/** Feeds the whole stream with heap counting on; OutPeakReport is the most any one report held at once. */
	int64 MeasureStateBytes(FProgressRun& Run, const FStreamBody& Body, int64& OutPeakReport)
	{
		GLiveHeap = 0;
		GCountHeap = true;
		Run.Track();
		OutPeakReport = 0;
		for (int32 ReportIndex = 0; ReportIndex < Body.ReportEnds.Num(); ++ReportIndex)
		{
			const int64 Before = GLiveHeap.load();
			GPeakHeap = Before;
			Run.Report(Body, ReportIndex);
			OutPeakReport = std::max(OutPeakReport, GPeakHeap.load() - Before);
		}
		const int64 StateBytes = GLiveHeap.load();
		GCountHeap = false;
		return StateBytes;
	}

	/** The most the naive handler holds at once for the last report: body copy, converted text, decoded text. */
	int64 MeasureRedecodePeak(const FStreamBody& Body)
	{
		GLiveHeap = 0;
		GPeakHeap = 0;
		GCountHeap = true;
		{
			FString Text;
			RedecodeReport(Body, Body.ReportEnds.Num() - 1, Text);
		}
		GCountHeap = false;
		return GPeakHeap.load();
	}

	/** The capacity the manager's text reaches, grown one event at a time as the manager grows it. */
	int64 GetGrownTextBytes()
	{
		FString GrownText;
		for (int32 Index = 0; Index < StreamEvents; ++Index)
		{
			GrownText += FString(UTF8_TO_TCHAR(MakeEventText(Index).c_str()));
		}
		return static_cast<int64>(GrownText.GetAllocatedSize());
	}

	void BM_ManageMemory(benchmark::State& State)
	{
		const bool bCombined = State.range(0) != 0;
		const FStreamBody& Body = GetStreamBody(StreamEvents);
		int64 StateBytes = 0;
		int64 PeakReport = 0;
		int32 ReportedChars = 0;
		for (auto _ : State)
		{
			ReportedChars = 0;
			FProgressRun Run(bCombined, false);
			// Also checks that the manager did the work: the listener's text must add up to the answer.
			// It captures a local by reference, which is safe: the run and its delegate die first.
			Run.Manage.ProgressDelegate.BindLambda(
				[&ReportedChars, bCombined](ENimbrelProtocol, const FString& InText, const FString&, const FNimbrelContextInfo&, int32, int32)
				{
					ReportedChars = bCombined ? InText.Len() : ReportedChars + InText.Len();
				});
			StateBytes = MeasureStateBytes(Run, Body, PeakReport);
		}
		FString Text;
		TalvaneJson::StreamStringToTextResponses(Body.Whole, Text);
		if (ReportedChars != Text.Len())
		{
			State.SkipWithError("the progress reports do not add up to the answer text");
		}
		State.counters["body_bytes"] = Body.Bytes.Num();
		State.counters["text_chars"] = Text.Len();
		State.counters["text_alloc_bytes"] = static_cast<double>(GetGrownTextBytes());
		State.counters["state_bytes"] = static_cast<double>(StateBytes);
		State.counters["state_per_body"] = static_cast<double>(StateBytes) / Body.Bytes.Num();
		State.counters["report_peak_bytes"] = static_cast<double>(PeakReport);
		State.counters["naive_report_peak_bytes"] = static_cast<double>(MeasureRedecodePeak(Body));
	}
	// One pass is the measurement; heap sizes do not vary between runs.
	BENCHMARK(BM_ManageMemory)->ArgName("Combined")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
}

BENCHMARK_MAIN();
