#pragma once

// The engine's thread-safe ticker: delegates that fire on the ticking thread once their delay has
// passed. Time is what Tick is told, not the wall clock: a loop that ticks with zero never fires a
// delayed delegate. The engine loop ticks the core ticker every frame; a program without one ticks
// it itself.

#include <atomic>
#include <mutex>

#include "Containers/Array.h"
#include "CoreTypes.h"
#include "Delegates/Delegate.h"
#include "Templates/SharedPointer.h"

/** Returns true to fire again after the same delay, false to fire once. */
DECLARE_DELEGATE_RetVal_OneParam(bool, FTickerDelegate, float);

class CORE_API FTSTicker
{
private:
	struct FElement;

public:
	using FDelegateHandle = TWeakPtr<FElement>;

	/** The ticker of Core, which the engine loop ticks. */
	static FTSTicker& GetCoreTicker();

	/** Fires InDelegate once InDelay seconds of ticks have passed (0: at the next tick). Any thread. */
	FDelegateHandle AddTicker(const FTickerDelegate& InDelegate, float InDelay = 0.0f);

	/** Removes a delegate; it never fires after this returns. A handle of a gone delegate does nothing. */
	static void RemoveTicker(FDelegateHandle Handle);

	/** Advances the ticker's time by DeltaTime and fires every delegate whose time has come. One thread only. */
	void Tick(float DeltaTime);

	/** Drops every delegate. */
	void Reset();

private:
	struct FElement
	{
		double FireTime = 0.0;
		float DelayTime = 0.0f;
		FTickerDelegate Delegate;
		std::atomic<bool> bRemoved{false};
	};

	std::mutex AddedLock;
	TArray<TSharedPtr<FElement>> AddedElements;
	double CurrentTime = 0.0;
	TArray<TSharedPtr<FElement>> Elements;
};
