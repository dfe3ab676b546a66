#pragma once

// The engine's limits of the sized integer types that the plugin uses.

#include "CoreTypes.h"

#define MAX_int32 ((int32)0x7fffffff)
#define MAX_int64 ((int64)0x7fffffffffffffffLL)

#define MAX_flt (3.402823466e+38F)
#define MAX_dbl (1.7976931348623158e+308)

/** The limits of a numeric type; the stand-in declares the floating-point ones the plugin uses. */
template <typename NumericType>
struct TNumericLimits;

template <>
struct TNumericLimits<float>
{
	static constexpr float Max() { return MAX_flt; }
	static constexpr float Lowest() { return -Max(); }
};

template <>
struct TNumericLimits<double>
{
	static constexpr double Max() { return MAX_dbl; }
	static constexpr double Lowest() { return -Max(); }
};
