#pragma once

#include "CoreMinimal.h"
#include "HAL/CriticalSection.h"
#include "Math/UnrealMathUtility.h"

namespace TalvaneHttp
{
	/**
	 * The body of one response, kept by the plugin itself. The engine hands each chunk to Receive on
	 * its HTTP thread (the request's receive-stream delegate); the game thread moves what arrived
	 * into its own copy with TakeReceived. Only the hand-over buffer is shared, under this object's
	 * lock, so nothing on the game thread ever reads memory the HTTP thread is writing.
	 *
	 * The game thread's copy is a list of blocks that are filled and never reallocated: taking bytes
	 * over copies only those bytes, however long the body has grown, so no progress report ever pays
	 * for moving a megabyte-long body to a bigger buffer.
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

		/** Game thread: how many bytes have been taken so far. */
		int32 Num() const { return TakenCount; }

		/**
		 * Game thread: calls InVisit(const uint8* Data, int32 Count) for each stretch of the bytes
		 * taken from InOffset on, in order; nothing when InOffset is at or past the end.
		 */
		template <typename VisitType>
		void VisitFrom(int32 InOffset, VisitType&& InVisit) const;

		/** Game thread: appends the bytes taken from InOffset on to OutBytes. */
		void CopyFrom(int32 InOffset, TArray<uint8>& OutBytes) const;

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
		/** Game thread only: the bytes taken, in blocks that are never reallocated once reserved. */
		TArray<TArray<uint8>> Blocks;
		int32 TakenCount = 0;

		void AppendToBlocks(const uint8* InData, int32 InCount);
	};

	template <typename VisitType>
	void FTalvaneReceivedBody::VisitFrom(const int32 InOffset, VisitType&& InVisit) const
	{
		// New bytes lie in the last blocks, so the search for InOffset starts at the end.
		int32 BlockIndex = Blocks.Num();
		int32 BlockStart = TakenCount;
		while (BlockIndex > 0 && BlockStart > InOffset)
		{
			--BlockIndex;
			BlockStart -= Blocks[BlockIndex].Num();
		}
		for (; BlockIndex < Blocks.Num(); ++BlockIndex)
		{
			const TArray<uint8>& Block = Blocks[BlockIndex];
			const int32 Skip = FMath::Max(InOffset - BlockStart, 0);
			if (Skip < Block.Num())
			{
				InVisit(Block.GetData() + Skip, Block.Num() - Skip);
			}
			BlockStart += Block.Num();
		}
	}
}
