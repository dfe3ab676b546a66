#pragma once

#include "HAL/CriticalSection.h"

/** Holds a critical section for the life of the scope. */
class FScopeLock
{
public:
	explicit FScopeLock(FCriticalSection* InSynchObject) : SynchObject(InSynchObject) { SynchObject->Lock(); }
	~FScopeLock() { SynchObject->Unlock(); }
	FScopeLock(const FScopeLock&) = delete;
	FScopeLock& operator=(const FScopeLock&) = delete;

private:
	FCriticalSection* SynchObject;
};
