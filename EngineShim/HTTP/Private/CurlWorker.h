#pragma once

// The HTTP thread: one thread that runs every transfer on a libcurl multi handle. It sleeps in
// curl_multi_poll and is woken with curl_multi_wakeup when work arrives (a new transfer, a
// cancel, a stop), so the game thread never waits for the network.

#include <atomic>
#include <condition_variable>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "CoreTypes.h"
#include "CurlTransfer.h"

class FCurlWorker
{
public:
	FCurlWorker() = default;
	~FCurlWorker();

	FCurlWorker(const FCurlWorker&) = delete;
	FCurlWorker& operator=(const FCurlWorker&) = delete;

	/**
	 * Makes the multi handle and starts the thread; false when either fails. MaxHostConnections above 0
	 * caps the open connections to one host and port (the engine's "[HTTP] HttpMaxConnectionsPerServer",
	 * 16 by default); transfers past the cap wait inside libcurl for a free connection.
	 */
	bool Start(int32 MaxHostConnections = 0);

	/** Stops the thread; transfers still running end as abandoned. Safe to call twice. */
	void Stop();

	/** Queues a transfer; it starts on the HTTP thread. */
	void AddTransfer(const std::shared_ptr<FCurlTransfer>& Transfer);

	/** Asks the HTTP thread to end a transfer as cancelled (nothing happens when it already ended). */
	void CancelTransfer(const std::shared_ptr<FCurlTransfer>& Transfer);

	/** The inactivity time-out of transfers whose request set none (the module's HttpTimeout); read on the HTTP thread. */
	void SetDefaultTimeout(double Seconds) { DefaultTimeoutSeconds = Seconds; }

	/** Counts transfers that ended; read it, tick, then wait for it to change. */
	uint64 GetEndedCount() const;

	/** Waits until the ended count differs from SeenCount or Seconds have passed. */
	void WaitForEnd(uint64 SeenCount, double Seconds) const;

private:
	void Run();
	void TakeQueued(std::vector<std::shared_ptr<FCurlTransfer>>& OutAdded, std::vector<std::shared_ptr<FCurlTransfer>>& OutCancelled, bool& bOutStop);
	void StartTransfer(const std::shared_ptr<FCurlTransfer>& Transfer);
	void EndTransfer(FCurlTransfer* Transfer, ECurlTransferEnd End, CURLcode Result = CURLE_OK);
	void CountEnded();
	void ReadFinishedTransfers();
	void EndInactiveTransfers();
	int ComputeWaitMilliseconds() const;

	CURLM* Multi = nullptr;
	std::thread Thread;

	mutable std::mutex QueueMutex;
	std::vector<std::shared_ptr<FCurlTransfer>> QueuedAdds;
	std::vector<std::shared_ptr<FCurlTransfer>> QueuedCancels;
	bool bStopRequested = false;
	std::atomic<double> DefaultTimeoutSeconds{0.0};

	mutable std::condition_variable EndedCondition;
	uint64 EndedCount = 0;

	// HTTP thread only: the transfers on the multi handle.
	std::vector<std::shared_ptr<FCurlTransfer>> Active;
};
