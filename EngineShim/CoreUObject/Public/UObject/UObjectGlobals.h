#pragma once

// Creating, finding and destroying objects, and the tables through which generated code
// describes reflected types.

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/Field.h"
#include "UObject/Object.h"
#include "UObject/Package.h"

/** The package that objects without a real home go into. */
COREUOBJECT_API UPackage* GetTransientPackage();
/** The package with that name, made when there is none yet. */
COREUOBJECT_API UPackage* CreatePackage(const TCHAR* PackageName);
COREUOBJECT_API UPackage* FindPackage(UObject* InOuter, const TCHAR* PackageName);

/**
 * The object of that class (or a subclass) with that name inside Outer; with a null Outer the
 * name is a path ("/Script/Talvane.NimbrelChatRequest").
 */
COREUOBJECT_API UObject* StaticFindObject(UClass* Class, UObject* InOuter, const TCHAR* Name, bool bExactClass = false);

template <class T>
T* FindObject(UObject* Outer, const TCHAR* Name, bool bExactClass = false)
{
	return static_cast<T*>(StaticFindObject(T::StaticClass(), Outer, Name, bExactClass));
}

/**
 * Makes an object of the class inside Outer. A class marked abstract gets an error line and a
 * null result, as in the engine. NAME_None makes a unique name ("ClassName_0").
 */
COREUOBJECT_API UObject* StaticConstructObject_Internal(const UClass* Class, UObject* InOuter, FName Name,
	EObjectFlags SetFlags);

template <class T>
T* NewObject(UObject* Outer, const UClass* Class, FName Name = NAME_None, EObjectFlags Flags = RF_NoFlags)
{
	check(Class != nullptr && Class->IsChildOf(T::StaticClass()));
	return static_cast<T*>(StaticConstructObject_Internal(Class, Outer, Name, Flags));
}

template <class T>
T* NewObject(UObject* Outer = GetTransientPackage())
{
	return static_cast<T*>(StaticConstructObject_Internal(T::StaticClass(), Outer, NAME_None, RF_NoFlags));
}

template <class T>
T* NewObject(UObject* Outer, FName Name, EObjectFlags Flags = RF_NoFlags)
{
	return static_cast<T*>(StaticConstructObject_Internal(T::StaticClass(), Outer, Name, Flags));
}

/** Objects with any of these flags survive a collection even when marked; none in a game. */
#define GARBAGE_COLLECTION_KEEPFLAGS RF_NoFlags

/**
 * Destroys every object that no root reaches (see Object.h; objects with one of the KeepFlags are
 * roots too): BeginDestroy runs on all of them first, then FinishDestroy, then they are deleted. The
 * engine may run a collection at any frame; the stand-in runs one when asked and between the steps
 * of an automation spec. bPerformFullPurge changes nothing here: every collection is a full purge.
 */
COREUOBJECT_API void CollectGarbage(EObjectFlags KeepFlags, bool bPerformFullPurge = true);

/** Builds the reflection objects of every module loaded so far (they are also built on first use). */
COREUOBJECT_API void ProcessNewlyLoadedUObjects();

/** What a generated file holds, registered by its static registrant when its module loads. */
struct FClassRegisterCompiledInInfo
{
	UClass* (*OuterRegister)();
	const TCHAR* Name;
};
struct FStructRegisterCompiledInInfo
{
	UScriptStruct* (*OuterRegister)();
	const TCHAR* Name;
};
struct FEnumRegisterCompiledInInfo
{
	UEnum* (*OuterRegister)();
	const TCHAR* Name;
};
struct FFunctionRegisterCompiledInInfo
{
	UFunction* (*OuterRegister)();
	const TCHAR* Name;
};

COREUOBJECT_API void RegisterCompiledInInfo(const TCHAR* PackageName, const FClassRegisterCompiledInInfo* ClassInfo,
	size_t NumClassInfo, const FStructRegisterCompiledInInfo* StructInfo, size_t NumStructInfo,
	const FEnumRegisterCompiledInInfo* EnumInfo, size_t NumEnumInfo, const FFunctionRegisterCompiledInInfo* FunctionInfo,
	size_t NumFunctionInfo);

