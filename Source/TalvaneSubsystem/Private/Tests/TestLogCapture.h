#pragma once

#include "CoreMinimal.h"
#include "HAL/CriticalSection.h"
#include "Misc/OutputDevice.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Misc/ScopeLock.h"

#if WITH_DEV_AUTOMATION_TESTS

/** One captured log line. */
struct FCapturedLogLine
{
	FName Category;
	ELogVerbosity::Type Verbosity = ELogVerbosity::Log;
	FString Text;
};

/**
 * Keeps the lines of the plugin's and the HTTP module's log categories while it lives. Lines may come
 * from any thread (the HTTP thread logs too), so they are stored under a lock.
 */
class FTestLogCapture : public FOutputDevice
{
public:
	FTestLogCapture() { GLog->AddOutputDevice(this); }
	virtual ~FTestLogCapture() override { GLog->RemoveOutputDevice(this); }

	virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

	virtual void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
	{
		if (Category == FName(TEXT("TalvaneLog")) || Category == FName(TEXT("LogHttp")))
		{
			FScopeLock ScopeLock(&Lock);
			Lines.Add({Category, Verbosity, FString(V)});
		}
	}

	/** The lines so far, copied. */
	TArray<FCapturedLogLine> GetLines()
	{
		FScopeLock ScopeLock(&Lock);
		return Lines;
	}

private:
	FCriticalSection Lock;
	TArray<FCapturedLogLine> Lines;
};

#endif
