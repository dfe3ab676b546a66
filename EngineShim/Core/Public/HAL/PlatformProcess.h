#pragma once

#include <chrono>
#include <thread>

#include "CoreTypes.h"

struct FPlatformProcess
{
	/** Sleeps this thread for Seconds (0 yields). */
	static void Sleep(const float Seconds)
	{
		if (Seconds <= 0.0f)
		{
			std::this_thread::yield();
			return;
		}
		std::this_thread::sleep_for(std::chrono::duration<float>(Seconds));
	}
	static void SleepNoStats(const float Seconds) { Sleep(Seconds); }
};
