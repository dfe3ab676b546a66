#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "UObject/ObjectMacros.h"
#include "UObject/WeakObjectPtr.h"
#include "BlueprintAsyncActionBase.generated.h"

class UGameInstance;

/**
 * The base of Blueprint async nodes: a BlueprintCallable static factory of a subclass makes one
 * node, whose BlueprintAssignable delegates become its output pins; Activate starts it once the
 * pins are bound. RegisterWithGameInstance keeps the node alive with the game instance of a world
 * context until SetReadyToDestroy.
 *
 * The engine marks the class MinimalAPI and exports its members one by one; the stand-in exports the
 * whole class, since its libraries hide the type information of classes that are not exported.
 */
UCLASS()
class ENGINE_API UBlueprintAsyncActionBase : public UObject
{
	GENERATED_BODY()

public:
	UBlueprintAsyncActionBase();

	/** Called to trigger the action once the delegates have been bound. */
	UFUNCTION(BlueprintCallable, meta=(BlueprintInternalUseOnly="true"))
	virtual void Activate();

	/**
	 * Registers this object with the game instance of the world context's world; it is not destroyed
	 * until SetReadyToDestroy. Without a world (a null context, or one in no world) it logs a
	 * warning, as the engine's world lookup does, and registers nothing.
	 */
	virtual void RegisterWithGameInstance(const UObject* WorldContextObject);

	/** Call when the action is completely done: it unregisters from the game instance and may be collected. */
	virtual void SetReadyToDestroy();

protected:
	virtual void RegisterWithGameInstance(UGameInstance* GameInstance);

	TWeakObjectPtr<UGameInstance> RegisteredWithGameInstance;
};
