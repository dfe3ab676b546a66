#pragma once

// The request manager as the benchmarks drive it: one tracked streamed chat request, fed report by
// report as the HTTP thread and the transport would feed it, with a listener that does nothing.

#include <time.h>

#include "CoreMinimal.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "ManageBenchmarkFakes.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"

namespace TalvaneManageBenchmark
{
	/**
	 * CPU seconds of this thread. The machine is shared, so wall time mostly measures the other
	 * processes; the thread's CPU time does not count time spent waiting for a core.
	 */
	inline double GetThreadSeconds()
	{
		timespec Now;
		clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
		return static_cast<double>(Now.tv_sec) + static_cast<double>(Now.tv_nsec) * 1e-9;
	}

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
			, Received(MakeShared<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe>())
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
			Manage.TrackRequest(RequestPtr, Received, ENimbrelProtocol::NIMBREL_CHAT, &Messages, Lifetime);
		}

		/** Appends the bytes of one report, then hands it to the manager. */
		void Report(const FStreamBody& Body, const int32 ReportIndex)
		{
			const int32 End = Receive(Body, ReportIndex);
			Manage.OnRequestProgress(RequestPtr, RequestBodyBytes, End);
		}

		/** Hands the bytes of one report to the received body, as the HTTP thread does; returns the body length. */
		int32 Receive(const FStreamBody& Body, const int32 ReportIndex)
		{
			const int32 Start = ReportIndex == 0 ? 0 : Body.ReportEnds[ReportIndex - 1];
			const int32 End = Body.ReportEnds[ReportIndex];
			Received->Receive(Body.Bytes.GetData() + Start, End - Start);
			return End;
		}

		const FGuid RequestID;
		const TSharedRef<FFakeStreamRequest, ESPMode::ThreadSafe> Request;
		const FHttpRequestPtr RequestPtr;
		const TSharedRef<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Received;
		TArray<FNimbrelContextMessage> Messages;
		TSharedPtr<uint8> Lifetime;
		FBenchManage Manage;
	};

	/** All reports of a stream on a fresh manager; appending the bytes costs next to nothing. */
	inline void FeedStream(const FStreamBody& Body, const bool bCombined)
	{
		FProgressRun Run(bCombined);
		for (int32 ReportIndex = 0; ReportIndex < Body.ReportEnds.Num(); ++ReportIndex)
		{
			Run.Report(Body, ReportIndex);
		}
	}
}
