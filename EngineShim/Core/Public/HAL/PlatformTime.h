#pragma once

#include <chrono>

#include "CoreTypes.h"

/** Monotonic time, as the engine's platform layer gives it. */
struct FPlatformTime
{
	/** Seconds since an arbitrary fixed point. */
	static double Seconds()
	{
		return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
	}
	static uint64 Cycles64()
	{
		return static_cast<uint64>(std::chrono::steady_clock::now().time_since_epoch().count());
	}
	static double GetSecondsPerCycle64()
	{
		return static_cast<double>(std::chrono::steady_clock::period::num) / std::chrono::steady_clock::period::den;
	}
};
