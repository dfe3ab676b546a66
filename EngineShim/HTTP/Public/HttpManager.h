#pragma once

#include <memory>
#include <mutex>

#include "Containers/Array.h"
#include "CoreTypes.h"
#include "HttpFwd.h"

class FCurlHttpRequest;
class FCurlTransfer;
class FCurlWorker;

/** Why the manager is asked to flush; each reason has its own time limits in the "[HTTP]" ini section. */
enum class EHttpFlushReason : uint8
{
	/** An ordinary flush asked for by game code. */
	Default,
	/** The application is going to the background. */
	Background,
	/** The module is shutting down. */
	Shutdown,
	/** Everything must finish, however long it takes. */
	FullFlush,
	Count
};

HTTP_API const TCHAR* LexToString(const EHttpFlushReason& FlushReason);

/**
 * Keeps the requests in flight and delivers their delegates on the game thread: a program
 * ticks the manager (the engine does it every frame), and every progress, header and
 * completion delegate runs inside Tick (or inside Flush, which ticks).
 */
class HTTP_API FHttpManager
{
public:
	FHttpManager();
	virtual ~FHttpManager();

	FHttpManager(const FHttpManager&) = delete;
	FHttpManager& operator=(const FHttpManager&) = delete;

	/** Delivers what arrived for every request in flight and completes the finished ones. Always returns true. */
	virtual bool Tick(float DeltaSeconds);

	/**
	 * Ticks until no request is left. Past the reason's soft limit the requests left are
	 * cancelled; past its hard limit they are abandoned (the flush returns). A negative limit
	 * means none.
	 */
	virtual void Flush(EHttpFlushReason FlushReason);

	/** Re-reads the flush time limits from the "[HTTP]" section of the engine ini. */
	void UpdateConfigs();

	/** The module's shutdown: unbinds the delegates of every request, then flushes with the Shutdown limits. */
	void Shutdown();

private:
	friend class FCurlHttpRequest;
	friend class FHttpModule;

	struct FHttpFlushTimeLimit
	{
		double SoftLimitSeconds = 2.0;
		double HardLimitSeconds = 4.0;
	};

	/** The module's HttpTimeout, for the HTTP thread to apply to requests that set no time-out. */
	void SetDefaultTimeout(float Seconds) const;
	/**
	 * Takes a started request into the manager and hands its transfer to the HTTP thread; false
	 * when there is no HTTP thread. Asserts while the manager flushes, as the engine does.
	 */
	bool AddThreadedRequest(const TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>& Request, const std::shared_ptr<FCurlTransfer>& Transfer);
	std::weak_ptr<FCurlWorker> GetWorker() const { return Worker; }
	TArray<TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>> GetRequestsCopy() const;
	int32 GetRequestCount() const;
	void CancelAllRequests() const;
	void LogAbandonedRequests(double ElapsedSeconds, const FHttpFlushTimeLimit& Limit, EHttpFlushReason FlushReason) const;

	mutable std::mutex RequestLock;
	TArray<TSharedRef<FCurlHttpRequest, ESPMode::ThreadSafe>> Requests;
	FHttpFlushTimeLimit FlushTimeLimits[static_cast<int32>(EHttpFlushReason::Count)];
	std::shared_ptr<FCurlWorker> Worker;
	bool bFlushing = false;
};
