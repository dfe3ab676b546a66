#pragma once

// Declarations that exercise each rule of the pin model, with pins a reader can work out by hand.

#include "CoreMinimal.h"
#include "Kismet/BlueprintAsyncActionBase.h"
#include "UObject/Object.h"
#include "PinModelTestTypes.generated.h"

DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FPinTestPair, const FString&, Text, int32, Code);
DECLARE_DYNAMIC_MULTICAST_DELEGATE_OneParam(FPinTestText, const FString&, Text);
DECLARE_DYNAMIC_MULTICAST_DELEGATE_OneParam(FPinTestCodeAsText, const FString&, Code);

/** A parent whose delegate the field iterator meets after its children's. */
UCLASS(meta = (ExposedAsyncProxy = "Task"))
class UPinTestParentAction : public UBlueprintAsyncActionBase
{
	GENERATED_BODY()

public:
	UPROPERTY(BlueprintAssignable)
	FPinTestText OnParent;
};

/** Delegates with three different parameter lists: the node's data pins come from OnPair alone. */
UCLASS()
class UPinTestMixedAction : public UPinTestParentAction
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, meta = (BlueprintInternalUseOnly = "true", WorldContext = "Context"))
	static UPinTestMixedAction* StartMixed(UObject* Context, int32 Count, UPARAM(ref) TArray<FString>& Lines, FString& OutNote);

	UPROPERTY(BlueprintAssignable)
	FPinTestPair OnPair;

	UPROPERTY(BlueprintAssignable)
	FPinTestCodeAsText OnCodeAsText;
};

/** Callable functions of every shape, and an event. */
UCLASS()
class UPinTestLibrary : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION(BlueprintCallable, Category = "Test")
	void Fill(const FString& InName, UPARAM(ref) TArray<FString>& InOutLines, TArray<FString>& OutLines, bool bLoud = false);

	UFUNCTION(BlueprintPure, Category = "Test")
	static int32 Twice(int32 InValue);

	UFUNCTION(BlueprintCallable, Category = "Test", meta = (HidePin = "InSecret", DisplayName = "Reveal It"))
	FString Reveal(const FString& InSecret);

	UFUNCTION()
	void NotCallable();

	UPROPERTY(BlueprintAssignable)
	FPinTestPair OnPairEvent;
};
