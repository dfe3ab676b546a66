#pragma once

// Properties: the reflected description of one member or parameter (name, flags, offset, size,
// type, metadata), and the iterator over the fields of a struct.

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/Field.h"

class FReferenceCollector;

class COREUOBJECT_API FProperty : public FField
{
	DECLARE_FIELD(FProperty, FField)

public:
	FProperty(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags, int32 InOffset, EPropertyFlags InFlags,
		int32 InElementSize);

	int32 ArrayDim = 1;
	int32 ElementSize;
	EPropertyFlags PropertyFlags;

	/** Where the value starts inside its container (struct, object or parameter block). */
	int32 GetOffset_ForInternal() const { return Offset_Internal; }
	int32 GetOffset_ForUFunction() const { return Offset_Internal; }
	int32 GetSize() const { return ArrayDim * ElementSize; }
	int32 GetElementSize() const { return ElementSize; }

	bool HasAnyPropertyFlags(const uint64 FlagsToCheck) const { return (PropertyFlags & FlagsToCheck) != 0; }
	bool HasAllPropertyFlags(const uint64 FlagsToCheck) const { return (PropertyFlags & FlagsToCheck) == FlagsToCheck; }

	/** The C++ type: "int32", "FString", "TArray" (with "<FString>" in ExtendedTypeText), ... */
	virtual FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const = 0;

	/**
	 * Reports to the collector every object reference in the value at ValuePtr (all ArrayDim elements),
	 * as the engine's garbage collector does through the reference schema it builds from properties.
	 * Nothing for a property that holds no object reference.
	 */
	virtual void AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const;

	template <typename ValueType>
	ValueType* ContainerPtrToValuePtr(void* ContainerPtr, const int32 ArrayIndex = 0) const
	{
		return reinterpret_cast<ValueType*>(static_cast<uint8*>(ContainerPtr) + Offset_Internal + ElementSize * ArrayIndex);
	}
	template <typename ValueType>
	const ValueType* ContainerPtrToValuePtr(const void* ContainerPtr, const int32 ArrayIndex = 0) const
	{
		return reinterpret_cast<const ValueType*>(static_cast<const uint8*>(ContainerPtr) + Offset_Internal + ElementSize * ArrayIndex);
	}

private:
	int32 Offset_Internal;
};

/** Declares a property class whose C++ type is fixed. */
#define DECLARE_SIMPLE_PROPERTY(TClass, TSuperClass) \
	class COREUOBJECT_API TClass : public TSuperClass \
	{ \
		DECLARE_FIELD(TClass, TSuperClass) \
	public: \
		using TSuperClass::TSuperClass; \
		FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override; \
	};

class COREUOBJECT_API FNumericProperty : public FProperty
{
	DECLARE_FIELD(FNumericProperty, FProperty)

public:
	using FProperty::FProperty;
};

DECLARE_SIMPLE_PROPERTY(FByteProperty, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FIntProperty, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FInt64Property, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FUInt32Property, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FFloatProperty, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FDoubleProperty, FNumericProperty)
DECLARE_SIMPLE_PROPERTY(FBoolProperty, FProperty)
DECLARE_SIMPLE_PROPERTY(FStrProperty, FProperty)
DECLARE_SIMPLE_PROPERTY(FNameProperty, FProperty)
DECLARE_SIMPLE_PROPERTY(FTextProperty, FProperty)

/** An enumeration value, stored as its underlying integer property. */
class COREUOBJECT_API FEnumProperty : public FProperty
{
	DECLARE_FIELD(FEnumProperty, FProperty)

public:
	FEnumProperty(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags, int32 InOffset, EPropertyFlags InFlags,
		int32 InElementSize, UEnum* InEnum);
	~FEnumProperty() override;

	void AddCppProperty(FProperty* Property);
	UEnum* GetEnum() const { return Enum; }
	FNumericProperty* GetUnderlyingProperty() const { return UnderlyingProp; }
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;

private:
	FNumericProperty* UnderlyingProp = nullptr;
	UEnum* Enum;
};

class COREUOBJECT_API FStructProperty : public FProperty
{
	DECLARE_FIELD(FStructProperty, FProperty)

public:
	FStructProperty(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags, int32 InOffset, EPropertyFlags InFlags,
		int32 InElementSize, UScriptStruct* InStruct);

	UScriptStruct* Struct;
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;
	void AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const override;
};

/** A pointer to an object of PropertyClass or a class derived from it (a parameter, return value or member). */
class COREUOBJECT_API FObjectProperty : public FProperty
{
	DECLARE_FIELD(FObjectProperty, FProperty)

public:
	FObjectProperty(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags, int32 InOffset, EPropertyFlags InFlags,
		int32 InElementSize, UClass* InClass);

	UClass* PropertyClass;
	/** "U<Class>*", the type of a raw object pointer. */
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;
	void AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const override;
};

