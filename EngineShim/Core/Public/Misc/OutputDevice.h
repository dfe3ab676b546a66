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
	/**
	 * Whether lines may arrive from several threads at once. The engine's GLog feeds a device that says
	 * no from its own logging thread, later than the line was written; the stand-in's log delivers to
	 * such a device at once but writes an Error line when it is added (which fails an automation test),
	 * so a test cannot rely on prompt lines the engine would not give it.
	 */
	virtual bool CanBeUsedOnMultipleThreads() const { return false; }
};
