#pragma once

// A small game object whose functions the tool specs (and the tool-call fuzz target) offer to the model.

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "GameToolsTestTypes.generated.h"

UENUM(BlueprintType)
enum class ETalvaneTestDrink : uint8
{
	Ale,
	Mead UMETA(DisplayName="Honey Mead"),
	Water,
};

USTRUCT(BlueprintType)
struct FTalvaneTestOrder
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	FName Guest;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	FText Note;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	TArray<ETalvaneTestDrink> Drinks;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	uint8 Table = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	int64 Coins = 0;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category="Order")
	double Tip = 0.0;
};

/** An innkeeper: every function counts its calls, so a spec can tell that a refused call never ran. */
UCLASS()
class UTalvaneTestInnkeeper : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, Category="Inn", meta=(ToolTip="Rolls a die with the given number of sides."))
	int32 RollDie(int32 Sides, bool bLoud)
	{
		++Calls;
		return bLoud ? -Sides : Sides;
	}

	UFUNCTION(BlueprintCallable, Category="Inn")
	float PriceOf(const FString& Item, ETalvaneTestDrink Drink, float Discount)
	{
		++Calls;
		LastItem = Item;
		return (Drink == ETalvaneTestDrink::Mead ? 4.5f : 2.0f) - Discount;
	}

	UFUNCTION(BlueprintCallable, Category="Inn")
	bool PlaceOrder(const FTalvaneTestOrder& Order, TArray<FString>& OutLines, UPARAM(ref) int32& Counter)
	{
		++Calls;
		LastOrder = Order;
		OutLines.Add(Order.Guest.ToString());
		OutLines.Add(Order.Note.ToString());
		Counter += Order.Drinks.Num();
		return Order.Coins > 0;
	}

	UFUNCTION(BlueprintCallable, Category="Inn")
	ETalvaneTestDrink Recommend()
	{
		++Calls;
		return ETalvaneTestDrink::Mead;
	}

	UFUNCTION(BlueprintCallable, Category="Inn")
	void Befriend(UObject* Other) { ++Calls; }

	UFUNCTION(BlueprintCallable, Category="Inn")
	void Remember(const TMap<FString, int32>& Facts) { ++Calls; }

	UFUNCTION(BlueprintCallable, Category="Inn")
	UObject* FindGuest() { ++Calls; return nullptr; }

	int32 Calls = 0;
	FString LastItem;
	FTalvaneTestOrder LastOrder;
};
