#pragma once

// The engine's archive, reduced to what a byte sink needs: Serialize and the error flag. The HTTP
// module hands a response body to an archive chunk by chunk, and fails the request once the
// archive reports an error.

#include "CoreTypes.h"

class FArchive
{
public:
	virtual ~FArchive() = default;

	/** Reads or writes Length bytes at V; a sink stores them. */
	virtual void Serialize(void* /*V*/, int64 /*Length*/) {}

	/** Marks the archive as failed; it stays so until ClearError. */
	void SetError() { bArIsError = true; }
	void ClearError() { bArIsError = false; }
	bool IsError() const { return bArIsError; }
	bool GetError() const { return bArIsError; }

private:
	bool bArIsError = false;
};
