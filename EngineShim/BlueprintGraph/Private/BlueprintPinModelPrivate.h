#pragma once

#include "BlueprintPinModel.h"

/** What the node models share: pins made from parameters, hidden pins, names. */
namespace BlueprintPinModelPrivate
{
	FModelPin MakeExecPin(const FString& InName, EModelPinDirection InDirection);

	/** A pin for a parameter, as UEdGraphNode::CreatePin and UEdGraphSchema_K2::ConvertPropertyToPinType make it. */
	FModelPin MakeParamPin(const FProperty& InParam, EModelPinDirection InDirection, bool bInHidden);

	/**
	 * Kismet2/BlueprintEditorUtils.cpp, FBlueprintEditorUtils::GetHiddenPinsForFunction: the pins named
	 * by HidePin and InternalUseParam, and the WorldContext parameter when the calling Blueprint has a
	 * world of its own (the model's calling context always has one).
	 */
	TArray<FString> GetHiddenPinsForFunction(const UFunction& InFunction);

	/** The function's parameter of that name, or null. */
	const FProperty* FindParam(const UFunction& InFunction, const FString& InName);

	/** K2Node_CallFunction.cpp, UK2Node_CallFunction::GetUserFacingFunctionName: DisplayName metadata, else the name made readable. */
	FString GetUserFacingFunctionName(const UFunction& InFunction);

	/** "UOwner::Function". */
	FString SourceName(const UFunction& InFunction);
}
