#pragma once

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"

class FProperty;
class UFunction;

/**
 * Values of reflected properties to and from JSON, for the arguments and results of tool calls.
 * Reading is strict, since the JSON comes from the model: every value must have the JSON type of its
 * property and fit it, and objects must hold exactly the expected members, by exact name.
 */
namespace TalvaneToolValues
{
	/**
	 * Writes InJson into the constructed value at OutValue. False when it does not fit; OutError then says
	 * where (InPath) and what was expected. The value may be partly written then.
	 */
	bool JsonToProperty(const FJsonValue& InJson, const FProperty& InProperty, void* OutValue, const FString& InPath, FString& OutError);

	/** The value at InValue as JSON. */
	TSharedPtr<FJsonValue> PropertyToJson(const FProperty& InProperty, const void* InValue);

	/** Writes the function's arguments into the constructed parameter block OutParms: exactly its arguments, each fitting. */
	bool JsonToArguments(const FJsonObject& InArguments, const UFunction& InFunction, void* OutParms, FString& OutError);

	/** The return value ("ReturnValue") and output parameters in InParms, by name. */
	TSharedRef<FJsonObject> ResultsToJson(const UFunction& InFunction, const void* InParms);
}
