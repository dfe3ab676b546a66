#include "ReferenceServer.h"

#include "RequestHandler.h"
#include "ServerConnection.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace TalvaneReference
{
	namespace
	{
		constexpr int ListenBacklog = 1024;
		constexpr int StartTimeoutMs = 5000;

		void LogRequest(const httplib::Request& InRequest, const httplib::Response& InResponse)
		{
			const std::string Scenario = InRequest.get_header_value("X-Talvane-Scenario");
			// One write per line keeps the lines of concurrent workers whole.
			std::fprintf(stderr, "talvane-reference-server: %s %s -> %d%s%s\n", InRequest.method.c_str(),
				InRequest.target.c_str(), InResponse.status, Scenario.empty() ? "" : " scenario=", Scenario.c_str());
		}
	}

	struct FReferenceServer::FState
	{
		explicit FState(const FServerOptions& InOptions)
			: Handler(InOptions.ApiKey, InOptions.CloudPrefix, Control)
			, Server(Control)
		{
			const size_t Threads = static_cast<size_t>(std::max(1, InOptions.Threads));
			Server.new_task_queue = [Threads]()
			{
				return new httplib::ThreadPool(Threads);
			};
			// The state owns the server and outlives its workers (Stop joins them before the state
			// goes), so the handler may hold a plain pointer to it.
			const httplib::Server::Handler Handle = [this](const httplib::Request& InRequest, httplib::Response& OutResponse)
			{
				Handler.Handle(InRequest, OutResponse);
			};
			Server.Get(".*", Handle).Post(".*", Handle).Put(".*", Handle).Patch(".*", Handle).Delete(".*", Handle).Options(".*", Handle);
			if (InOptions.bLogRequests)
			{
				Server.set_logger(&LogRequest);
			}
		}

		FServerControl Control;
		FRequestHandler Handler;
		FConnectionServer Server;
		std::thread ListenThread;
		std::atomic<bool> bListenEnded{false};
	};

	FReferenceServer::FReferenceServer(FServerOptions InOptions)
		: Options(std::move(InOptions))
	{
	}

	FReferenceServer::~FReferenceServer()
	{
		Stop();
	}

	int FReferenceServer::Start()
	{
		if (State)
		{
			return Port;
		}
		std::unique_ptr<FState> NewState = std::make_unique<FState>(Options);
		FState* const Raw = NewState.get();
		const int BoundPort = Options.Port == 0 ? Raw->Server.bind_to_any_port(Options.Host)
			: (Raw->Server.bind_to_port(Options.Host, Options.Port) ? Options.Port : -1);
		if (BoundPort <= 0)
		{
			std::fprintf(stderr, "talvane-reference-server: cannot bind %s:%d\n", Options.Host.c_str(), Options.Port);
			return -1;
		}
		Raw->Server.WidenBacklog(ListenBacklog);
		// The thread is joined by Stop before the state it points into goes away.
		Raw->ListenThread = std::thread([Raw]()
		{
			Raw->Server.listen_after_bind();
			Raw->bListenEnded = true;
		});
		// Stopping before the accept loop runs would be lost, so Start returns only once it runs.
		for (int Waited = 0; !Raw->Server.is_running() && Waited < StartTimeoutMs; ++Waited)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
		}
		State = std::move(NewState);
		Port = BoundPort;
		return Port;
	}

	void FReferenceServer::Stop()
	{
		if (!State)
		{
			return;
		}
		State->Control.RequestStop();
		// cpp-httplib ignores a stop that comes before its accept loop runs, so wait for the loop first.
		while (!State->Server.is_running() && !State->bListenEnded)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
		}
		State->Server.stop();
		if (State->ListenThread.joinable())
		{
			State->ListenThread.join();
		}
		State.reset();
		Port = -1;
	}

	int FReferenceServer::GetPort() const
	{
		return Port;
	}

	std::string FReferenceServer::GetBaseURL() const
	{
		return "http://" + GetHostPort() + FRequestHandler::NormalizePrefix(Options.CloudPrefix);
	}

	std::string FReferenceServer::GetHostPort() const
	{
		const bool bAnyAddress = Options.Host.empty() || Options.Host == "0.0.0.0";
		return (bAnyAddress ? std::string("127.0.0.1") : Options.Host) + ":" + std::to_string(Port);
	}

	long long FReferenceServer::GetLastBodyStartNs() const
	{
		return State ? State->Control.GetLastBodyStartNs() : 0;
	}
}
