#pragma once

#include "CoreMinimal.h"

class UFunction;

/**
 * The parameter block of one call through ProcessEvent, laid out as the function's parameter
 * properties say: zeroed, every parameter constructed, and every parameter destroyed again at the
 * end, as the engine's own callers of ProcessEvent do.
 */
class FTalvaneToolParms
{
public:
	explicit FTalvaneToolParms(const UFunction& InFunction);
	~FTalvaneToolParms();

	FTalvaneToolParms(const FTalvaneToolParms&) = delete;
	FTalvaneToolParms& operator=(const FTalvaneToolParms&) = delete;

	/** The block, or null for a function without parameters. */
	uint8* Get() const { return Parms; }

private:
	const UFunction& Function;
	TArray<uint8> Storage;
	uint8* Parms = nullptr;
};
