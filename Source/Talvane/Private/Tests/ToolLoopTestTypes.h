#pragma once

// A small game object whose two functions the tool loop specs offer to the model.

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "ToolLoopTestTypes.generated.h"

/** A tavern keeper with a die and a price list; counts the calls, so a spec can tell which ran. */
UCLASS()
class UTalvaneTestTavern : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, Category="Tavern", meta=(ToolTip="Rolls a die with the given number of sides."))
	int32 RollDie(int32 Sides)
	{
		++Calls;
		// Loaded: the test knows the roll it will quote.
		return FMath::Clamp(Sides, 1, 1000) == Sides ? 4 : 0;
	}

	UFUNCTION(BlueprintCallable, Category="Tavern", meta=(ToolTip="The price of an item on the price list, in copper coins."))
	int32 PriceOf(const FString& Item)
	{
		++Calls;
		return Item.Len() + 7;
	}

	int32 Calls = 0;
};
