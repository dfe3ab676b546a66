#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

namespace TalvaneReference
{
	/**
	 * Stop flag, interruptible waits and the set of open connections of one server. Handlers and
	 * content providers run on the worker thread that owns their connection, which lets them ask
	 * whether that connection's client is still there.
	 */
	class FServerControl
	{
	public:
		/** Raises the stop flag, wakes every wait and shuts down every open connection. */
		void RequestStop();

		bool IsStopping() const;

		/**
		 * Sleeps for InMs milliseconds; returns false early when the server stops or the client of the
		 * calling worker's connection goes away.
		 */
		bool Wait(int InMs) const;

		void TrackSocket(int InSocket);
		void UntrackSocket(int InSocket);

		/** True when the peer of the calling worker's connection has closed or reset it. */
		static bool IsPeerGone();

		/** Shuts down the calling worker's connection so that it closes without any further byte. */
		static void AbandonConnection();

		/** Marks InSocket as the connection served by the calling thread (-1: none). */
		static void SetCurrentSocket(int InSocket);

		/** Notes that a chunked body has just written its first byte to its socket. */
		void NoteBodyStarted() const;

		/** Steady-clock nanoseconds of the latest NoteBodyStarted, or 0 before the first. */
		long long GetLastBodyStartNs() const { return LastBodyStartNs.load(); }

	private:
		std::atomic<bool> bStopping{false};
		mutable std::atomic<long long> LastBodyStartNs{0};
		mutable std::mutex Mutex;
		mutable std::condition_variable WakeUp;
		std::set<int> OpenSockets;
	};

	/**
	 * The cpp-httplib server with its own connection loop: it tracks every accepted socket (so Stop
	 * can cut stalled and streaming connections), disables Nagle's algorithm (streams are many small
	 * writes) and waits on sockets in short slices that notice the stop flag.
	 */
	class FConnectionServer final : public httplib::Server
	{
	public:
		explicit FConnectionServer(FServerControl& InControl);

		/** Re-listens on the bound socket with a backlog that holds a burst of concurrent connects. */
		void WidenBacklog(int InBacklog);

	private:
		bool process_and_close_socket(socket_t InSocket) override;

		FServerControl& Control;
	};
}
