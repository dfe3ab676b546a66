#pragma once

#include "CoreTypes.h"
#include "Logging/LogVerbosity.h"
#include "UObject/NameTypes.h"

/** Receives log lines. Register one with GLog->AddOutputDevice to see every line written. */
class CORE_API FOutputDevice
{
public:
	virtual ~FOutputDevice() = default;
	virtual void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) = 0;
	virtual void Flush() {}
	/** Whether lines may arrive from threads other than the game thread. */
	virtual bool CanBeUsedOnAnyThread() const { return false; }
	/** Whether the device may be fed by several threads at once (it guards its own state). */
	virtual bool CanBeUsedOnMultipleThreads() const { return false; }
};
