#pragma once

#include <mutex>
#include <string>

#include "CoreMinimal.h"
#include "Misc/OutputDevice.h"

/**
 * Watches the plugin's log for the status code of a failed request: the failure report carries the
 * raw error body, and the plugin writes the code into its error line right after.
 */
class FChatLogCapture : public FOutputDevice
{
public:
	void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) override;
	bool CanBeUsedOnAnyThread() const override { return true; }
	bool CanBeUsedOnMultipleThreads() const override { return true; }

	void Reset();
	/** The status code of the last failed request since Reset; -1 when none was logged. */
	int32 GetLastCode() const;

private:
	mutable std::mutex Mutex;
	int32 LastCode = -1;
};
