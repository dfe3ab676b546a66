// talvane-reference-server: serves the cloud and local chat wire formats on loopback until
// SIGINT or SIGTERM, for tests, benchmarks and trying the chat program without a real service.

#include "ReferenceServer.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>

int main(int ArgCount, char** Args)
{
	TalvaneReference::FServerOptions Options;
	bool bQuiet = false;

	CLI::App App{"Local server speaking the cloud and local chat wire formats, with fault scenarios"};
	App.add_option("--host", Options.Host, "Address to listen on")->capture_default_str();
	App.add_option("--port", Options.Port, "Port to listen on (0: a free port)")->capture_default_str()->check(CLI::Range(0, 65535));
	App.add_option("--api-key", Options.ApiKey, "Bearer token the chat and FIM paths demand (empty: none)")->capture_default_str();
	App.add_option("--prefix", Options.CloudPrefix, "Path prefix of the cloud paths")->capture_default_str();
	App.add_option("--threads", Options.Threads, "Worker threads")->capture_default_str()->check(CLI::Range(1, 4096));
	App.add_flag("--quiet", bQuiet, "Do not log one line per request on stderr");
	CLI11_PARSE(App, ArgCount, Args);
	Options.bLogRequests = !bQuiet;

	// Block the stop signals before any thread starts, so every worker inherits the mask and the
	// main thread alone receives them through sigwait.
	sigset_t StopSignals;
	sigemptyset(&StopSignals);
	sigaddset(&StopSignals, SIGINT);
	sigaddset(&StopSignals, SIGTERM);
	pthread_sigmask(SIG_BLOCK, &StopSignals, nullptr);

	TalvaneReference::FReferenceServer Server(Options);
	if (Server.Start() < 0)
	{
		return 1;
	}
	std::printf("listening on %s\n", Server.GetHostPort().c_str());
	std::fflush(stdout);

	int Signal = 0;
	sigwait(&StopSignals, &Signal);
	Server.Stop();
	return 0;
}
