#include "UObject/UnrealType.h"

#include "UObject/GCObject.h"

// The properties whose C++ type depends on what they hold.

IMPLEMENT_FIELD(FEnumProperty)
IMPLEMENT_FIELD(FStructProperty)
IMPLEMENT_FIELD(FObjectProperty)
IMPLEMENT_FIELD(FArrayProperty)
IMPLEMENT_FIELD(FMapProperty)
IMPLEMENT_FIELD(FMulticastDelegateProperty)
IMPLEMENT_FIELD(FMulticastInlineDelegateProperty)

namespace
{
	/** "<Inner>" text of a container, with a space between closing brackets as the engine writes it. */
	FString TemplateArgument(const FProperty* Property)
	{
		FString Extended;
		FString Text = Property->GetCPPType(&Extended);
		Text += Extended;
		if (Text.EndsWith(TEXT(">"), ESearchCase::CaseSensitive))
		{
			Text += TEXT(" ");
		}
		return Text;
	}
}

void FProperty::AddReferencedObjectsInValue(void*, FReferenceCollector&, const UObject*) const
{
}

FEnumProperty::FEnumProperty(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags, const int32 InOffset,
	const EPropertyFlags InFlags, const int32 InElementSize, UEnum* InEnum)
	: FProperty(InOwner, InName, InObjectFlags, InOffset, InFlags, InElementSize)
	, Enum(InEnum)
{
}

FEnumProperty::~FEnumProperty()
{
	delete UnderlyingProp;
}

void FEnumProperty::AddCppProperty(FProperty* Property)
{
	check(UnderlyingProp == nullptr);
	UnderlyingProp = CastField<FNumericProperty>(Property);
	check(UnderlyingProp != nullptr);
}

FString FEnumProperty::GetCPPType(FString*, uint32) const
{
	return Enum ? Enum->CppType : FString();
}

FStructProperty::FStructProperty(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags, const int32 InOffset,
	const EPropertyFlags InFlags, const int32 InElementSize, UScriptStruct* InStruct)
	: FProperty(InOwner, InName, InObjectFlags, InOffset, InFlags, InElementSize)
	, Struct(InStruct)
{
}

FString FStructProperty::GetCPPType(FString*, uint32) const
{
	return Struct ? Struct->GetStructCPPName() : FString();
}

void FStructProperty::AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const
{
	for (int32 Index = 0; Struct && Index < ArrayDim; ++Index)
	{
		void* Element = static_cast<uint8*>(ValuePtr) + Index * ElementSize;
		for (TFieldIterator<FProperty> It(Struct); It; ++It)
		{
			It->AddReferencedObjectsInValue(It->ContainerPtrToValuePtr<void>(Element), Collector, Referencer);
		}
	}
}

FObjectProperty::FObjectProperty(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags, const int32 InOffset,
	const EPropertyFlags InFlags, const int32 InElementSize, UClass* InClass)
	: FProperty(InOwner, InName, InObjectFlags, InOffset, InFlags, InElementSize)
	, PropertyClass(InClass)
{
}

FString FObjectProperty::GetCPPType(FString*, uint32) const
{
	return PropertyClass ? FString(PropertyClass->GetPrefixCPP()) + PropertyClass->GetName() + TEXT("*") : FString();
}

void FObjectProperty::AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const
{
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		Collector.AddReferencedObject(static_cast<UObject**>(ValuePtr)[Index], Referencer);
	}
}

void FArrayProperty::AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const
{
	if (!ForEachElement || !Inner)
	{
		return;
	}
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		ForEachElement(static_cast<uint8*>(ValuePtr) + Index * ElementSize, [this, &Collector, Referencer](void* Element)
		{
			Inner->AddReferencedObjectsInValue(Element, Collector, Referencer);
		});
	}
}

FArrayProperty::~FArrayProperty()
{
	delete Inner;
}

void FArrayProperty::AddCppProperty(FProperty* Property)
{
	check(Inner == nullptr);
	Inner = Property;
}

FString FArrayProperty::GetCPPType(FString* ExtendedTypeText, uint32) const
{
	if (ExtendedTypeText)
	{
		*ExtendedTypeText = FString(TEXT("<")) + TemplateArgument(Inner) + TEXT(">");
	}
	return TEXT("TArray");
}

FMapProperty::~FMapProperty()
{
	delete KeyProp;
	delete ValueProp;
}

void FMapProperty::AddCppProperty(FProperty* Property)
{
	check(ValueProp == nullptr);
	(KeyProp ? ValueProp : KeyProp) = Property;
}

FString FMapProperty::GetCPPType(FString* ExtendedTypeText, uint32) const
{
	if (ExtendedTypeText)
	{
		*ExtendedTypeText = FString(TEXT("<")) + TemplateArgument(KeyProp) + TEXT(",") + TemplateArgument(ValueProp) + TEXT(">");
	}
	return TEXT("TMap");
}

void FMapProperty::AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const
{
	if (!ForEachPair || !KeyProp || !ValueProp)
	{
		return;
	}
	for (int32 Index = 0; Index < ArrayDim; ++Index)
	{
		ForEachPair(static_cast<uint8*>(ValuePtr) + Index * ElementSize, [this, &Collector, Referencer](void* Key, void* Value)
		{
			// A key is reported from a copy: clearing it in place would break the map's hashing.
			if (CastField<FObjectProperty>(KeyProp))
			{
				UObject* KeyObject = *static_cast<UObject**>(Key);
				Collector.AddReferencedObject(KeyObject, Referencer);
			}
			else
			{
				KeyProp->AddReferencedObjectsInValue(Key, Collector, Referencer);
			}
			ValueProp->AddReferencedObjectsInValue(Value, Collector, Referencer);
		});
	}
}

FMulticastDelegateProperty::FMulticastDelegateProperty(FFieldVariant InOwner, const FName& InName, const EObjectFlags InObjectFlags,
	const int32 InOffset, const EPropertyFlags InFlags, const int32 InElementSize, UFunction* InSignatureFunction)
	: FProperty(InOwner, InName, InObjectFlags, InOffset, InFlags, InElementSize)
	, SignatureFunction(InSignatureFunction)
{
}

FString FMulticastDelegateProperty::GetCPPType(FString*, uint32) const
{
	static const FString Suffix(TEXT("__DelegateSignature"));
	const FString Name = SignatureFunction ? SignatureFunction->GetName() : FString();
	return FString(TEXT("F")) + (Name.EndsWith(Suffix, ESearchCase::CaseSensitive) ? Name.LeftChop(Suffix.Len()) : Name);
}
