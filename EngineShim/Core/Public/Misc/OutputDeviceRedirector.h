#pragma once

#include "Misc/OutputDevice.h"

/** The log: hands every line to each registered output device. Safe to use from any thread. */
class CORE_API FOutputDeviceRedirector : public FOutputDevice
{
public:
	static FOutputDeviceRedirector* Get();

	void AddOutputDevice(FOutputDevice* OutputDevice);
	void RemoveOutputDevice(FOutputDevice* OutputDevice);
	bool IsRedirectingTo(FOutputDevice* OutputDevice) const;
	void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) override;
	void Flush() override;
	bool CanBeUsedOnAnyThread() const override { return true; }
	bool CanBeUsedOnMultipleThreads() const override { return true; }
};
