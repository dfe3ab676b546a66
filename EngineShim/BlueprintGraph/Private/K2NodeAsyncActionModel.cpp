// The async action node: which functions make one, its pins, and what each delegate fills when it fires.

#include "BlueprintPinModel.h"
#include "BlueprintPinModelPrivate.h"
#include "Kismet/BlueprintAsyncActionBase.h"

namespace
{
	/** The delegate's parameters that become pins of an event: K2Node_BaseAsyncTask.cpp, FBaseAsyncTaskHelper::CopyEventSignature. */
	bool IsEventParam(const FProperty& InParam)
	{
		return !InParam.HasAnyPropertyFlags(CPF_OutParm) || InParam.HasAnyPropertyFlags(CPF_ReferenceParm);
	}

	/**
	 * K2Node_BaseAsyncTask.cpp, UK2Node_BaseAsyncTask::AllocateDefaultPins: the proxy pin exists when the
	 * class or a super class has ExposedAsyncProxy; its friendly name is the first non-empty value of it.
	 */
	void AddThenAndProxyPins(FModelNode& OutNode, const UClass& InProxyClass)
	{
		bool bExposeProxy = false;
		bool bHideThen = false;
		FString ProxyDisplayName;
		for (const UStruct* TestStruct = &InProxyClass; TestStruct; TestStruct = TestStruct->GetSuperStruct())
		{
			bExposeProxy |= TestStruct->HasMetaData(TEXT("ExposedAsyncProxy"));
			bHideThen |= TestStruct->HasMetaData(TEXT("HideThen"));
			if (ProxyDisplayName.IsEmpty())
			{
				ProxyDisplayName = TestStruct->GetMetaData(TEXT("ExposedAsyncProxy"));
			}
		}
		if (!bHideThen)
		{
			OutNode.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(TEXT("then"), EModelPinDirection::Output));
		}
		if (bExposeProxy)
		{
			// FBaseAsyncTaskHelper::GetAsyncTaskProxyName
			FModelPin ProxyPin;
			ProxyPin.Name = TEXT("AsyncTaskProxy");
			ProxyPin.DisplayName =
				ProxyDisplayName.IsEmpty() ? BlueprintPinModel::NameToDisplayString(ProxyPin.Name, false) : ProxyDisplayName;
			ProxyPin.Direction = EModelPinDirection::Output;
			ProxyPin.Type = FString(TEXT("U")) + InProxyClass.GetName() + TEXT("*");
			OutNode.Pins.Add(ProxyPin);
		}
	}

	/** AllocateDefaultPins: the factory's own outputs (not by reference, not its return value) go beside "then". */
	void AddFactoryOutputPins(FModelNode& OutNode, const UFunction& InFactory)
	{
		for (TFieldIterator<FProperty> It(&InFactory); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
		{
			if (It->HasAnyPropertyFlags(CPF_OutParm) && !It->HasAnyPropertyFlags(CPF_ReferenceParm | CPF_ReturnParm))
			{
				OutNode.Pins.Add(BlueprintPinModelPrivate::MakeParamPin(**It, EModelPinDirection::Output, false));
			}
		}
	}

	/**
	 * AllocateDefaultPins: one exec output per multicast delegate the field iterator meets (the class's
	 * own properties, then its super classes'), and data outputs from the FIRST delegate's signature only.
	 */
	TArray<const FMulticastDelegateProperty*> AddDelegatePins(FModelNode& OutNode, const UClass& InProxyClass)
	{
		TArray<const FMulticastDelegateProperty*> Delegates;
		const UFunction* DelegateSignatureFunction = nullptr;
		for (TFieldIterator<FProperty> It(&InProxyClass); It; ++It)
		{
			if (const FMulticastDelegateProperty* Property = CastField<FMulticastDelegateProperty>(*It))
			{
				OutNode.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(Property->GetName(), EModelPinDirection::Output));
				Delegates.Add(Property);
				if (!DelegateSignatureFunction)
				{
					DelegateSignatureFunction = Property->SignatureFunction;
				}
			}
		}
		if (DelegateSignatureFunction)
		{
			for (TFieldIterator<FProperty> It(DelegateSignatureFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
			{
				if (IsEventParam(**It))
				{
					OutNode.Pins.Add(BlueprintPinModelPrivate::MakeParamPin(**It, EModelPinDirection::Output, false));
				}
			}
		}
		return Delegates;
	}

	/** AllocateDefaultPins: the factory's inputs (values, and references that are not outputs), hidden as GetHiddenPinsForFunction says. */
	void AddFactoryInputPins(FModelNode& OutNode, const UFunction& InFactory)
	{
		const TArray<FString> PinsToHide = BlueprintPinModelPrivate::GetHiddenPinsForFunction(InFactory);
		for (TFieldIterator<FProperty> It(&InFactory); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
		{
			if (IsEventParam(**It))
			{
				OutNode.Pins.Add(
					BlueprintPinModelPrivate::MakeParamPin(**It, EModelPinDirection::Input, PinsToHide.Contains(It->GetName())));
			}
		}
	}

	/** ExpandNode: the data outputs after the first exec output that is not "then" are the delegates' data. */
	TArray<FModelPin*> DelegateDataPins(FModelNode& InNode)
	{
		bool bPassedFactoryOutputs = false;
		TArray<FModelPin*> VariableOutputs;
		for (FModelPin& Pin : InNode.Pins)
		{
			if (Pin.Direction != EModelPinDirection::Output || Pin.Name == TEXT("AsyncTaskProxy"))
			{
				continue;
			}
			if (Pin.IsExec())
			{
				bPassedFactoryOutputs |= Pin.Name != TEXT("then");
			}
			else if (bPassedFactoryOutputs)
			{
				VariableOutputs.Add(&Pin);
			}
		}
		return VariableOutputs;
	}

	/**
	 * K2Node_BaseAsyncTask.cpp, FBaseAsyncTaskHelper::HandleDelegateImplementation: the delegate's event
	 * writes the node's data outputs it has a pin of the same name for, and skips the others, which keep
	 * whatever an earlier firing left. A same-named pin of another type fails TryCreateConnection, and
	 * ExpandNode reports "Internal connection error". A parameter without a node pin reaches nobody.
	 */
	void ResolveDelegate(FModelNode& OutNode, const TArray<FModelPin*>& InDataPins, const FMulticastDelegateProperty& InDelegate)
	{
		const FString DelegateName = InDelegate.GetName();
		TArray<FString> Written;
		for (FModelPin* Output : InDataPins)
		{
			const FProperty* Param = BlueprintPinModelPrivate::FindParam(*InDelegate.SignatureFunction, Output->Name);
			if (!Param || !IsEventParam(*Param))
			{
				OutNode.Problems.Add(FString::Printf(
					TEXT("%s does not write pin %s: it keeps the value of an earlier firing."), *DelegateName, *Output->Name));
				continue;
			}
			Written.Add(Param->GetName());
			const FString ParamType = BlueprintPinModel::PinTypeOf(*Param);
			if (ParamType != Output->Type)
			{
				OutNode.Problems.Add(
					FString::Printf(TEXT("%s has %s as %s but the pin is %s: the Blueprint compiler fails (Internal connection error)."),
						*DelegateName, *Output->Name, *ParamType, *Output->Type));
				continue;
			}
			Output->FilledBy.Add(DelegateName);
		}
		for (TFieldIterator<FProperty> It(InDelegate.SignatureFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
		{
			if (!Written.Contains(It->GetName()))
			{
				OutNode.Problems.Add(
					FString::Printf(TEXT("%s's parameter %s has no pin: it never reaches a Blueprint."), *DelegateName, *It->GetName()));
			}
		}
	}

	void ResolveDelegateData(FModelNode& OutNode, const TArray<const FMulticastDelegateProperty*>& InDelegates)
	{
		const TArray<FModelPin*> DataPins = DelegateDataPins(OutNode);
		for (const FMulticastDelegateProperty* Delegate : InDelegates)
		{
			ResolveDelegate(OutNode, DataPins, *Delegate);
		}
		if (InDelegates.IsEmpty())
		{
			// ExpandNode: "BaseAsyncTask: Proxy has no delegates defined."
			OutNode.Problems.Add(TEXT("The node's class has no multicast delegate: the Blueprint compiler refuses the node."));
		}
	}
}

bool BlueprintPinModel::IsAsyncActionFactory(const UClass& InClass, const UFunction& InFunction)
{
	// BlueprintActionDatabaseRegistrar.cpp, RegisterClassFactoryActions: non-abstract classes derived from
	// UBlueprintAsyncActionBase, their own static functions that return an object of such a class.
	if (InClass.HasAnyClassFlags(CLASS_Abstract) || !InClass.IsChildOf(UBlueprintAsyncActionBase::StaticClass()))
	{
		return false;
	}
	if (!InFunction.HasAnyFunctionFlags(FUNC_Static) || InFunction.HasMetaData(TEXT("DeprecatedFunction")))
	{
		return false;
	}
	const FObjectProperty* ReturnProperty = CastField<FObjectProperty>(InFunction.GetReturnProperty());
	return ReturnProperty && ReturnProperty->PropertyClass &&
		   ReturnProperty->PropertyClass->IsChildOf(UBlueprintAsyncActionBase::StaticClass());
}

FModelNode BlueprintPinModel::BuildAsyncActionNode(const UFunction& InFactory)
{
	FModelNode Node;
	Node.Kind = EModelNodeKind::AsyncAction;
	Node.Title = BlueprintPinModelPrivate::GetUserFacingFunctionName(InFactory);
	Node.Source = BlueprintPinModelPrivate::SourceName(InFactory);
	// K2Node_AsyncAction.cpp, GetMenuActions: the proxy class is the class the factory returns.
	const FObjectProperty* ReturnProperty = CastField<FObjectProperty>(InFactory.GetReturnProperty());
	if (!ReturnProperty || !ReturnProperty->PropertyClass)
	{
		Node.Problems.Add(TEXT("The factory returns no object: the editor makes no node of it."));
		return Node;
	}
	const UClass& ProxyClass = *ReturnProperty->PropertyClass;
	Node.Pins.Add(BlueprintPinModelPrivate::MakeExecPin(TEXT("execute"), EModelPinDirection::Input));
	AddThenAndProxyPins(Node, ProxyClass);
	AddFactoryOutputPins(Node, InFactory);
	const TArray<const FMulticastDelegateProperty*> Delegates = AddDelegatePins(Node, ProxyClass);
	AddFactoryInputPins(Node, InFactory);
	ResolveDelegateData(Node, Delegates);
	return Node;
}
