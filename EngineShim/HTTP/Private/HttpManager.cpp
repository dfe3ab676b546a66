#include "HttpManager.h"

#include <algorithm>
#include <chrono>

#include "CurlHttpRequest.h"
#include "CurlWorker.h"
#include "HttpLog.h"
#include "Misc/ConfigCacheIni.h"

namespace
{
	typedef std::chrono::steady_clock FClock;

	/** How long a flush sleeps at most between ticks when no transfer ends. */
	constexpr double FlushTickIntervalSeconds = 0.01;

	double SecondsSince(const FClock::time_point Start)
	{
		return std::chrono::duration<double>(FClock::now() - Start).count();
	}

	/** Soft limit at or past a non-negative hard limit, or a hard limit that is not positive, as the engine corrects them. */
	void CorrectShutdownLimits(double& SoftLimitSeconds, double& HardLimitSeconds)
	{
		if (HardLimitSeconds >= 0.0 && (SoftLimitSeconds < 0.0 || SoftLimitSeconds >= HardLimitSeconds))
		{
			UE_LOG(LogHttp, Warning, TEXT("Shutdown flush soft limit [%.02f] is not below the hard limit [%.02f]; using half the hard limit."),
				SoftLimitSeconds, HardLimitSeconds);
			SoftLimitSeconds = HardLimitSeconds / 2.0;
		}
		if (HardLimitSeconds <= 0.0)
		{
			UE_LOG(LogHttp, Warning, TEXT("Shutdown flush hard limit [%.02f] must be above 0; using 0.05 with a soft limit of 0."), HardLimitSeconds);
			HardLimitSeconds = 0.05;
			SoftLimitSeconds = 0.0;
		}
	}
}

const TCHAR* LexToString(const EHttpFlushReason& FlushReason)
{
	switch (FlushReason)
	{
	case EHttpFlushReason::Default: return TEXT("Default");
	case EHttpFlushReason::Background: return TEXT("Background");
	case EHttpFlushReason::Shutdown: return TEXT("Shutdown");
	case EHttpFlushReason::FullFlush: return TEXT("FullFlush");
	case EHttpFlushReason::Count: break;
	}
	return TEXT("Invalid");
}

FHttpManager::FHttpManager()
{
	UpdateConfigs();
	// As the engine's curl manager at start-up: at most this many connections to one server, 16 unless
	// the ini says otherwise (0 or less: no cap).
	int32 MaxConnectionsPerServer = 16;
	if (GConfig)
	{
		GConfig->GetInt(TEXT("HTTP"), TEXT("HttpMaxConnectionsPerServer"), MaxConnectionsPerServer, GEngineIni);
	}
	const std::shared_ptr<FCurlWorker> NewWorker = std::make_shared<FCurlWorker>();
	if (NewWorker->Start(MaxConnectionsPerServer))
	{
		Worker = NewWorker;
	}
	else
	{
		UE_LOG(LogHttp, Error, TEXT("The HTTP thread could not start (libcurl initialisation failed); every request will fail."));
	}
}

FHttpManager::~FHttpManager()
{
	if (Worker)
	{
		Worker->Stop();
	}
	for (const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request : GetRequestsCopy())
	{
		Request->Abandon();
	}
	const std::lock_guard<std::mutex> Lock(RequestLock);
	Requests.Empty();
}

void FHttpManager::UpdateConfigs()
{
	static const TCHAR* const ReasonKeys[] = {TEXT("Default"), TEXT("Background"), TEXT("Shutdown"), TEXT("FullFlush")};
	static_assert(UE_ARRAY_COUNT(ReasonKeys) == static_cast<SIZE_T>(EHttpFlushReason::Count), "one key suffix per flush reason");
	for (int32 Index = 0; Index < static_cast<int32>(EHttpFlushReason::Count); ++Index)
	{
		const EHttpFlushReason Reason = static_cast<EHttpFlushReason>(Index);
		FHttpFlushTimeLimit Limit;
		if (Reason == EHttpFlushReason::FullFlush)
		{
			Limit.SoftLimitSeconds = -1.0;
			Limit.HardLimitSeconds = -1.0;
		}
		if (GConfig)
		{
			const FString SoftKey = FString(TEXT("FlushSoftTimeLimit")) + ReasonKeys[Index];
			const FString HardKey = FString(TEXT("FlushHardTimeLimit")) + ReasonKeys[Index];
			GConfig->GetDouble(TEXT("HTTP"), *SoftKey, Limit.SoftLimitSeconds, GEngineIni);
			GConfig->GetDouble(TEXT("HTTP"), *HardKey, Limit.HardLimitSeconds, GEngineIni);
		}
		if (Reason == EHttpFlushReason::Shutdown)
		{
			CorrectShutdownLimits(Limit.SoftLimitSeconds, Limit.HardLimitSeconds);
		}
		FlushTimeLimits[Index] = Limit;
	}
}

