// Progress reports of the request manager over one long streamed chat answer.
//
// A fake engine request and response stand in for the transport: the benchmark grows the response
// body by one event per report and calls the manager's progress handler as the transport would,
// with a listener bound that does nothing. Measured:
// - BM_ManageStream: all reports of a stream, whole mode (Combined=1) and delta mode (Combined=0);
//   x_decode is that total divided by the time to decode the whole body once.
// - BM_DecodeWholeBody: the yardstick, StreamStringToTextResponses over the whole body.
// - BM_ManageLastReport: only the last report of the stream, after the others were fed untimed.
// - BM_RedecodePerReport: the naive alternative that converts and decodes the whole body so far at
//   every report; quadratic, so it runs on short streams and est_s extrapolates to 8,000 events.
// - BM_ManageMemory: heap held by the manager for a request in flight, beside the body and the text.
// Set TALVANE_MANAGEBENCH_FULL=1 to run the per-report re-decode on the full stream too (about a minute).

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "CoreMinimal.h"
#include "Containers/StringConv.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
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
	constexpr int32 StreamEvents = 8000;
	constexpr int32 RequestBodyBytes = 1200;

	/** A streamed chat body, and where each report ends: one event per report, the end marker in the last. */
	struct FStreamBody
	{
		TArray<uint8> Bytes;
		TArray<int32> ReportEnds;
		FString Whole;
	};

	std::string MakeEventText(const int32 Index)
	{
		static const std::string Words =
			"The lighthouse keeper counted the waves while gulls argued over a silver fish near the pier, "
			"and the tide rolled in with salt, rope, lantern oil and the quiet promise of a northern storm. ";
		const std::size_t Start = static_cast<std::size_t>(Index * 37) % (Words.size() - 64);
		return Words.substr(Start, 58 + Index % 5);
	}

	void AppendEvent(const int32 Index, std::string& Out)
	{
		char Line[512];
		const int Length = std::snprintf(Line, sizeof(Line),
			"data: {\"id\":\"chatcmpl-%08d\",\"object\":\"chat.completion.chunk\",\"created\":%d,\"model\":\"nimbrel-chat\","
			"\"choices\":[{\"index\":0,\"delta\":{\"content\":\"%s\"},\"logprobs\":null,\"finish_reason\":null}]}\n\n",
			Index, 1718000000 + Index / 40, MakeEventText(Index).c_str());
		Out.append(Line, static_cast<std::size_t>(Length));
	}

	const FStreamBody& GetStreamBody(const int32 EventCount)
	{
		static std::map<int32, FStreamBody> Bodies;
		FStreamBody& Body = Bodies[EventCount];
		if (Body.ReportEnds.IsEmpty())
		{
			std::string Text;
			for (int32 Index = 0; Index < EventCount; ++Index)
			{
				AppendEvent(Index, Text);
				Body.ReportEnds.Add(static_cast<int32>(Text.size()));
			}
			Text += "data: [DONE]\n\n";
			Body.ReportEnds.Last() = static_cast<int32>(Text.size());
			Body.Bytes.Append(reinterpret_cast<const uint8*>(Text.data()), static_cast<int32>(Text.size()));
			Body.Whole = FString(UTF8_TO_TCHAR(Text.c_str()));
		}
		return Body;
	}

	double SecondsSince(const std::chrono::steady_clock::time_point Start)
	{
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
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
			const std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
			TalvaneJson::StreamStringToTextResponses(GetStreamBody(EventCount).Whole, Text);
			const double Seconds = SecondsSince(Start);
			Best = Run == 0 ? Seconds : std::min(Best, Seconds);
		}
		Cache[EventCount] = Best;
		return Best;
	}

	class FFakeStreamResponse final : public IHttpResponse
	{
	public:
		FString GetURL() const override { return TEXT("https://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString&) const override { return FString(); }
		TArray<FString> GetAllHeaders() const override { return TArray<FString>(); }
		FString GetContentType() const override { return TEXT("text/event-stream"); }
		uint64 GetContentLength() const override { return 0; }
		const TArray<uint8>& GetContent() const override { return Body; }
		int32 GetResponseCode() const override { return 200; }
		FString GetContentAsString() const override
		{
			const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Body.GetData()), Body.Num());
			return FString(Converted.Length(), Converted.Get());
		}

		TArray<uint8> Body;
	};

	/** A streamed chat request in flight, with the headers the transport sets and one caller pair. */
	class FFakeStreamRequest final : public IHttpRequest
	{
	public:
		explicit FFakeStreamRequest(const FGuid& InRequestID)
			: Response(MakeShared<FFakeStreamResponse, ESPMode::ThreadSafe>())
		{
			Headers.Add(TEXT("Content-Type"), TEXT("application/json"));
			Headers.Add(TEXT("Accept"), TEXT("application/json"));
			Headers.Add(TEXT("Authorization"), TEXT("Bearer sk-bench-0123456789abcdef0123456789abcdef"));
			Headers.Add(TEXT("Access-Protocol"), TEXT("chat"));
			Headers.Add(TEXT("RequestID"), InRequestID.ToString(EGuidFormats::Digits));
			Headers.Add(TEXT("X-Game-Session"), TEXT("arena-7"));
			Headers.Add(TEXT("bStream"), TEXT("1"));
		}

		FString GetURL() const override { return TEXT("https://127.0.0.1/chat/completions"); }
		FString GetHeader(const FString& HeaderName) const override
		{
			const FString* Found = Headers.Find(HeaderName);
			return Found ? *Found : FString();
		}
		TArray<FString> GetAllHeaders() const override
		{
			TArray<FString> Lines;
			for (const TPair<FString, FString>& Pair : Headers)
			{
				Lines.Add(Pair.Key + TEXT(": ") + Pair.Value);
			}
			return Lines;
		}
		FString GetContentType() const override { return TEXT("application/json"); }
		uint64 GetContentLength() const override { return RequestBodyBytes; }
		const TArray<uint8>& GetContent() const override { return NoContent; }
		FString GetVerb() const override { return TEXT("POST"); }
		void SetVerb(const FString&) override {}
		void SetURL(const FString&) override {}
		void SetContent(const TArray<uint8>&) override {}
		void SetContent(TArray<uint8>&&) override {}
		void SetContentAsString(const FString&) override {}
		void SetHeader(const FString&, const FString&) override {}
		void AppendToHeader(const FString&, const FString&) override {}
		void SetTimeout(float) override {}
		void ClearTimeout() override {}
		TOptional<float> GetTimeout() const override { return TOptional<float>(); }
		bool ProcessRequest() override { return true; }
		FHttpRequestCompleteDelegate& OnProcessRequestComplete() override { return CompleteDelegate; }
		FHttpRequestProgressDelegate& OnRequestProgress() override { return ProgressDelegate; }
		FHttpRequestHeaderReceivedDelegate& OnHeaderReceived() override { return HeaderDelegate; }
		void CancelRequest() override {}
		EHttpRequestStatus::Type GetStatus() const override { return EHttpRequestStatus::Processing; }
		const FHttpResponsePtr GetResponse() const override { return Response; }
		float GetElapsedTime() const override { return 0.0f; }

		const TSharedRef<FFakeStreamResponse, ESPMode::ThreadSafe> Response;

	private:
		TMap<FString, FString> Headers;
		TArray<uint8> NoContent;
		FHttpRequestCompleteDelegate CompleteDelegate;
		FHttpRequestProgressDelegate ProgressDelegate;
		FHttpRequestHeaderReceivedDelegate HeaderDelegate;
	};

	/** The manager with its transport-facing handlers opened to the benchmark. */
	class FBenchManage final : public FTalvaneManage
	{
	public:
		using FTalvaneManage::OnRequestProgress;
		using FTalvaneManage::TrackRequest;
	};

	/** One tracked streamed chat request on a fresh manager, fed report by report. */
	struct FProgressRun
	{
		explicit FProgressRun(const bool bCombined, const bool bTrackNow = true)
			: RequestID(FGuid::NewGuid())
			, Request(MakeShared<FFakeStreamRequest, ESPMode::ThreadSafe>(RequestID))
			, RequestPtr(Request)
			, Lifetime(MakeShared<uint8>(0))
		{
			Manage.SetStreamCombinedReply(bCombined);
			Manage.ProgressDelegate.BindLambda(
				[](ENimbrelProtocol, const FString&, const FString&, const FNimbrelContextInfo&, int32, int32)
				{
				});
			if (bTrackNow)
			{
				Track();
			}
		}

		void Track()
		{
			Manage.TrackRequest(RequestID, ENimbrelProtocol::NIMBREL_CHAT, &Messages, Lifetime);
		}

		/** Appends the bytes of one report, then hands it to the manager; returns the handler's time. */
		double Report(const FStreamBody& Body, const int32 ReportIndex)
		{
			TArray<uint8>& Received = Request->Response->Body;
			const int32 End = Body.ReportEnds[ReportIndex];
			Received.Append(Body.Bytes.GetData() + Received.Num(), End - Received.Num());
			const std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
			Manage.OnRequestProgress(RequestPtr, RequestBodyBytes, End);
			return SecondsSince(Start);
		}

		const FGuid RequestID;
		const TSharedRef<FFakeStreamRequest, ESPMode::ThreadSafe> Request;
		const FHttpRequestPtr RequestPtr;
		TArray<FNimbrelContextMessage> Messages;
		TSharedPtr<uint8> Lifetime;
		FBenchManage Manage;
	};

	void BM_ManageStream(benchmark::State& State)
	{
		const int32 EventCount = static_cast<int32>(State.range(0));
		const FStreamBody& Body = GetStreamBody(EventCount);
		double TotalSeconds = 0.0;
		double MaxReport = 0.0;
		for (auto _ : State)
		{
			FProgressRun Run(State.range(1) != 0);
			double Seconds = 0.0;
			for (int32 ReportIndex = 0; ReportIndex < EventCount; ++ReportIndex)
			{
				const double ReportSeconds = Run.Report(Body, ReportIndex);
				Seconds += ReportSeconds;
				MaxReport = std::max(MaxReport, ReportSeconds);
			}
			State.SetIterationTime(Seconds);
			TotalSeconds += Seconds;
		}
		const double MeanSeconds = TotalSeconds / static_cast<double>(State.iterations());
		State.counters["x_decode"] = MeanSeconds / GetDecodeOnceSeconds(EventCount);
		State.counters["max_report_us"] = MaxReport * 1e6;
		State.counters["mean_report_us"] = MeanSeconds * 1e6 / EventCount;
		State.SetBytesProcessed(State.iterations() * static_cast<int64>(Body.Bytes.Num()));
	}
	BENCHMARK(BM_ManageStream)->ArgNames({"Events", "Combined"})
		->Args({StreamEvents, 1})->Args({StreamEvents, 0})->Args({2000, 1})->Args({2000, 0})
		->UseManualTime()->Unit(benchmark::kMillisecond);

	void BM_DecodeWholeBody(benchmark::State& State)
	{
		const FStreamBody& Body = GetStreamBody(static_cast<int32>(State.range(0)));
		FString Text;
		for (auto _ : State)
		{
			TalvaneJson::StreamStringToTextResponses(Body.Whole, Text);
			benchmark::DoNotOptimize(Text);
		}
		State.counters["text_chars"] = Text.Len();
		State.SetBytesProcessed(State.iterations() * static_cast<int64>(Body.Bytes.Num()));
	}
	BENCHMARK(BM_DecodeWholeBody)->ArgName("Events")->Arg(StreamEvents)->Arg(2000)->Unit(benchmark::kMillisecond);

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
			const double Seconds = Run.Report(Body, StreamEvents - 1);
			State.SetIterationTime(Seconds);
			MaxReport = std::max(MaxReport, Seconds);
		}
		State.counters["max_us"] = MaxReport * 1e6;
	}
	// Each iteration feeds a whole stream untimed first, so the count is fixed and small.
	BENCHMARK(BM_ManageLastReport)->ArgName("Combined")->Arg(1)->Arg(0)
		->Iterations(12)->UseManualTime()->Unit(benchmark::kMicrosecond);

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
			const std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
			for (int32 ReportIndex = 0; ReportIndex < EventCount; ++ReportIndex)
			{
				RedecodeReport(Body, ReportIndex, Text);
				benchmark::DoNotOptimize(Text);
			}
			const double Seconds = SecondsSince(Start);
			State.SetIterationTime(Seconds);
			TotalSeconds += Seconds;
		}
		// The work grows with the square of the stream length.
		const double Scale = static_cast<double>(StreamEvents) * StreamEvents / (static_cast<double>(EventCount) * EventCount);
		const double EstimatedSeconds = TotalSeconds / static_cast<double>(State.iterations()) * Scale;
		State.counters["est8000_s"] = EstimatedSeconds;
		State.counters["est8000_x_decode"] = EstimatedSeconds / GetDecodeOnceSeconds(StreamEvents);
	}
	// Quadratic: one iteration each; the counters scale the time to the full stream.
	BENCHMARK(BM_RedecodePerReport)->ArgName("Events")->Arg(500)->Arg(1000)
		->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

	// The full stream takes about a minute, so it runs only on request.
	const bool bFullRedecodeRegistered = []()
	{
		if (std::getenv("TALVANE_MANAGEBENCH_FULL"))
		{
			benchmark::RegisterBenchmark("BM_RedecodePerReport/Events:8000/full", BM_RedecodePerReport)
				->Arg(StreamEvents)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
		}
		return true;
	}();

	/** Feeds the whole stream with heap counting on; OutPeakReport is the most any one report held at once. */
	int64 MeasureStateBytes(FProgressRun& Run, const FStreamBody& Body, int64& OutPeakReport)
	{
		Run.Request->Response->Body.Reserve(Body.Bytes.Num());
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

	void BM_ManageMemory(benchmark::State& State)
	{
		const FStreamBody& Body = GetStreamBody(StreamEvents);
		int64 StateBytes = 0;
		int64 PeakReport = 0;
		for (auto _ : State)
		{
			FProgressRun Run(State.range(0) != 0, false);
			StateBytes = MeasureStateBytes(Run, Body, PeakReport);
		}
		FString Text;
		TalvaneJson::StreamStringToTextResponses(Body.Whole, Text);
		State.counters["body_bytes"] = Body.Bytes.Num();
		State.counters["text_chars"] = Text.Len();
		State.counters["text_bytes"] = static_cast<double>(Text.Len() * sizeof(TCHAR));
		State.counters["state_bytes"] = static_cast<double>(StateBytes);
		State.counters["state_per_body"] = static_cast<double>(StateBytes) / Body.Bytes.Num();
		State.counters["report_peak_bytes"] = static_cast<double>(PeakReport);
		State.counters["naive_report_peak_bytes"] = static_cast<double>(MeasureRedecodePeak(Body));
	}
	// One pass is the measurement; heap sizes do not vary between runs.
	BENCHMARK(BM_ManageMemory)->ArgName("Combined")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
}

BENCHMARK_MAIN();
