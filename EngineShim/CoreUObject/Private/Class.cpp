#include "UObject/Class.h"

#include "Templates/Casts.h"
#include "UObject/NoExportTypes.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UnrealType.h"
#include "UObjectArray.h"

IMPLEMENT_CORE_INTRINSIC_CLASS(UField)
IMPLEMENT_CORE_INTRINSIC_CLASS(UStruct)
IMPLEMENT_CORE_INTRINSIC_CLASS(UScriptStruct)
IMPLEMENT_CORE_INTRINSIC_CLASS(UFunction)
IMPLEMENT_CORE_INTRINSIC_CLASS(UDelegateFunction)
IMPLEMENT_CORE_INTRINSIC_CLASS(UClass)
IMPLEMENT_CORE_INTRINSIC_CLASS(UEnum)

namespace
{
	const FString& EmptyString()
	{
		static const FString Empty;
		return Empty;
	}
}

UClass* UField::GetOwnerClass() const
{
	for (const UObject* Current = this; Current; Current = Current->GetOuter())
	{
		if (const UClass* Class = Cast<UClass>(Current))
		{
			return const_cast<UClass*>(Class);
		}
	}
	return nullptr;
}

const FString* UField::FindMetaData(const FName& Key) const
{
	for (const TPair<FName, FString>& Pair : MetaDataMap)
	{
		if (Pair.Key == Key)
		{
			return &Pair.Value;
		}
	}
	return nullptr;
}

#if WITH_EDITORONLY_DATA
const FString& UField::GetMetaData(const TCHAR* Key) const
{
	return GetMetaData(FName(Key));
}

const FString& UField::GetMetaData(const FName& Key) const
{
	const FString* Found = FindMetaData(Key);
	return Found ? *Found : EmptyString();
}

bool UField::HasMetaData(const TCHAR* Key) const
{
	return FindMetaData(FName(Key)) != nullptr;
}

bool UField::HasMetaData(const FName& Key) const
{
	return FindMetaData(Key) != nullptr;
}
#endif

void UField::SetMetaData(const TCHAR* Key, const TCHAR* InValue)
{
	const FName KeyName(Key);
	for (TPair<FName, FString>& Pair : MetaDataMap)
	{
		if (Pair.Key == KeyName)
		{
			Pair.Value = InValue;
			return;
		}
	}
	MetaDataMap.Emplace(KeyName, FString(InValue));
}

UStruct::~UStruct()
{
	while (ChildProperties)
	{
		FField* Next = ChildProperties->Next;
		delete ChildProperties;
		ChildProperties = Next;
	}
}

bool UStruct::IsChildOf(const UStruct* SomeBase) const
{
	for (const UStruct* Current = this; Current; Current = Current->GetSuperStruct())
	{
		if (Current == SomeBase)
		{
			return true;
		}
	}
	return false;
}

FProperty* UStruct::FindPropertyByName(const FName InName) const
{
	for (TFieldIterator<FProperty> It(this); It; ++It)
	{
		if (It->GetFName() == InName)
		{
			return *It;
		}
	}
	return nullptr;
}

void UStruct::AddCppProperty(FProperty* Property)
{
	FField** Link = &ChildProperties;
	while (*Link)
	{
		Link = &(*Link)->Next;
	}
	*Link = Property;
}

FString UScriptStruct::GetStructCPPName(uint32) const
{
	return FString(GetPrefixCPP()) + GetName();
}

FProperty* UFunction::GetReturnProperty() const
{
	for (TFieldIterator<FProperty> It(this); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (It->HasAnyPropertyFlags(CPF_ReturnParm))
		{
			return *It;
		}
	}
	return nullptr;
}

void UFunction::Bind()
{
	if (const UClass* OwnerClass = GetOwnerClass())
	{
		Func = OwnerClass->FindNativeFunction(GetFName());
	}
}

void UFunction::Invoke(UObject* Obj, FFrame& Stack, RESULT_DECL)
{
	check(Func != nullptr);
	Func(Obj, Stack, RESULT_PARAM);
}

