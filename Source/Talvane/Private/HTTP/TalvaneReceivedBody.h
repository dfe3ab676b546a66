#pragma once

#include "CoreMinimal.h"
#include "HAL/CriticalSection.h"

namespace TalvaneHttp
{
	/**
	 * The body of one response, kept by the plugin itself. The engine hands each chunk to Receive on
	 * its HTTP thread (the request's receive-stream delegate); the game thread moves what arrived
	 * into its own copy with TakeReceived. Only the hand-over buffer is shared, under this object's
	 * lock, so nothing on the game thread ever reads memory the HTTP thread is writing.
	 */
	class TALVANE_API FTalvaneReceivedBody
	{
	public:
		/**
		 * HTTP thread: appends a chunk. False (which fails the request) only when the body would
		 * outgrow an array, so a runaway answer ends as a failure instead of corrupting memory.
		 */
		bool Receive(const void* InData, int64 InLength);

		/** Game thread: moves the bytes received since the last call to the end of the body; returns how many. */
		int32 TakeReceived();

		/** Game thread: the bytes taken so far. */
		const TArray<uint8>& GetBytes() const { return Bytes; }

		/** Game thread: the bytes taken so far, decoded from UTF-8. */
		FString ToString() const;

		/** Game thread: how many bytes of the body the transport has already written to the progress log. */
		int32 LoggedBytes = 0;

	private:
		FCriticalSection Lock;
		/** Arrived and not yet taken; under Lock. */
		TArray<uint8> Pending;
		/** Every byte received, taken or not; under Lock. */
		int64 ReceivedCount = 0;
		/** Game thread only. */
		TArray<uint8> Bytes;
	};
}
