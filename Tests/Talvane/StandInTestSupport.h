#pragma once

// For the tests that only the engine stand-in can run (they live outside Source/, which ships): a
// loopback port where nothing listens, found by starting an in-process reference server and
// stopping it again.

#include "CoreMinimal.h"
#include "ReferenceServer.h"

#if defined(__SANITIZE_THREAD__)
/**
 * The in-process reference server runs on Debian's compiled cpp-httplib, which ThreadSanitizer
 * cannot see into: hand-offs between its pool threads inside that library look like races. Only
 * reports with a frame in that library are suppressed. Weak, so that a program defining its own
 * still links.
 */
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions()
{
	return "race:libcpp-httplib.so\n";
}
#endif

namespace TalvaneStandInTest
{
	/** A loopback URL where nothing listens: a server's port, after the server has stopped. */
	inline FString GetClosedPortURL()
	{
		TalvaneReference::FServerOptions Options;
		Options.Threads = 1;
		TalvaneReference::FReferenceServer Closed(Options);
		const int Port = Closed.Start();
		Closed.Stop();
		return FString::Printf(TEXT("http://127.0.0.1:%d/chat/completions"), Port);
	}
}
