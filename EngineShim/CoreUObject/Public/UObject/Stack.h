#pragma once

#include "CoreMinimal.h"

class UFunction;
class UObject;

/**
 * The frame of one call through a UFunction. A native call carries its parameters as the
 * function's parameter block in Locals, laid out as the function's parameter properties say.
 */
struct FFrame
{
	UFunction* Node;
	UObject* Object;
	uint8* Locals;

	FFrame(UObject* InObject, UFunction* InNode, void* InLocals)
		: Node(InNode)
		, Object(InObject)
		, Locals(static_cast<uint8*>(InLocals))
	{
	}
};
