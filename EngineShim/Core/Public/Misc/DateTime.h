#pragma once

// The part of the engine's date and time that is used: now, HTTP dates, and the span between two
// dates. Ticks are 100 nanoseconds since midnight, 1 January of year 1, as in the engine.

#include "Containers/UnrealString.h"
#include "CoreTypes.h"
#include "Misc/Timespan.h"

struct CORE_API FDateTime
{
	FDateTime() = default;
	explicit FDateTime(const int64 InTicks) : Ticks(InTicks) {}
	FDateTime(int32 Year, int32 Month, int32 Day, int32 Hour = 0, int32 Minute = 0, int32 Second = 0, int32 Millisecond = 0);

	/** The current time in UTC. */
	static FDateTime UtcNow();

	/**
	 * Parses a date of an HTTP header: RFC 1123 ("Sun, 06 Nov 1994 08:49:37 GMT"), RFC 850
	 * ("Sunday, 06-Nov-94 08:49:37 GMT") or asctime ("Sun Nov  6 08:49:37 1994"). False, with
	 * OutDateTime untouched, for anything else.
	 */
	static bool ParseHttpDate(const FString& HttpDate, FDateTime& OutDateTime);

	static bool Validate(int32 Year, int32 Month, int32 Day, int32 Hour, int32 Minute, int32 Second, int32 Millisecond);

	int64 GetTicks() const { return Ticks; }

	FTimespan operator-(const FDateTime& Other) const { return FTimespan(Ticks - Other.Ticks); }
	FDateTime operator+(const FTimespan& Span) const { return FDateTime(Ticks + Span.GetTicks()); }
	bool operator==(const FDateTime& Other) const { return Ticks == Other.Ticks; }
	bool operator<(const FDateTime& Other) const { return Ticks < Other.Ticks; }

private:
	int64 Ticks = 0;
};
