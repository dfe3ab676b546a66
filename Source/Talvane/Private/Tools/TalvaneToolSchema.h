#pragma once

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"

class FNumericProperty;
class FProperty;
class UEnum;
class UFunction;

/** What a function's parameters look like to the model: which JSON can carry them, and their JSON Schema. */
namespace TalvaneToolSchema
{
	/** A parameter the model supplies: a value or const reference, or a UPARAM(ref) in-out reference. */
	bool IsArgument(const FProperty& InParameter);

	/** A parameter the call gives back: the return value, or a non-const reference. */
	bool IsResult(const FProperty& InParameter);

	/** True when JSON can carry the property's values both ways; otherwise OutWhy says what is in the way. */
	bool CanExpress(const FProperty& InProperty, FString& OutWhy, int32 InDepth = 0);

	/** True when every parameter of the function can be expressed; otherwise OutWhy names the first that cannot. */
	bool CanExpressFunction(const UFunction& InFunction, FString& OutWhy);

	/** The integers a JSON number holds exactly and the property can store; false for a property that holds no integers or an unknown
	 * width. */
	bool GetIntegerRange(const FNumericProperty& InProperty, double& OutMinimum, double& OutMaximum);

	/** The JSON Schema of one expressible property's values. */
	TSharedRef<FJsonObject> MakePropertySchema(const FProperty& InProperty);

	/** The JSON Schema object of the function's arguments: an object with each argument required, nothing else allowed. */
	TSharedRef<FJsonObject> MakeArgumentsSchema(const UFunction& InFunction);

	/** The enumeration whose names the property's values are written as (an enum, or a byte holding one); null for others. */
	const UEnum* GetPropertyEnum(const FProperty& InProperty);

	/** The enumerator names a value may take: every enumerator but the generated _MAX entry. */
	TArray<FString> GetEnumeratorNames(const UEnum& InEnum);
}