void FHttpManager::SetDefaultTimeout(const float Seconds) const
{
	if (Worker)
	{
		Worker->SetDefaultTimeout(static_cast<double>(Seconds));
	}
}

bool FHttpManager::AddThreadedRequest(const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request, const std::shared_ptr<FCurlTransfer>& Transfer)
{
	if (!Worker)
	{
		return false;
	}
	{
		const std::lock_guard<std::mutex> Lock(RequestLock);
		// The engine's AddRequest: a request started by a delegate that runs inside a flush stops the game.
		check(!bFlushing);
		Requests.Add(Request);
	}
	Worker->AddTransfer(Transfer);
	return true;
}

TArray<TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>> FHttpManager::GetRequestsCopy() const
{
	const std::lock_guard<std::mutex> Lock(RequestLock);
	return Requests;
}

int32 FHttpManager::GetRequestCount() const
{
	const std::lock_guard<std::mutex> Lock(RequestLock);
	return Requests.Num();
}

void FHttpManager::CancelAllRequests() const
{
	for (const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request : GetRequestsCopy())
	{
		Request->CancelRequest();
	}
}

bool FHttpManager::Tick(const float)
{
	// A copy: delegates may start, cancel or drop requests while this runs.
	for (const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request : GetRequestsCopy())
	{
		if (Request->TickFromManager())
		{
			{
				const std::lock_guard<std::mutex> Lock(RequestLock);
				Requests.Remove(Request);
			}
			Request->FinishRequest();
		}
	}
	return true;
}

void FHttpManager::Flush(const EHttpFlushReason FlushReason)
{
	const int32 ReasonIndex = std::clamp(static_cast<int32>(FlushReason), 0, static_cast<int32>(EHttpFlushReason::Count) - 1);
	const FHttpFlushTimeLimit Limit = FlushTimeLimits[ReasonIndex];
	const FClock::time_point Begin = FClock::now();
	bool bCancelled = false;
	bFlushing = true;
	while (GetRequestCount() > 0)
	{
		const double Elapsed = SecondsSince(Begin);
		if (Limit.HardLimitSeconds >= 0.0 && Elapsed >= Limit.HardLimitSeconds)
		{
			LogAbandonedRequests(Elapsed, Limit, FlushReason);
			break;
		}
		if (Limit.SoftLimitSeconds >= 0.0 && Elapsed >= Limit.SoftLimitSeconds && !bCancelled)
		{
			UE_LOG(LogHttp, Warning, TEXT("FHttpManager::Flush(%s) passed its soft limit of %.3fs; cancelling %d request(s)."),
				LexToString(FlushReason), Limit.SoftLimitSeconds, GetRequestCount());
			CancelAllRequests();
			bCancelled = true;
		}
		const uint64 SeenEnded = Worker ? Worker->GetEndedCount() : 0;
		Tick(0.0f);
		if (Worker && GetRequestCount() > 0)
		{
			double Wait = FlushTickIntervalSeconds;
			const double Now = SecondsSince(Begin);
			if (Limit.SoftLimitSeconds >= 0.0 && !bCancelled)
			{
				Wait = std::min(Wait, Limit.SoftLimitSeconds - Now);
			}
			if (Limit.HardLimitSeconds >= 0.0)
			{
				Wait = std::min(Wait, Limit.HardLimitSeconds - Now);
			}
			Worker->WaitForEnd(SeenEnded, std::max(Wait, 0.0));
		}
	}
	bFlushing = false;
}

void FHttpManager::LogAbandonedRequests(const double ElapsedSeconds, const FHttpFlushTimeLimit& Limit, const EHttpFlushReason FlushReason) const
{
	const TArray<TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>> Left = GetRequestsCopy();
	UE_LOG(LogHttp, Warning, TEXT("FHttpManager::Flush(%s) passed its hard limit of %.3fs after %.3fs; abandoning %d request(s):"),
		LexToString(FlushReason), Limit.HardLimitSeconds, ElapsedSeconds, Left.Num());
	for (const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request : Left)
	{
		UE_LOG(LogHttp, Warning, TEXT("  %p %s %s"), &Request.Get(), *Request->GetVerb(), *Request->GetURL());
	}
}

void FHttpManager::Shutdown()
{
	// Nothing may call back into game code that is going away.
	for (const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request : GetRequestsCopy())
	{
		Request->UnbindDelegates();
	}
	Flush(EHttpFlushReason::Shutdown);
}
