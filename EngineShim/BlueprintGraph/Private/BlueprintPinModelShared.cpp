// Pins made from parameters, hidden pins and readable names, shared by the node models.

#include "BlueprintPinModel.h"
#include "BlueprintPinModelPrivate.h"
#include "Templates/Casts.h"

namespace
{
	bool IsUpper(const TCHAR InChar)
	{
		return InChar >= u'A' && InChar <= u'Z';
	}
	bool IsLower(const TCHAR InChar)
	{
		return InChar >= u'a' && InChar <= u'z';
	}
	bool IsDigit(const TCHAR InChar)
	{
		return InChar >= u'0' && InChar <= u'9';
	}

	/** Splits a comma-separated metadata value into trimmed names. */
	void AddNames(const FString& InValue, TArray<FString>& OutNames)
	{
		TArray<FString> Parts;
		InValue.ParseIntoArray(Parts, TEXT(","), true);
		for (const FString& Part : Parts)
		{
			OutNames.AddUnique(Part.TrimStartAndEnd());
		}
	}
}

FModelPin BlueprintPinModelPrivate::MakeExecPin(const FString& InName, const EModelPinDirection InDirection)
{
	FModelPin Pin;
	Pin.Name = InName;
	// UEdGraphSchema_K2::GetPinDisplayName: execute and then show no name.
	Pin.DisplayName =
		InName == TEXT("execute") || InName == TEXT("then") ? FString() : BlueprintPinModel::NameToDisplayString(InName, false);
	Pin.Direction = InDirection;
	Pin.Type = TEXT("exec");
	return Pin;
}

FModelPin BlueprintPinModelPrivate::MakeParamPin(const FProperty& InParam, const EModelPinDirection InDirection, const bool bInHidden)
{
	FModelPin Pin;
	Pin.Name = InParam.GetName();
	const FString& DisplayName = InParam.GetMetaData(TEXT("DisplayName"));
	Pin.DisplayName = DisplayName.IsEmpty() ? BlueprintPinModel::NameToDisplayString(Pin.Name, InParam.IsA<FBoolProperty>()) : DisplayName;
	Pin.Direction = InDirection;
	Pin.Type = BlueprintPinModel::PinTypeOf(InParam);
	// FCreatePinParams::bIsReference with a const parameter still shows as a value pin (bIsConst).
	Pin.bByReference = InDirection == EModelPinDirection::Input && InParam.HasAnyPropertyFlags(CPF_ReferenceParm) &&
					   !InParam.HasAnyPropertyFlags(CPF_ConstParm);
	Pin.bHidden = bInHidden;
	// UEdGraphSchema_K2::FindFunctionParameterDefaultValue reads the header tool's CPP_Default_ metadata.
	if (InDirection == EModelPinDirection::Input)
	{
		if (const UFunction* Function = Cast<UFunction>(InParam.GetOwnerVariant().ToUObject()))
		{
			Pin.DefaultValue = Function->GetMetaData(*(FString(TEXT("CPP_Default_")) + Pin.Name));
		}
	}
	return Pin;
}

TArray<FString> BlueprintPinModelPrivate::GetHiddenPinsForFunction(const UFunction& InFunction)
{
	TArray<FString> Hidden;
	AddNames(InFunction.GetMetaData(TEXT("HidePin")), Hidden);
	AddNames(InFunction.GetMetaData(TEXT("InternalUseParam")), Hidden);
	const FString& WorldContext = InFunction.GetMetaData(TEXT("WorldContext"));
	if (!WorldContext.IsEmpty())
	{
		Hidden.AddUnique(WorldContext);
	}
	return Hidden;
}

const FProperty* BlueprintPinModelPrivate::FindParam(const UFunction& InFunction, const FString& InName)
{
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (It->GetName() == InName)
		{
			return *It;
		}
	}
	return nullptr;
}

FString BlueprintPinModelPrivate::GetUserFacingFunctionName(const UFunction& InFunction)
{
	const FString& DisplayName = InFunction.GetMetaData(TEXT("DisplayName"));
	return DisplayName.IsEmpty() ? BlueprintPinModel::NameToDisplayString(InFunction.GetName(), false) : DisplayName;
}

FString BlueprintPinModelPrivate::SourceName(const UFunction& InFunction)
{
	return FString(TEXT("U")) + InFunction.GetOwnerClass()->GetName() + TEXT("::") + InFunction.GetName();
}

FString BlueprintPinModel::NameToDisplayString(const FString& InName, const bool bIsBool)
{
	// UnrealNames.cpp, FName::NameToDisplayString: a space before each upper-case letter or digit that
	// starts a run, underscores as spaces, a bool's leading 'b' dropped, the first letter upper case.
	FString Out;
	bool bInARun = false;
	bool bWasSpace = false;
	for (int32 Index = 0; Index < InName.Len(); ++Index)
	{
		TCHAR Char = InName[Index];
		if (Index == 0 && bIsBool && Char == u'b' && InName.Len() > 1 && IsUpper(InName[1]))
		{
			continue;
		}
		if ((IsUpper(Char) || IsDigit(Char)) && !bInARun)
		{
			if (!bWasSpace && Out.Len() > 0)
			{
				Out.AppendChar(u' ');
				bWasSpace = true;
			}
			bInARun = true;
		}
		bInARun = IsLower(Char) ? false : bInARun;
		if (Char == u'_')
		{
			Char = u' ';
			bInARun = true;
		}
		if (Out.Len() == 0 && IsLower(Char))
		{
			Char = Char - u'a' + u'A';
		}
		bWasSpace = Char == u' ';
		Out.AppendChar(Char);
	}
	return Out;
}

FString BlueprintPinModel::PinTypeOf(const FProperty& InProperty)
{
	FString Extended;
	const FString Type = InProperty.GetCPPType(&Extended);
	return Type + Extended;
}

const FModelPin* FModelNode::FindPin(const FString& InName) const
{
	return Pins.FindByPredicate(
		[&InName](const FModelPin& Pin)
		{
			return Pin.Name == InName;
		});
}
