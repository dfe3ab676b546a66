#pragma once

// Function flags and the native function pointer through which script calls reach C++.

#include "CoreMinimal.h"

class UClass;
class UObject;
struct FFrame;

/** Flags of a function, with the engine's values. */
enum EFunctionFlags : uint32
{
	FUNC_None = 0x00000000,
	FUNC_Final = 0x00000001,
	FUNC_Native = 0x00000400,
	FUNC_Static = 0x00002000,
	FUNC_MulticastDelegate = 0x00010000,
	FUNC_Public = 0x00020000,
	FUNC_Private = 0x00040000,
	FUNC_Protected = 0x00080000,
	FUNC_Delegate = 0x00100000,
	FUNC_HasOutParms = 0x00400000,
	FUNC_HasDefaults = 0x00800000,
	FUNC_BlueprintCallable = 0x04000000,
	FUNC_BlueprintPure = 0x10000000,
	FUNC_Const = 0x40000000,
};
constexpr EFunctionFlags operator|(const EFunctionFlags A, const EFunctionFlags B)
{
	return static_cast<EFunctionFlags>(static_cast<uint32>(A) | static_cast<uint32>(B));
}
constexpr EFunctionFlags operator&(const EFunctionFlags A, const EFunctionFlags B)
{
	return static_cast<EFunctionFlags>(static_cast<uint32>(A) & static_cast<uint32>(B));
}

#define RESULT_PARAM Z_Param__Result
#define RESULT_DECL void* const RESULT_PARAM

/** The thunk of a reflected function: reads the parameters from the frame and calls the C++ function. */
typedef void (*FNativeFuncPtr)(UObject* Context, FFrame& TheStack, RESULT_DECL);

/** A function name and its thunk, as the generated code registers them. */
struct FNameNativePtrPair
{
	const char* NameUTF8;
	FNativeFuncPtr Pointer;
};

/** Registers the thunks of a class's functions, so its UFunctions can find them. */
struct COREUOBJECT_API FNativeFunctionRegistrar
{
	static void RegisterFunctions(UClass* Class, const FNameNativePtrPair* InArray, int32 NumFunctions);
};