class COREUOBJECT_API FArrayProperty : public FProperty
{
	DECLARE_FIELD(FArrayProperty, FProperty)

public:
	using FProperty::FProperty;
	~FArrayProperty() override;

	void AddCppProperty(FProperty* Property);
	/** The property of one element. */
	FProperty* Inner = nullptr;
	/** Calls Visit with each element of the array at ArrayPtr (the engine reads its FScriptArray instead). */
	void (*ForEachElement)(void* ArrayPtr, TFunctionRef<void(void*)> Visit) = nullptr;
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;
	void AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const override;
};

class COREUOBJECT_API FMapProperty : public FProperty
{
	DECLARE_FIELD(FMapProperty, FProperty)

public:
	using FProperty::FProperty;
	~FMapProperty() override;

	/** The first call sets the key property, the second the value property. */
	void AddCppProperty(FProperty* Property);
	FProperty* GetKeyProperty() const { return KeyProp; }
	FProperty* GetValueProperty() const { return ValueProp; }
	/** Calls Visit with the key and the value of each pair of the map at MapPtr (the engine reads its FScriptMap). */
	void (*ForEachPair)(void* MapPtr, TFunctionRef<void(void*, void*)> Visit) = nullptr;
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;
	void AddReferencedObjectsInValue(void* ValuePtr, FReferenceCollector& Collector, const UObject* Referencer) const override;

private:
	FProperty* KeyProp = nullptr;
	FProperty* ValueProp = nullptr;
};

class COREUOBJECT_API FMulticastDelegateProperty : public FProperty
{
	DECLARE_FIELD(FMulticastDelegateProperty, FProperty)

public:
	FMulticastDelegateProperty(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags, int32 InOffset,
		EPropertyFlags InFlags, int32 InElementSize, UFunction* InSignatureFunction);

	/** The delegate's signature: its parameters are the arguments of Broadcast. */
	UFunction* SignatureFunction;
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;
};

class COREUOBJECT_API FMulticastInlineDelegateProperty : public FMulticastDelegateProperty
{
	DECLARE_FIELD(FMulticastInlineDelegateProperty, FMulticastDelegateProperty)

public:
	using FMulticastDelegateProperty::FMulticastDelegateProperty;
};

namespace EFieldIteratorFlags
{
	enum SuperClassFlags
	{
		ExcludeSuper = 0,
		IncludeSuper,
	};
	enum DeprecatedPropertyFlags
	{
		ExcludeDeprecated = 0,
		IncludeDeprecated,
	};
	enum InterfaceClassFlags
	{
		ExcludeInterfaces = 0,
		IncludeInterfaces,
	};
}

/**
 * Iterates the fields of one kind (a property class, or UFunction) of a struct, class or function:
 * its own in declaration order, then, with IncludeSuper, those of its super struct, and so on up.
 */
template <class T>
class TFieldIterator
{
	static constexpr bool bIsProperty = std::is_base_of_v<FField, T>;
	using FLinkType = std::conditional_t<bIsProperty, FField, UField>;

public:
	explicit TFieldIterator(const UStruct* InStruct,
		const EFieldIteratorFlags::SuperClassFlags InSuperClassFlags = EFieldIteratorFlags::IncludeSuper,
		const EFieldIteratorFlags::DeprecatedPropertyFlags = EFieldIteratorFlags::IncludeDeprecated,
		const EFieldIteratorFlags::InterfaceClassFlags = EFieldIteratorFlags::ExcludeInterfaces)
		: Struct(InStruct)
		, Field(InStruct ? FirstOf(InStruct) : nullptr)
		, bIncludeSuper(InSuperClassFlags == EFieldIteratorFlags::IncludeSuper)
	{
		IterateToNext();
	}

	explicit operator bool() const { return Field != nullptr; }
	bool operator!() const { return Field == nullptr; }

	TFieldIterator& operator++()
	{
		Field = Field->Next;
		IterateToNext();
		return *this;
	}

	T* operator*() const { return static_cast<T*>(Field); }
	T* operator->() const { return static_cast<T*>(Field); }
	/** The struct that declares the current field. */
	const UStruct* GetStruct() const { return Struct; }

private:
	static FLinkType* FirstOf(const UStruct* InStruct)
	{
		if constexpr (bIsProperty)
		{
			return InStruct->ChildProperties;
		}
		else
		{
			return InStruct->Children;
		}
	}

	void IterateToNext()
	{
		while (Struct)
		{
			for (; Field; Field = Field->Next)
			{
				if (Field->template IsA<T>())
				{
					return;
				}
			}
			Struct = bIncludeSuper ? Struct->GetSuperStruct() : nullptr;
			Field = Struct ? FirstOf(Struct) : nullptr;
		}
	}

	const UStruct* Struct;
	FLinkType* Field;
	bool bIncludeSuper;
};
