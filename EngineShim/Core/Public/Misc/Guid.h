#pragma once

#include "Containers/UnrealString.h"
#include "CoreTypes.h"
#include "Templates/TypeHash.h"

enum class EGuidFormats
{
	/** 32 upper-case hex digits: 00000000000000000000000000000000 */
	Digits,
	DigitsLower,
	/** 00000000-0000-0000-0000-000000000000 */
	DigitsWithHyphens,
	DigitsWithHyphensLower,
	/** {00000000-0000-0000-0000-000000000000} */
	DigitsWithHyphensInBraces,
	/** (00000000-0000-0000-0000-000000000000) */
	DigitsWithHyphensInParentheses,
	HexValuesInBraces,
	UniqueObjectGuid,
	Short,
	Base36Encoded,
};

/** A 128-bit identifier; all zero means invalid. */
struct CORE_API FGuid
{
	uint32 A = 0;
	uint32 B = 0;
	uint32 C = 0;
	uint32 D = 0;

	FGuid() = default;
	FGuid(const uint32 InA, const uint32 InB, const uint32 InC, const uint32 InD) : A(InA), B(InB), C(InC), D(InD) {}

	/** A fresh random (version 4) GUID. */
	static FGuid NewGuid();
	/** Reads 32 digits, 36 with hyphens, or 38 in braces or parentheses; either case. */
	static bool Parse(const FString& GuidString, FGuid& OutGuid);
	static bool ParseExact(const FString& GuidString, EGuidFormats Format, FGuid& OutGuid);

	bool IsValid() const { return (A | B | C | D) != 0; }
	void Invalidate() { A = B = C = D = 0; }
	FString ToString(EGuidFormats Format = EGuidFormats::Digits) const;

	friend bool operator==(const FGuid& X, const FGuid& Y) { return ((X.A ^ Y.A) | (X.B ^ Y.B) | (X.C ^ Y.C) | (X.D ^ Y.D)) == 0; }
	friend bool operator!=(const FGuid& X, const FGuid& Y) { return !(X == Y); }
	friend bool operator<(const FGuid& X, const FGuid& Y)
	{
		return X.A != Y.A ? X.A < Y.A : X.B != Y.B ? X.B < Y.B : X.C != Y.C ? X.C < Y.C : X.D < Y.D;
	}
	friend uint32 GetTypeHash(const FGuid& Guid)
	{
		return HashCombine(HashCombine(Guid.A, Guid.B), HashCombine(Guid.C, Guid.D));
	}
};

FORCEINLINE FString LexToString(const FGuid& Value) { return Value.ToString(); }
