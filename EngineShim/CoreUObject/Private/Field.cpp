#include "UObject/Field.h"

#include "Templates/Casts.h"
#include "UObject/Class.h"
#include "UObject/UnrealType.h"

FFieldClass::FFieldClass(const TCHAR* InCPPName, FFieldClass* InSuperClass)
	: Name(InCPPName + 1)
	, SuperClass(InSuperClass)
{
}

bool FFieldClass::IsChildOf(const FFieldClass* InClass) const
{
	for (const FFieldClass* Current = this; Current; Current = Current->SuperClass)
	{
		if (Current == InClass)
		{
			return true;
		}
	}
	return false;
}

FFieldClass* FField::StaticClass()
{
	static FFieldClass* Class = new FFieldClass(TEXT("FField"), nullptr);
	return Class;
}

FField::FField(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags)
	: Owner(InOwner)
	, NamePrivate(InName)
	, FlagsPrivate(InObjectFlags)
{
}

FField::~FField() = default;

UStruct* FField::GetOwnerStruct() const
{
	FFieldVariant Current = Owner;
	while (Current.ToField())
	{
		Current = Current.ToField()->Owner;
	}
	return Cast<UStruct>(Current.ToUObject());
}

UClass* FField::GetOwnerClass() const
{
	const UStruct* OwnerStruct = GetOwnerStruct();
	return OwnerStruct ? OwnerStruct->GetOwnerClass() : nullptr;
}

const FString* FField::FindMetaData(const FName& Key) const
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
const FString& FField::GetMetaData(const TCHAR* Key) const
{
	return GetMetaData(FName(Key));
}

const FString& FField::GetMetaData(const FName& Key) const
{
	static const FString Empty;
	const FString* Found = FindMetaData(Key);
	return Found ? *Found : Empty;
}

bool FField::HasMetaData(const TCHAR* Key) const
{
	return FindMetaData(FName(Key)) != nullptr;
}

bool FField::HasMetaData(const FName& Key) const
{
	return FindMetaData(Key) != nullptr;
}
#endif

void FField::SetMetaData(const TCHAR* Key, const TCHAR* InValue)
{
	SetMetaData(FName(Key), FString(InValue));
}

void FField::SetMetaData(const FName& Key, FString&& InValue)
{
	for (TPair<FName, FString>& Pair : MetaDataMap)
	{
		if (Pair.Key == Key)
		{
			Pair.Value = MoveTemp(InValue);
			return;
		}
	}
	MetaDataMap.Emplace(Key, MoveTemp(InValue));
}

FProperty::FProperty(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags, const int32 InOffset,
	const EPropertyFlags InFlags, const int32 InElementSize)
	: FField(InOwner, InName, InObjectFlags)
	, ElementSize(InElementSize)
	, PropertyFlags(InFlags)
	, Offset_Internal(InOffset)
{
}

IMPLEMENT_FIELD(FProperty)
IMPLEMENT_FIELD(FNumericProperty)

void FProperty::InitializeValue(void* Dest) const
{
	check(ValueOps != nullptr);
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		ValueOps->Construct(static_cast<uint8*>(Dest) + Index * ElementSize);
	}
}

void FProperty::DestroyValue(void* Dest) const
{
	check(ValueOps != nullptr);
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		ValueOps->Destruct(static_cast<uint8*>(Dest) + Index * ElementSize);
	}
}

void FProperty::CopySingleValue(void* Dest, const void* Src) const
{
	check(ValueOps != nullptr);
	if (Dest != Src)
	{
		ValueOps->Copy(Dest, Src);
	}
}

void FProperty::CopyCompleteValue(void* Dest, const void* Src) const
{
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		CopySingleValue(static_cast<uint8*>(Dest) + Index * ElementSize, static_cast<const uint8*>(Src) + Index * ElementSize);
	}
}

#define IMPLEMENT_SIMPLE_PROPERTY(TClass, CPPType) \
	IMPLEMENT_FIELD(TClass) \
	FString TClass::GetCPPType(FString*, uint32) const \
	{ \
		return TEXT(CPPType); \
	}

IMPLEMENT_SIMPLE_PROPERTY(FByteProperty, "uint8")
IMPLEMENT_SIMPLE_PROPERTY(FIntProperty, "int32")
IMPLEMENT_SIMPLE_PROPERTY(FInt64Property, "int64")
IMPLEMENT_SIMPLE_PROPERTY(FUInt32Property, "uint32")
IMPLEMENT_SIMPLE_PROPERTY(FFloatProperty, "float")
IMPLEMENT_SIMPLE_PROPERTY(FDoubleProperty, "double")
IMPLEMENT_SIMPLE_PROPERTY(FBoolProperty, "bool")
IMPLEMENT_SIMPLE_PROPERTY(FStrProperty, "FString")
IMPLEMENT_SIMPLE_PROPERTY(FNameProperty, "FName")
IMPLEMENT_SIMPLE_PROPERTY(FTextProperty, "FText")
