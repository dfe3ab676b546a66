#include "CurlWorker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
	// Namespace-scope, so they are built when the library loads and outlive the exit hook
	// registered after libcurl's (and OpenSSL's) own.
	std::mutex GRunningWorkersMutex;
	std::vector<FCurlWorker*> GRunningWorkers;

	/**
	 * Stops the HTTP threads still running when the process exits, before OpenSSL tears itself
	 * down (its exit handler was registered earlier, so it runs later). A program that never
	 * unloads the module would otherwise free TLS connections after that.
	 */
	void StopRunningWorkersAtExit()
	{
		std::vector<FCurlWorker*> Workers;
		{
			const std::lock_guard<std::mutex> Lock(GRunningWorkersMutex);
			Workers = GRunningWorkers;
		}
		for (FCurlWorker* Worker : Workers)
		{
			Worker->Stop();
		}
	}

	bool InitializeCurlOnce()
	{
		static std::once_flag Once;
		static bool bInitialized = false;
		std::call_once(Once, []()
		{
			bInitialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
			std::atexit(&StopRunningWorkersAtExit);
		});
		return bInitialized;
	}

	void SetRunning(FCurlWorker* Worker, const bool bRunning)
	{
		const std::lock_guard<std::mutex> Lock(GRunningWorkersMutex);
		GRunningWorkers.erase(std::remove(GRunningWorkers.begin(), GRunningWorkers.end(), Worker), GRunningWorkers.end());
		if (bRunning)
		{
			GRunningWorkers.push_back(Worker);
		}
	}
}

FCurlWorker::~FCurlWorker()
{
	Stop();
}

bool FCurlWorker::Start(const int32 MaxHostConnections)
{
	if (!InitializeCurlOnce())
	{
		return false;
	}
	Multi = curl_multi_init();
	if (!Multi)
	{
		return false;
	}
	if (MaxHostConnections > 0)
	{
		curl_multi_setopt(Multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(MaxHostConnections));
	}
	Thread = std::thread([this]()
	{
		// The thread is joined in Stop before this object goes away.
		Run();
	});
	SetRunning(this, true);
	return true;
}

void FCurlWorker::Stop()
{
	if (Thread.joinable())
	{
		{
			const std::lock_guard<std::mutex> Lock(QueueMutex);
			bStopRequested = true;
		}
		curl_multi_wakeup(Multi);
		Thread.join();
	}
	SetRunning(this, false);
	if (Multi)
	{
		curl_multi_cleanup(Multi);
		Multi = nullptr;
	}
}

void FCurlWorker::AddTransfer(const std::shared_ptr<FCurlTransfer>& Transfer)
{
	{
		const std::lock_guard<std::mutex> Lock(QueueMutex);
		if (!bStopRequested)
		{
			QueuedAdds.push_back(Transfer);
			curl_multi_wakeup(Multi);
			return;
		}
	}
	Transfer->End(ECurlTransferEnd::Abandoned);
}

void FCurlWorker::CancelTransfer(const std::shared_ptr<FCurlTransfer>& Transfer)
{
	const std::lock_guard<std::mutex> Lock(QueueMutex);
	if (!bStopRequested)
	{
		QueuedCancels.push_back(Transfer);
		curl_multi_wakeup(Multi);
	}
}

uint64 FCurlWorker::GetEndedCount() const
{
	const std::lock_guard<std::mutex> Lock(QueueMutex);
	return EndedCount;
}

void FCurlWorker::WaitForEnd(const uint64 SeenCount, const double Seconds) const
{
	std::unique_lock<std::mutex> Lock(QueueMutex);
	EndedCondition.wait_for(Lock, std::chrono::duration<double>(Seconds), [this, SeenCount]()
	{
		return EndedCount != SeenCount;
	});
}

void FCurlWorker::TakeQueued(std::vector<std::shared_ptr<FCurlTransfer>>& OutAdded, std::vector<std::shared_ptr<FCurlTransfer>>& OutCancelled, bool& bOutStop)
{
	const std::lock_guard<std::mutex> Lock(QueueMutex);
	std::swap(OutAdded, QueuedAdds);
	std::swap(OutCancelled, QueuedCancels);
	bOutStop = bStopRequested;
}

void FCurlWorker::Run()
{
	std::vector<std::shared_ptr<FCurlTransfer>> Added;
	std::vector<std::shared_ptr<FCurlTransfer>> Cancelled;
	bool bStop = false;
	for (;;)
	{
		Added.clear();
		Cancelled.clear();
		TakeQueued(Added, Cancelled, bStop);
		if (bStop)
		{
			break;
		}
		for (const std::shared_ptr<FCurlTransfer>& Transfer : Added)
		{
			StartTransfer(Transfer);
		}
		for (const std::shared_ptr<FCurlTransfer>& Transfer : Cancelled)
		{
			EndTransfer(Transfer.get(), ECurlTransferEnd::Cancelled);
		}
		int Running = 0;
		curl_multi_perform(Multi, &Running);
		ReadFinishedTransfers();
		EndInactiveTransfers();
		curl_multi_poll(Multi, nullptr, 0, ComputeWaitMilliseconds(), nullptr);
	}
	while (!Active.empty())
	{
		EndTransfer(Active.back().get(), ECurlTransferEnd::Abandoned);
	}
	for (const std::shared_ptr<FCurlTransfer>& Transfer : Added)
	{
		Transfer->End(ECurlTransferEnd::Abandoned);
	}
}

