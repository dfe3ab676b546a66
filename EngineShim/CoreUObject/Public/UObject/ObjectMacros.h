#pragma once

// The reflection markup and the flags of objects, classes and properties. The markup macros
// are empty for the compiler; the header tool reads them and writes X.generated.h, whose
// per-line macros GENERATED_BODY() and the dynamic delegate macros expand to.

#include <cstddef>

#include "CoreMinimal.h"
#include "UObject/ReflectedTypeAccessors.h"

class UClass;
class UEnum;
class UFunction;
class UObject;
class UPackage;
class UScriptStruct;
class FReferenceCollector;

#define UPROPERTY(...)
#define UFUNCTION(...)
#define USTRUCT(...)
#define UMETA(...)
#define UPARAM(...)
#define UENUM(...)
#define UCLASS(...)

#define BODY_MACRO_COMBINE_INNER(A, B, C, D) A##B##C##D
#define BODY_MACRO_COMBINE(A, B, C, D) BODY_MACRO_COMBINE_INNER(A, B, C, D)

/** Expands to the body the header tool wrote for the type declared on this line. */
#define GENERATED_BODY(...) BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _GENERATED_BODY);

#define NO_API

#ifndef STRUCT_OFFSET
#define STRUCT_OFFSET(Struct, Member) offsetof(Struct, Member)
#endif

/** Defines the bitwise operators of a flags enumeration. */
#define UE_COREUOBJECT_FLAG_OPERATORS(Enum, Underlying) \
	constexpr Enum operator|(const Enum A, const Enum B) { return static_cast<Enum>(static_cast<Underlying>(A) | static_cast<Underlying>(B)); } \
	constexpr Enum operator&(const Enum A, const Enum B) { return static_cast<Enum>(static_cast<Underlying>(A) & static_cast<Underlying>(B)); } \
	constexpr Enum operator~(const Enum A) { return static_cast<Enum>(~static_cast<Underlying>(A)); } \
	inline Enum& operator|=(Enum& A, const Enum B) { return A = A | B; } \
	inline Enum& operator&=(Enum& A, const Enum B) { return A = A & B; }

/** Flags of an object. */
enum EObjectFlags : uint32
{
	RF_NoFlags = 0x00000000,
	RF_Public = 0x00000001,
	RF_Standalone = 0x00000002,
	RF_MarkAsNative = 0x00000004,
	RF_Transient = 0x00000040,
	RF_ClassDefaultObject = 0x00000010,
	RF_BeginDestroyed = 0x00008000,
	RF_FinishDestroyed = 0x00010000,
	RF_StrongRefOnFrame = 0x01000000,
};
UE_COREUOBJECT_FLAG_OPERATORS(EObjectFlags, uint32)

/** Flags of a property, with the engine's values. */
enum EPropertyFlags : uint64
{
	CPF_None = 0,
	CPF_Edit = 0x0000000000000001,
	CPF_ConstParm = 0x0000000000000002,
	CPF_BlueprintVisible = 0x0000000000000004,
	CPF_BlueprintReadOnly = 0x0000000000000010,
	CPF_Parm = 0x0000000000000080,
	CPF_OutParm = 0x0000000000000100,
	CPF_ReturnParm = 0x0000000000000400,
	CPF_DisableEditOnTemplate = 0x0000000000000800,
	CPF_Transient = 0x0000000000002000,
	CPF_DisableEditOnInstance = 0x0000000000010000,
	CPF_EditConst = 0x0000000000020000,
	CPF_SaveGame = 0x0000000001000000,
	CPF_ReferenceParm = 0x0000000008000000,
	CPF_BlueprintAssignable = 0x0000000010000000,
	CPF_AdvancedDisplay = 0x0000040000000000,
	CPF_BlueprintCallable = 0x0000100000000000,
	CPF_NativeAccessSpecifierPublic = 0x0010000000000000,
	CPF_NativeAccessSpecifierProtected = 0x0020000000000000,
	CPF_NativeAccessSpecifierPrivate = 0x0040000000000000,
};
UE_COREUOBJECT_FLAG_OPERATORS(EPropertyFlags, uint64)

/** Flags of a class, with the engine's values. */
enum EClassFlags : uint32
{
	CLASS_None = 0x00000000,
	CLASS_Abstract = 0x00000001,
	CLASS_Transient = 0x00000008,
	CLASS_Native = 0x00000080,
	CLASS_MinimalAPI = 0x00080000,
	CLASS_RequiredAPI = 0x00100000,
	CLASS_Intrinsic = 0x10000000,
	CLASS_Constructed = 0x20000000,
};
UE_COREUOBJECT_FLAG_OPERATORS(EClassFlags, uint32)

enum EClassCastFlags : uint64
{
	CASTCLASS_None = 0,
};

/** Flags every class the header tool declares receives. */
#define COMPILED_IN_FLAGS(TStaticFlags) (TStaticFlags | CLASS_Native)

/**
 * The declarations every UObject class carries: its UClass, its Super and ThisClass, and the
 * constructor call through which NewObject makes instances.
 */
#define DECLARE_CLASS(TClass, TSuperClass, TStaticFlags, TStaticCastFlags, TPackage, TRequiredAPI) \
private: \
	TClass& operator=(TClass&&) = delete; \
	TClass& operator=(const TClass&) = delete; \
	TRequiredAPI static UClass* GetPrivateStaticClass(); \
public: \
	static constexpr EClassFlags StaticClassFlags = EClassFlags(TStaticFlags); \
	typedef TSuperClass Super; \
	typedef TClass ThisClass; \
	/** The class object that describes this class at run time. */ \
	inline static UClass* StaticClass() { return GetPrivateStaticClass(); } \
	/** The script package this class belongs to. */ \
	inline static const TCHAR* StaticPackage() { return TPackage; } \
	/** Makes an instance for NewObject; not for direct use. */ \
	static UObject* __DefaultConstructor() { return new TClass(); } \
	/** The AddReferencedObjects this class declares or inherits, for its class object; not for direct use. */ \
	static void __AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector) { TClass::AddReferencedObjects(InThis, Collector); }

/** Declares a native function that script calls reach through its UFunction. */
#define DECLARE_FUNCTION(func) static void func([[maybe_unused]] UObject* Context, [[maybe_unused]] FFrame& Stack, \
	[[maybe_unused]] RESULT_DECL)
#define DEFINE_FUNCTION(func) void func([[maybe_unused]] UObject* Context, [[maybe_unused]] FFrame& Stack, \
	[[maybe_unused]] RESULT_DECL)

#include "UObject/Script.h"
