#include "Containers/Ticker.h"

FTSTicker& FTSTicker::GetCoreTicker()
{
	static FTSTicker Ticker;
	return Ticker;
}

FTSTicker::FDelegateHandle FTSTicker::AddTicker(const FTickerDelegate& InDelegate, const float InDelay)
{
	const TSharedPtr<FElement> Element = MakeShared<FElement>();
	Element->DelayTime = InDelay;
	Element->Delegate = InDelegate;
	const std::lock_guard<std::mutex> Lock(AddedLock);
	// The fire time is set when the ticking thread takes the element, in its own time.
	AddedElements.Add(Element);
	return Element;
}

void FTSTicker::RemoveTicker(FDelegateHandle Handle)
{
	if (const TSharedPtr<FElement> Element = Handle.Pin())
	{
		Element->bRemoved = true;
	}
}

void FTSTicker::Tick(const float DeltaTime)
{
	CurrentTime += DeltaTime;
	{
		const std::lock_guard<std::mutex> Lock(AddedLock);
		for (const TSharedPtr<FElement>& Added : AddedElements)
		{
			Added->FireTime = CurrentTime - DeltaTime + Added->DelayTime;
			Elements.Add(Added);
		}
		AddedElements.Reset();
	}
	// Fired from a copy: a delegate may add or remove tickers while it runs.
	const TArray<TSharedPtr<FElement>> Due = Elements;
	TArray<TSharedPtr<FElement>> Kept;
	for (const TSharedPtr<FElement>& Element : Due)
	{
		if (!Element->bRemoved && Element->FireTime <= CurrentTime)
		{
			const bool bAgain = Element->Delegate.IsBound() && Element->Delegate.Execute(DeltaTime);
			Element->FireTime = CurrentTime + Element->DelayTime;
			Element->bRemoved = Element->bRemoved || !bAgain;
		}
		if (!Element->bRemoved)
		{
			Kept.Add(Element);
		}
	}
	Elements = MoveTemp(Kept);
}

void FTSTicker::Reset()
{
	const std::lock_guard<std::mutex> Lock(AddedLock);
	AddedElements.Reset();
	Elements.Reset();
}