void UFunction::InitializeDerivedMembers()
{
	NumParms = 0;
	ReturnValueOffset = 0xffff;
	for (TFieldIterator<FProperty> It(this); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		++NumParms;
		if (It->HasAnyPropertyFlags(CPF_ReturnParm))
		{
			ReturnValueOffset = static_cast<uint16>(It->GetOffset_ForUFunction());
		}
	}
}

UFunction* UClass::FindFunctionByName(const FName InName, const EIncludeSuperFlag::Type IncludeSuper) const
{
	for (const UClass* Class = this; Class; Class = IncludeSuper == EIncludeSuperFlag::IncludeSuper ? Class->GetSuperClass() : nullptr)
	{
		for (UField* Field = Class->Children; Field; Field = Field->Next)
		{
			if (Field->GetFName() == InName)
			{
				return Cast<UFunction>(Field);
			}
		}
	}
	return nullptr;
}

void UClass::AddFunctionToFunctionMap(UFunction* Function, FName)
{
	UField** Link = &Children;
	while (*Link)
	{
		Link = &(*Link)->Next;
	}
	*Link = Function;
}

void UClass::AddNativeFunction(const ANSICHAR* InName, FNativeFuncPtr InPointer)
{
	NativeFunctionLookupTable.Emplace(FName(FUTF8ToTCHAR(InName).Get()), InPointer);
}

FNativeFuncPtr UClass::FindNativeFunction(const FName InName) const
{
	for (const TPair<FName, FNativeFuncPtr>& Entry : NativeFunctionLookupTable)
	{
		if (Entry.Key == InName)
		{
			return Entry.Value;
		}
	}
	return nullptr;
}

UObject* UClass::GetDefaultObject(const bool bCreateIfNeeded) const
{
	if (!ClassDefaultObject && bCreateIfNeeded)
	{
		const FName DefaultName(FString(TEXT("Default__")) + GetName());
		ClassDefaultObject = StaticConstructObject_Internal(this, GetOuter(), DefaultName, RF_Public | RF_ClassDefaultObject);
	}
	return ClassDefaultObject;
}

void FNativeFunctionRegistrar::RegisterFunctions(UClass* Class, const FNameNativePtrPair* InArray, const int32 NumFunctions)
{
	for (int32 Index = 0; Index < NumFunctions; ++Index)
	{
		Class->AddNativeFunction(InArray[Index].NameUTF8, InArray[Index].Pointer);
	}
}

UScriptStruct* TBaseStructure<FGuid>::Get()
{
	return StaticStruct<FGuid>();
}

void GetPrivateStaticClassBody(const TCHAR* PackageName, const TCHAR* Name, UClass*& ReturnClass, void (*RegisterNativeFunc)(),
	const uint32 InSize, const uint32 InAlignment, const EClassFlags InClassFlags, UClass::ClassConstructorType InClassConstructor,
	UClass::ClassAddReferencedObjectsType InClassAddReferencedObjects, UClass::StaticClassFunctionType InSuperClassFn,
	UClass* (*InConstructFn)())
{
	// The class object exists before its own class, package and super class do: each of those
	// may lead back here (UClass is an instance of itself), and must then find it.
	UClass* NewClass = static_cast<UClass*>(FUObjectInternals::Construct(&UClass::__DefaultConstructor, nullptr, nullptr,
		FName(Name), RF_Public | RF_MarkAsNative));
	ReturnClass = NewClass;
	NewClass->ClassFlags = InClassFlags;
	NewClass->ClassConstructor = InClassConstructor;
	NewClass->ClassAddReferencedObjects = InClassAddReferencedObjects;
	NewClass->PropertiesSize = static_cast<int32>(InSize);
	NewClass->MinAlignment = static_cast<int32>(InAlignment);
	FUObjectInternals::SetClass(NewClass, UClass::StaticClass());
	FUObjectInternals::SetOuter(NewClass, CreatePackage(PackageName));
	UClass* SuperClass = InSuperClassFn();
	NewClass->SetSuperStruct(SuperClass != NewClass ? SuperClass : nullptr);
	if (RegisterNativeFunc)
	{
		RegisterNativeFunc();
	}
	if (InConstructFn)
	{
		InConstructFn();
	}
}
