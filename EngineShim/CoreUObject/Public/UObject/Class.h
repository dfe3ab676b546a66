#pragma once

// The reflection objects: structs, classes, functions and enumerations, as the header tool
// describes them and CoreUObject builds them on first use.

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "UObject/ObjectMacros.h"
#include "UObject/Script.h"
#include "UObject/Stack.h"

class FField;
class FProperty;

/** A reflected object with metadata: the base of structs, functions and enumerations. */
class COREUOBJECT_API UField : public UObject
{
	DECLARE_CLASS(UField, UObject, CLASS_Abstract | CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UField() = default;

	/** The next field of the same owner (functions of a class). */
	UField* Next = nullptr;

	UClass* GetOwnerClass() const;

#if WITH_EDITORONLY_DATA
	/** The metadata value for the key, or an empty string. Keys ignore case. Editor-only data, as in the engine. */
	const FString& GetMetaData(const TCHAR* Key) const;
	const FString& GetMetaData(const FName& Key) const;
	bool HasMetaData(const TCHAR* Key) const;
	bool HasMetaData(const FName& Key) const;
#endif
	void SetMetaData(const TCHAR* Key, const TCHAR* InValue);

protected:
	const FString* FindMetaData(const FName& Key) const;

private:
	TArray<TPair<FName, FString>> MetaDataMap;
};

/** A reflected type with properties: the base of script structs, classes and functions. */
class COREUOBJECT_API UStruct : public UField
{
	DECLARE_CLASS(UStruct, UField, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UStruct() = default;
	~UStruct() override;

	UStruct* GetSuperStruct() const { return SuperStruct; }
	void SetSuperStruct(UStruct* NewSuperStruct) { SuperStruct = NewSuperStruct; }
	bool IsChildOf(const UStruct* SomeBase) const;
	template <class T>
	bool IsChildOf() const
	{
		return IsChildOf(T::StaticClass());
	}

	/** The property with that name, in this struct or a super struct; null when there is none. */
	FProperty* FindPropertyByName(FName InName) const;
	int32 GetPropertiesSize() const { return PropertiesSize; }
	int32 GetMinAlignment() const { return MinAlignment; }
	/** The prefix of the C++ name: "F" for structs, "U" for classes. */
	virtual const TCHAR* GetPrefixCPP() const { return TEXT("F"); }

	/** Adds a property after the ones already declared. */
	void AddCppProperty(FProperty* Property);

	/** Functions of a class, in declaration order. */
	UField* Children = nullptr;
	/** Properties, in declaration order. */
	FField* ChildProperties = nullptr;
	int32 PropertiesSize = 0;
	int32 MinAlignment = 1;

private:
	UStruct* SuperStruct = nullptr;
};

/** A reflected USTRUCT. Its object name drops the 'F': FNimbrelChatRequest is "NimbrelChatRequest". */
class COREUOBJECT_API UScriptStruct : public UStruct
{
	DECLARE_CLASS(UScriptStruct, UStruct, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UScriptStruct() = default;

	/** "F" and the object name: the name of the C++ type. */
	FString GetStructCPPName(uint32 CPPExportFlags = 0) const;
};

/** A reflected function, or the signature of a dynamic delegate. Its properties are its parameters. */
class COREUOBJECT_API UFunction : public UStruct
{
	DECLARE_CLASS(UFunction, UStruct, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UFunction() = default;

	EFunctionFlags FunctionFlags = FUNC_None;
	uint8 NumParms = 0;
	uint16 ParmsSize = 0;
	/** Offset of the return value in the parameter block; 0xffff without one. */
	uint16 ReturnValueOffset = 0xffff;

	bool HasAnyFunctionFlags(const EFunctionFlags Flags) const { return (FunctionFlags & Flags) != 0; }
	bool HasAllFunctionFlags(const EFunctionFlags Flags) const { return (FunctionFlags & Flags) == Flags; }
	FProperty* GetReturnProperty() const;

	FNativeFuncPtr GetNativeFunc() const { return Func; }
	void SetNativeFunc(FNativeFuncPtr InFunc) { Func = InFunc; }
	/** Looks the thunk up among the natives its class registered. */
	void Bind();
	/** Calls the thunk with a frame whose Locals hold the parameter block. */
	void Invoke(UObject* Obj, FFrame& Stack, RESULT_DECL);

	/** Counts the parameters and finds the return value; called once the parameters are added. */
	void InitializeDerivedMembers();

private:
	FNativeFuncPtr Func = nullptr;
};

/** The signature of a dynamic delegate. */
class COREUOBJECT_API UDelegateFunction : public UFunction
{
	DECLARE_CLASS(UDelegateFunction, UFunction, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UDelegateFunction() = default;
};

namespace EIncludeSuperFlag
{
	enum Type
	{
		ExcludeSuper,
		IncludeSuper,
	};
}

/** A UObject class. Its object name drops the 'U': UTalvaneSubsystem is "TalvaneSubsystem". */
class COREUOBJECT_API UClass : public UStruct
{
	DECLARE_CLASS(UClass, UStruct, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	typedef UObject* (*ClassConstructorType)();
	typedef UClass* (*StaticClassFunctionType)();
	typedef void (*ClassAddReferencedObjectsType)(UObject*, FReferenceCollector&);

	UClass() = default;

	/** Makes a new, default-constructed instance; NewObject calls it. */
	ClassConstructorType ClassConstructor = nullptr;
	/** The static AddReferencedObjects of the class; the garbage collector calls it for each instance. */
	ClassAddReferencedObjectsType ClassAddReferencedObjects = nullptr;
	EClassFlags ClassFlags = CLASS_None;

	UClass* GetSuperClass() const { return static_cast<UClass*>(GetSuperStruct()); }
	bool HasAnyClassFlags(const EClassFlags FlagsToCheck) const { return (ClassFlags & FlagsToCheck) != 0; }
	bool HasAllClassFlags(const EClassFlags FlagsToCheck) const { return (ClassFlags & FlagsToCheck) == FlagsToCheck; }
	const TCHAR* GetPrefixCPP() const override { return TEXT("U"); }

	UFunction* FindFunctionByName(FName InName, EIncludeSuperFlag::Type IncludeSuper = EIncludeSuperFlag::IncludeSuper) const;
	/** Adds a function after the ones already declared. */
	void AddFunctionToFunctionMap(UFunction* Function, FName FuncName);

	void AddNativeFunction(const ANSICHAR* InName, FNativeFuncPtr InPointer);
	FNativeFuncPtr FindNativeFunction(FName InName) const;

	/** The class default object, made on first request; abstract classes have one too. */
	UObject* GetDefaultObject(bool bCreateIfNeeded = true) const;
	template <class T>
	T* GetDefaultObject() const
	{
		UObject* Default = GetDefaultObject();
		check(Default == nullptr || Default->IsA(T::StaticClass()));
		return static_cast<T*>(Default);
	}

private:
	TArray<TPair<FName, FNativeFuncPtr>> NativeFunctionLookupTable;
	mutable UObject* ClassDefaultObject = nullptr;
};

/** Flags of an enumeration. */
enum class EEnumFlags
{
	None,
	Flags = 0x00000001,
};

/** A reflected UENUM: its enumerators in declaration order, then the generated _MAX entry. */
class COREUOBJECT_API UEnum : public UField
{
	DECLARE_CLASS(UEnum, UField, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	/** How the enumeration is written in C++; enum class names are qualified ("E::A"). */
	enum class ECppForm : uint8
	{
		Regular,
		Namespaced,
		EnumClass,
	};

	UEnum() = default;

	/** The C++ type name. */
	FString CppType;

	ECppForm GetCppForm() const { return CppForm; }
	int32 NumEnums() const { return Names.Num(); }
	FName GetNameByIndex(int32 Index) const;
	/** The enumerator name without the type qualifier. */
	FString GetNameStringByIndex(int32 Index) const;
	int64 GetValueByIndex(int32 Index) const;
	int32 GetIndexByValue(int64 InValue) const;
	/** The full name ("E::A" for an enum class); NAME_None for a value without an enumerator. */
	FName GetNameByValue(int64 InValue) const;
	/** The enumerator name without the qualifier ("A"); empty for a value without an enumerator. */
	FString GetNameStringByValue(int64 InValue) const;
	/** The DisplayName metadata, or else the enumerator name. */
	FText GetDisplayNameTextByIndex(int32 NameIndex) const;
	FText GetDisplayNameTextByValue(int64 InValue) const;
	int64 GetMaxEnumValue() const;

#if WITH_EDITORONLY_DATA
	/** Metadata of the enumeration, or of one enumerator when NameIndex is given ("A.ToolTip"). Editor-only data. */
	FString GetMetaData(const TCHAR* Key, int32 NameIndex = INDEX_NONE, bool bAllowRemap = true) const;
	bool HasMetaData(const TCHAR* Key, int32 NameIndex = INDEX_NONE) const;
#endif
	void SetMetaData(const TCHAR* Key, const TCHAR* InValue, int32 NameIndex = INDEX_NONE);

	/** Sets the enumerators; adds "<Prefix>_MAX" = highest value + 1 unless one is there. */
	bool SetEnums(TArray<TPair<FName, int64>>& InNames, ECppForm InCppForm, EEnumFlags InFlags = EEnumFlags::None,
		bool bAddMaxKeyIfMissing = true);
	/** The longest common prefix of the enumerator names up to an underscore, or the type name. */
	FString GenerateEnumPrefix() const;

private:
	FString MetaDataKey(const TCHAR* Key, int32 NameIndex) const;

	TArray<TPair<FName, int64>> Names;
	ECppForm CppForm = ECppForm::Regular;
	EEnumFlags EnumFlags = EEnumFlags::None;
};

/** The struct object of a struct that Core declares (FGuid), or of any USTRUCT. */
template <class T>
struct TBaseStructure
{
	static UScriptStruct* Get() { return T::StaticStruct(); }
};

template <>
struct TBaseStructure<FGuid>
{
	COREUOBJECT_API static UScriptStruct* Get();
};

/**
 * Makes the class object of a native class: called once by its StaticClass(). ReturnClass is set
 * before the super class and the properties are built, so a class can refer to itself.
 */
COREUOBJECT_API void GetPrivateStaticClassBody(const TCHAR* PackageName, const TCHAR* Name, UClass*& ReturnClass,
	void (*RegisterNativeFunc)(), uint32 InSize, uint32 InAlignment, EClassFlags InClassFlags,
	UClass::ClassConstructorType InClassConstructor, UClass::ClassAddReferencedObjectsType InClassAddReferencedObjects,
	UClass::StaticClassFunctionType InSuperClassFn, UClass* (*InConstructFn)());

/** The class object of a class CoreUObject declares by hand. */
#define IMPLEMENT_CORE_INTRINSIC_CLASS(TClass) \
	UClass* TClass::GetPrivateStaticClass() \
	{ \
		static UClass* PrivateStaticClass = nullptr; \
		if (!PrivateStaticClass) \
		{ \
			GetPrivateStaticClassBody(StaticPackage(), TEXT(#TClass) + 1, PrivateStaticClass, nullptr, sizeof(TClass), \
				alignof(TClass), StaticClassFlags, &__DefaultConstructor, &__AddReferencedObjects, &Super::StaticClass, nullptr); \
		} \
		return PrivateStaticClass; \
	}
