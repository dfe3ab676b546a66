#pragma once

#include <memory>
#include <string>

namespace TalvaneReference
{
	/** How a reference server listens and what it demands of its callers. */
	struct FServerOptions
	{
		std::string Host = "127.0.0.1";
		int Port = 0;                    // 0: the system chooses a free port
		std::string ApiKey = "test-key"; // "Authorization: Bearer <ApiKey>" required on the chat/FIM paths; empty: no check
		std::string CloudPrefix = "/";   // cloud paths are <prefix>chat/completions and <prefix>beta/completions
		int Threads = 256;               // worker threads (must serve >= 200 concurrent streams)
		bool bLogRequests = false;       // one line per request on stderr
	};

	/**
	 * A local HTTP server that answers like the cloud chat service (chat and fill-in-the-middle
	 * completions) and like a local chat server, whole or streamed as server-sent events, with
	 * deterministic texts that echo the conversation it received. The request header
	 * "X-Talvane-Scenario" selects a fault to play (error statuses, dropped connections, stalls,
	 * split UTF-8, keep-alive comments, huge answers, ...). "/echo" reflects any request back.
	 */
	class FReferenceServer
	{
	public:
		explicit FReferenceServer(FServerOptions InOptions = {});
		~FReferenceServer();

		FReferenceServer(const FReferenceServer&) = delete;
		FReferenceServer& operator=(const FReferenceServer&) = delete;

		/** Binds and starts serving on a background thread; returns the port, or -1 when binding fails. */
		int Start();

		/** Stops serving and joins every worker; idempotent, prompt even with stalled or streaming requests. */
		void Stop();

		/** The bound port, or -1 before a successful Start. */
		int GetPort() const;

		/** "http://HOST:PORT" followed by the cloud prefix, e.g. "http://127.0.0.1:41234/". */
		std::string GetBaseURL() const;

		/** "HOST:PORT", the address a local chat request carries. */
		std::string GetHostPort() const;

		/**
		 * Steady-clock nanoseconds at which the latest chunked answer (a stream, a paced body) wrote
		 * its first byte to the socket, or 0 before any: the start of a client's latency.
		 */
		long long GetLastBodyStartNs() const;

	private:
		struct FState;

		FServerOptions Options;
		std::unique_ptr<FState> State;
		int Port = -1;
	};
}