/** The static object of a .gen.cpp file through which its types become known to the process. */
struct FRegisterCompiledInInfo
{
	template <typename... Args>
	FRegisterCompiledInInfo(Args&&... InArgs)
	{
		RegisterCompiledInInfo(std::forward<Args>(InArgs)...);
	}
};

/** The singletons of one generated type: the bare class object and the fully built one. */
template <typename T>
struct TRegistrationInfo
{
	T* InnerSingleton = nullptr;
	T* OuterSingleton = nullptr;
};
typedef TRegistrationInfo<UClass> FClassRegistrationInfo;
typedef TRegistrationInfo<UScriptStruct> FStructRegistrationInfo;
typedef TRegistrationInfo<UEnum> FEnumRegistrationInfo;

namespace UECodeGen_Private
{
	struct FMetaDataPairParam
	{
		const char* NameUTF8;
		const char* ValueUTF8;
	};

	struct FPropertyParams;
	typedef FProperty* (*FPropertyConstructFunc)(FFieldVariant Owner, const FPropertyParams& Params);

	struct FPropertyParams
	{
		const char* NameUTF8;
		EPropertyFlags PropertyFlags;
		int32 Offset;
		/** Makes the property of the member's C++ type (see TPropertyFactory). */
		FPropertyConstructFunc Construct;
		const FMetaDataPairParam* MetaDataArray;
		int32 NumMetaData;
	};

	struct FEnumeratorParam
	{
		const char* NameUTF8;
		int64 Value;
	};

	struct FEnumParams
	{
		const char* PackageNameUTF8;
		const char* NameUTF8;
		const char* CppTypeUTF8;
		const FEnumeratorParam* EnumeratorParams;
		int32 NumEnumerators;
		UEnum::ECppForm CppForm;
		const FMetaDataPairParam* MetaDataArray;
		int32 NumMetaData;
	};

	struct FStructParams
	{
		const char* PackageNameUTF8;
		UScriptStruct* (*SuperFunc)();
		const char* NameUTF8;
		SIZE_T SizeOf;
		SIZE_T AlignOf;
		const FPropertyParams* PropertyArray;
		int32 NumProperties;
		const FMetaDataPairParam* MetaDataArray;
		int32 NumMetaData;
	};

	struct FFunctionParams
	{
		/** The class of a member function; null for a delegate signature declared at file scope. */
		UClass* (*OuterClassFunc)();
		/** The package of a delegate signature declared at file scope. */
		const char* PackageNameUTF8;
		const char* NameUTF8;
		SIZE_T ParmsSize;
		EFunctionFlags FunctionFlags;
		const FPropertyParams* PropertyArray;
		int32 NumProperties;
		const FMetaDataPairParam* MetaDataArray;
		int32 NumMetaData;
	};

	struct FClassFunctionLinkInfo
	{
		UFunction* (*CreateFuncPtr)();
		const char* FuncNameUTF8;
	};

	struct FClassParams
	{
		UClass* (*ClassNoRegisterFunc)();
		const FClassFunctionLinkInfo* FunctionLinkArray;
		int32 NumFunctions;
		const FPropertyParams* PropertyArray;
		int32 NumProperties;
		const FMetaDataPairParam* MetaDataArray;
		int32 NumMetaData;
	};

	COREUOBJECT_API void ConstructUEnum(UEnum*& OutEnum, const FEnumParams& Params);
	COREUOBJECT_API void ConstructUScriptStruct(UScriptStruct*& OutStruct, const FStructParams& Params);
	COREUOBJECT_API void ConstructUFunction(UFunction*& OutFunction, const FFunctionParams& Params);
	COREUOBJECT_API void ConstructUClass(UClass*& OutClass, const FClassParams& Params);
	/** The name of a generated table entry as an FName. */
	COREUOBJECT_API FName NameFromUTF8(const char* NameUTF8);
}
