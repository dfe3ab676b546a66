// The call node of a Blueprint-callable function, and the event bound to an assignable delegate.

#include "BlueprintPinModel.h"
#include "BlueprintPinModelPrivate.h"

namespace
{
	/** EdGraphSchema_K2.cpp, UEdGraphSchema_K2::CanUserKismetCallFunction: metadata "true" reads as set (UField::GetBoolMetaData). */
	bool GetBoolMetaData(const UFunction& InFunction, const TCHAR* InKey)
	{
		return InFunction.GetMetaData(InKey).Equals(TEXT("true"), ESearchCase::IgnoreCase);
	}

	/**
	 * K2Node_CallFunction.cpp, UK2Node_CallFunction::CreateSelfPin and CreatePinsForFunctionCall: a static
	 * function's self pin is hidden (wired to the class default object); a member function's shows as
	 * "Target", unless HideSelfPin. (It would also hide for a pure, non-const function called from a
	 * Blueprint of the function's own class, which the model's calling context is not.)
	 */
	FModelPin MakeSelfPin(const UFunction& InFunction)
	{
		FModelPin Self;
		Self.Name = TEXT("self");
		Self.DisplayName = TEXT("Target");
		Self.Type = FString(TEXT("U")) + InFunction.GetOwnerClass()->GetName() + TEXT("*");
		Self.bHidden = InFunction.HasAnyFunctionFlags(FUNC_Static) || GetBoolMetaData(InFunction, TEXT("HideSelfPin"));
		return Self;
	}
}

bool BlueprintPinModel::CanUserKismetCallFunction(const UFunction& InFunction)
{
	return InFunction.HasAllFunctionFlags(FUNC_BlueprintCallable) && !InFunction.HasAllFunctionFlags(FUNC_Delegate) &&
		   !GetBoolMetaData(InFunction, TEXT("BlueprintInternalUseOnly")) && !InFunction.HasMetaData(TEXT("DeprecatedFunction"));
}

FModelNode BlueprintPinModel::BuildCallFunctionNode(const UFunction& InFunction)
{
	FModelNode Node;
	Node.Kind = EModelNodeKind::CallFunction;
	Node.Title = BlueprintPinModelPrivate::GetUserFacingFunctionName(InFunction);
	Node.Source = BlueprintPinModelPrivate::SourceName(InFunction);
	// UK2Node_CallFunction::CreateExecPinsForFunctionCall: a pure function has no exec pins.
	if (!InFunction.HasAnyFunctionFlags(FUNC_BlueprintPure))
	{
		Node.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(TEXT("execute"), EModelPinDirection::Input));
		Node.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(TEXT("then"), EModelPinDirection::Output));
	}
	Node.Pins.Add(MakeSelfPin(InFunction));
	// CreatePinsForFunctionCall: inputs are the parameters that are not the return value and are not
	// outputs, or are references marked UPARAM(ref) (CPF_ReferenceParm); the rest are outputs.
	const TArray<FString> PinsToHide = BlueprintPinModelPrivate::GetHiddenPinsForFunction(InFunction);
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		const bool bIsFunctionInput = !It->HasAnyPropertyFlags(CPF_ReturnParm) &&
									  (!It->HasAnyPropertyFlags(CPF_OutParm) || It->HasAnyPropertyFlags(CPF_ReferenceParm));
		const EModelPinDirection Direction = bIsFunctionInput ? EModelPinDirection::Input : EModelPinDirection::Output;
		FModelPin Pin = BlueprintPinModelPrivate::MakeParamPin(**It, Direction, PinsToHide.Contains(It->GetName()));
		if (It->HasAnyPropertyFlags(CPF_ReturnParm) && InFunction.HasMetaData(TEXT("ReturnDisplayName")))
		{
			Pin.DisplayName = InFunction.GetMetaData(TEXT("ReturnDisplayName"));
		}
		Node.Pins.Add(Pin);
	}
	return Node;
}

FModelNode BlueprintPinModel::BuildAssignedEventNode(const FMulticastDelegateProperty& InDelegate)
{
	// K2Node_AddDelegate binds a custom event whose outputs copy the signature (K2Node_BaseAsyncTask.cpp,
	// FBaseAsyncTaskHelper::CopyEventSignature): values and references, not non-const outputs.
	FModelNode Node;
	Node.Kind = EModelNodeKind::AssignedEvent;
	Node.Title = FString(TEXT("Bind Event to ")) + BlueprintPinModel::NameToDisplayString(InDelegate.GetName(), false);
	Node.Source = FString(TEXT("U")) + InDelegate.GetOwnerClass()->GetName() + TEXT("::") + InDelegate.GetName();
	Node.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(TEXT("then"), EModelPinDirection::Output));
	for (TFieldIterator<FProperty> It(InDelegate.SignatureFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (It->HasAnyPropertyFlags(CPF_OutParm) && !It->HasAnyPropertyFlags(CPF_ReferenceParm))
		{
			Node.Problems.Add(FString::Printf(
				TEXT("%s's parameter %s is a non-const reference: the event has no pin for it."), *InDelegate.GetName(), *It->GetName()));
			continue;
		}
		Node.Pins.Add(BlueprintPinModelPrivate::MakeParamPin(**It, EModelPinDirection::Output, false));
	}
	return Node;
}
