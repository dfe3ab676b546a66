#pragma once

// Holds a critical section for the lifetime of the scope, as the engine's FScopeLock does.

#include "HAL/CriticalSection.h"
#include "Misc/AssertionMacros.h"

class FScopeLock
{
public:
	explicit FScopeLock(FCriticalSection* InSynchObject)
		: SynchObject(InSynchObject)
	{
		check(SynchObject);
		SynchObject->Lock();
	}

	~FScopeLock() { Unlock(); }

	FScopeLock(const FScopeLock&) = delete;
	FScopeLock& operator=(const FScopeLock&) = delete;

	/** Releases the lock before the scope ends. */
	void Unlock()
	{
		if (SynchObject)
		{
			SynchObject->Unlock();
			SynchObject = nullptr;
		}
	}

private:
	FCriticalSection* SynchObject;
};
