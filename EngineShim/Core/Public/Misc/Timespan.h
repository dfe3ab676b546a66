#pragma once

// The part of the engine's time span that is used: latent test timeouts, lengths between dates.
// Ticks are 100 nanoseconds, as in the engine.

#include "CoreTypes.h"

namespace ETimespan
{
	inline constexpr int64 TicksPerMillisecond = 10000;
	inline constexpr int64 TicksPerSecond = 10000000;
	inline constexpr int64 TicksPerMinute = 600000000;
}

/** A length of time, counted in 100-nanosecond ticks. */
struct FTimespan
{
	FTimespan() = default;
	FTimespan(const int64 InTicks) : Ticks(InTicks) {}
	FTimespan(const int32 Hours, const int32 Minutes, const int32 Seconds)
		: Ticks((static_cast<int64>(Hours) * 3600 + static_cast<int64>(Minutes) * 60 + Seconds) * ETimespan::TicksPerSecond)
	{
	}

	static FTimespan Zero() { return FTimespan(0); }
	static FTimespan FromMinutes(const double Minutes) { return FromTicks(Minutes * ETimespan::TicksPerMinute); }
	static FTimespan FromSeconds(const double Seconds) { return FromTicks(Seconds * ETimespan::TicksPerSecond); }
	static FTimespan FromMilliseconds(const double Milliseconds) { return FromTicks(Milliseconds * ETimespan::TicksPerMillisecond); }

	int64 GetTicks() const { return Ticks; }
	double GetTotalSeconds() const { return static_cast<double>(Ticks) / ETimespan::TicksPerSecond; }
	double GetTotalMilliseconds() const { return static_cast<double>(Ticks) / ETimespan::TicksPerMillisecond; }
	bool IsZero() const { return Ticks == 0; }

	FTimespan operator+(const FTimespan& Other) const { return FTimespan(Ticks + Other.Ticks); }
	FTimespan operator-(const FTimespan& Other) const { return FTimespan(Ticks - Other.Ticks); }
	bool operator==(const FTimespan& Other) const { return Ticks == Other.Ticks; }
	bool operator!=(const FTimespan& Other) const { return Ticks != Other.Ticks; }
	bool operator<(const FTimespan& Other) const { return Ticks < Other.Ticks; }
	bool operator<=(const FTimespan& Other) const { return Ticks <= Other.Ticks; }
	bool operator>(const FTimespan& Other) const { return Ticks > Other.Ticks; }
	bool operator>=(const FTimespan& Other) const { return Ticks >= Other.Ticks; }

private:
	/** Rounds to the nearest tick, as the engine does. */
	static FTimespan FromTicks(const double InTicks)
	{
		return FTimespan(static_cast<int64>(InTicks < 0.0 ? InTicks - 0.5 : InTicks + 0.5));
	}

	int64 Ticks = 0;
};
