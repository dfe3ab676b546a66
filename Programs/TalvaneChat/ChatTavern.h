#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "ChatTavern.generated.h"

/** The small game object whose functions talvane-chat --tools offers to the model: a die and an innkeeper's price list. */
UCLASS()
class UChatTavern : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, Category="Tavern", meta=(ToolTip="Rolls a die with the given number of sides and gives the number rolled."))
	int32 RollDie(int32 Sides);

	UFUNCTION(BlueprintCallable, Category="Tavern", meta=(ToolTip="The innkeeper's price of an item (ale, mead, stew, room), in copper coins; 0 for an item not on the list."))
	int32 PriceOf(const FString& Item);
};