void FCurlWorker::StartTransfer(const std::shared_ptr<FCurlTransfer>& Transfer)
{
	CURL* EasyHandle = Transfer->CreateEasyHandle();
	if (!EasyHandle)
	{
		Transfer->End(ECurlTransferEnd::Completed, CURLE_FAILED_INIT);
		CountEnded();
		return;
	}
	const CURLMcode AddResult = curl_multi_add_handle(Multi, EasyHandle);
	if (AddResult != CURLM_OK)
	{
		Transfer->End(ECurlTransferEnd::NotAdded, CURLE_OK, AddResult);
		CountEnded();
		return;
	}
	Active.push_back(Transfer);
}

void FCurlWorker::CountEnded()
{
	const std::lock_guard<std::mutex> Lock(QueueMutex);
	++EndedCount;
	EndedCondition.notify_all();
}

void FCurlWorker::EndTransfer(FCurlTransfer* Transfer, const ECurlTransferEnd End, const CURLcode Result)
{
	const auto Found = std::find_if(Active.begin(), Active.end(), [Transfer](const std::shared_ptr<FCurlTransfer>& Candidate)
	{
		return Candidate.get() == Transfer;
	});
	if (Found == Active.end())
	{
		// Already ended: a cancel that crossed the transfer's own end.
		return;
	}
	const std::shared_ptr<FCurlTransfer> Keep = *Found;
	Active.erase(Found);
	curl_multi_remove_handle(Multi, Keep->GetEasyHandle());
	Keep->End(End, Result);
	CountEnded();
}

void FCurlWorker::ReadFinishedTransfers()
{
	int Left = 0;
	while (CURLMsg* Message = curl_multi_info_read(Multi, &Left))
	{
		if (Message->msg != CURLMSG_DONE)
		{
			continue;
		}
		// The message is only valid until its handle leaves the multi handle.
		CURL* EasyHandle = Message->easy_handle;
		const CURLcode Result = Message->data.result;
		const auto Found = std::find_if(Active.begin(), Active.end(), [EasyHandle](const std::shared_ptr<FCurlTransfer>& Candidate)
		{
			return Candidate->GetEasyHandle() == EasyHandle;
		});
		if (Found == Active.end())
		{
			continue;
		}
		EndTransfer(Found->get(), ECurlTransferEnd::Completed, Result);
	}
}

void FCurlWorker::EndInactiveTransfers()
{
	const FCurlTransfer::FClock::time_point Now = FCurlTransfer::FClock::now();
	const double DefaultTimeout = DefaultTimeoutSeconds.load();
	std::vector<FCurlTransfer*> Expired;
	for (const std::shared_ptr<FCurlTransfer>& Transfer : Active)
	{
		const double Timeout = Transfer->GetTimeoutOrDefault(DefaultTimeout);
		if (Timeout > 0.0 && Transfer->GetSecondsSinceActivity(Now) >= Timeout)
		{
			Expired.push_back(Transfer.get());
		}
	}
	for (FCurlTransfer* Transfer : Expired)
	{
		// The engine logs this on the HTTP thread, where it finds the request timed out.
		Transfer->LogTimedOut(Now);
		EndTransfer(Transfer, ECurlTransferEnd::TimedOut);
	}
}

int FCurlWorker::ComputeWaitMilliseconds() const
{
	long CurlMilliseconds = -1;
	curl_multi_timeout(Multi, &CurlMilliseconds);
	// Sleep at most a second even when idle: a missed wake-up then costs little.
	double Wait = CurlMilliseconds < 0 ? 1000.0 : std::min(static_cast<double>(CurlMilliseconds), 1000.0);
	const FCurlTransfer::FClock::time_point Now = FCurlTransfer::FClock::now();
	const double DefaultTimeout = DefaultTimeoutSeconds.load();
	for (const std::shared_ptr<FCurlTransfer>& Transfer : Active)
	{
		const double Timeout = Transfer->GetTimeoutOrDefault(DefaultTimeout);
		if (Timeout > 0.0)
		{
			Wait = std::min(Wait, (Timeout - Transfer->GetSecondsSinceActivity(Now)) * 1000.0);
		}
	}
	return static_cast<int>(std::ceil(std::max(Wait, 0.0)));
}
