#pragma once

#include "CoreMinimal.h"
#include "TalvaneType.h"
#include "UObject/WeakObjectPtr.h"

class UObject;

/**
 * Tools made from a game object's own reflected functions (C++ UFUNCTIONs or Blueprint functions),
 * and the calls the model makes to them. What the model sends is untrusted: only the listed
 * functions of the given object can ever run, and only with arguments that fit their signatures.
 */
namespace TalvaneGameTools
{
	/** The longest arguments text a call may carry, in characters. */
	constexpr int32 MaxArgumentsLength = 65536;
	/** The longest string, name or text one argument may hold, in characters. */
	constexpr int32 MaxStringLength = 16384;
	/** The longest name one argument may hold: the engine's limit for a name. */
	constexpr int32 MaxNameLength = 1023;
	/** The most elements one array argument may hold. */
	constexpr int32 MaxArrayElements = 1024;
	/** How deep structs and arrays may nest inside one parameter. */
	constexpr int32 MaxNestingDepth = 8;

	/**
	 * Describes the named functions of InTarget as tools, in the order given: the name is the function's
	 * name; the description its tooltip, which only builds with editor-only data have (a packaged game
	 * gets "Calls the game function <Name>." instead: set Description on the result to say more); the
	 * parameters a JSON Schema object of its inputs, every one required. A function the target does not
	 * have, or whose inputs or outputs JSON cannot carry (object pointers, maps, sets, delegates, fixed
	 * arrays, structs nested deeper than MaxNestingDepth), is refused: the result is then false,
	 * OutError names every such function and why, a Warning line says the same, and OutTools is unchanged.
	 */
	TALVANE_API bool MakeTools(
		const UObject* InTarget, const TArray<FName>& InFunctionNames, TArray<FNimbrelTools>& OutTools, FString& OutError);

	/**
	 * Runs one tool call of the model on InTarget, on the game thread. Only a function named in
	 * InFunctionNames (exact case) is ever called, and only when the arguments text is one JSON object
	 * holding exactly its inputs, each of the right type and within the limits above.
	 * Returns true when the function ran; OutContent is then a JSON object of its return value
	 * ("ReturnValue") and output parameters, by name. Otherwise nothing ran, OutContent is an error text
	 * for the model, starting with "Error:", and a Warning line says the same.
	 */
	TALVANE_API bool DispatchToolCall(const TWeakObjectPtr<UObject>& InTarget, const TArray<FName>& InFunctionNames,
		const FNimbrelChatResponseToolCall& InCall, FString& OutContent);
}
