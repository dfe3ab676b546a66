#pragma once

#include "CoreMinimal.h"

/**
 * Lets the request manager tell whether a request record still exists when its answer arrives.
 * The manager keeps only a weak reference to the token, so a record destroyed while its request is
 * in flight is never written. A copied or moved record gets a token of its own; an assigned record
 * keeps the one it had, since it is still the same object.
 */
struct TALVANE_API FTalvaneRecordLifetime
{
	FTalvaneRecordLifetime() = default;
	FTalvaneRecordLifetime(const FTalvaneRecordLifetime&) {}
	FTalvaneRecordLifetime(FTalvaneRecordLifetime&&) {}
	FTalvaneRecordLifetime& operator=(const FTalvaneRecordLifetime&) { return *this; }
	FTalvaneRecordLifetime& operator=(FTalvaneRecordLifetime&&) { return *this; }

	/** A weak handle that stays valid as long as the record that owns this token lives. */
	TWeakPtr<uint8> Watch()
	{
		// Made on first use, so records that are never sent cost no allocation.
		if (!Token.IsValid())
		{
			Token = MakeShared<uint8>(0);
		}
		return Token;
	}

	/** Records compare by their fields; the token takes no part. */
	bool operator==(const FTalvaneRecordLifetime&) const { return true; }

private:
	TSharedPtr<uint8> Token;
};
