#pragma once

// The part of the engine's FMath that is used: Min, Max, Clamp and the random helpers, which draw
// from the C library's rand() as the generic platform math does.

#include <cstdlib>

#include "CoreTypes.h"

struct FMath
{
	template <typename T>
	static constexpr T Min(const T A, const T B) { return A < B ? A : B; }
	template <typename T>
	static constexpr T Max(const T A, const T B) { return A > B ? A : B; }
	template <typename T>
	static constexpr T Clamp(const T X, const T MinValue, const T MaxValue) { return X < MinValue ? MinValue : (X < MaxValue ? X : MaxValue); }

	/** A random number in [0, 1). */
	static float FRand()
	{
		// As the engine's generic math: rand() scaled, with the top value kept below 1.
		constexpr int32 RandMax = 0x00ffffff < RAND_MAX ? 0x00ffffff : RAND_MAX;
		return static_cast<float>(std::rand() & RandMax) / (static_cast<float>(RandMax) + 1.0f);
	}

	/** A random number in [InMin, InMax). */
	static float FRandRange(const float InMin, const float InMax) { return InMin + (InMax - InMin) * FRand(); }
	static double FRandRange(const double InMin, const double InMax) { return InMin + (InMax - InMin) * static_cast<double>(FRand()); }
};
