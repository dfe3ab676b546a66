#pragma once

#include "CoreMinimal.h"
#include "HAL/PlatformMisc.h"
#include "HAL/PlatformTime.h"
#include "Misc/AutomationTest.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

/**
 * Full garbage collections at random moments, as the engine may run one on any frame. The moments
 * come from a seed the test notes as its info (shown with a failed test's report); setting
 * TALVANE_GC_SEED to it replays them.
 */
class FRandomCollections
{
public:
	/** Picks the seed (TALVANE_GC_SEED, or the clock) and prints it as the test's info. */
	explicit FRandomCollections(FAutomationTestBase& InTest, const float InChance = 0.05f)
		: Chance(InChance)
	{
		const FString Fixed = FPlatformMisc::GetEnvironmentVariable(TEXT("TALVANE_GC_SEED"));
		Seed = Fixed.IsEmpty() ? static_cast<uint32>(FPlatformTime::Cycles64()) : static_cast<uint32>(FCString::Atoi64(*Fixed));
		State = Seed != 0 ? Seed : 1;
		InTest.AddInfo(FString::Printf(TEXT("Garbage collections at random moments, seed %u (TALVANE_GC_SEED replays it)"), Seed));
	}

	/** A number in [0, 1) from the seeded sequence, for other random choices of the same test. */
	float Next()
	{
		// xorshift32: small, and the same on every platform.
		State ^= State << 13;
		State ^= State >> 17;
		State ^= State << 5;
		return static_cast<float>(State >> 8) / static_cast<float>(1u << 24);
	}

	/** Collects now with the chance given at construction; returns whether it did. */
	bool MaybeCollect()
	{
		if (Next() >= Chance)
		{
			return false;
		}
		CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		++NumCollections;
		return true;
	}

	uint32 GetSeed() const { return Seed; }
	int32 GetNumCollections() const { return NumCollections; }

private:
	float Chance;
	uint32 Seed = 0;
	uint32 State = 1;
	int32 NumCollections = 0;
};

#endif
