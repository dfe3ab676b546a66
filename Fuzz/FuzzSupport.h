#pragma once

// Helpers shared by the fuzz targets.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "CoreMinimal.h"

namespace TalvaneFuzz
{
	/** The input as text, decoded from UTF-8 as the HTTP module decodes a body (invalid sequences become '?'). */
	FString TextOf(const uint8_t* Data, size_t Size);

	/** Stops the console echo of the log, so a target's speed is its own; call once at start. */
	void SilenceConsole();

	/** Reports a broken property of the code under test and stops, so libFuzzer keeps the input. */
	[[noreturn]] void Fail(const char* What);

	/**
	 * Counts the lines written to the log while it lives. Usable on multiple threads, so the log hands
	 * it every line at once (the engine feeds other devices late, from its logging thread).
	 */
	class FLogLineCounter : public FOutputDevice
	{
	public:
		FLogLineCounter();
		virtual ~FLogLineCounter() override;
		virtual void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) override;
		virtual bool CanBeUsedOnAnyThread() const override { return true; }
		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }
		std::atomic<int32> Lines = 0;
	};
}
