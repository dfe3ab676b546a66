#pragma once

// Properties: the reflected description of one member or parameter (name, flags, offset, size,
// type, metadata), and the iterator over the fields of a struct.

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/Field.h"

class FReferenceCollector;

/**
 * How to construct, destroy and copy one value of a property's C++ type. The engine's property
 * classes know this per type; the stand-in's property factory, which knows the C++ type, hands each
 * property its table instead. Not an engine type: plugin code uses the FProperty calls below.
 */
struct FPropertyValueOps
{
	void (*Construct)(void* Dest);
	void (*Destruct)(void* Dest);
	void (*Copy)(void* Dest, const void* Src);
};

template <typename T>
struct TPropertyValueOps
{
	static void Construct(void* Dest) { new (Dest) T(); }
	static void Destruct(void* Dest) { static_cast<T*>(Dest)->~T(); }
	static void Copy(void* Dest, const void* Src) { *static_cast<T*>(Dest) = *static_cast<const T*>(Src); }
	static constexpr FPropertyValueOps Ops = {&Construct, &Destruct, &Copy};
};

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
	/** Constructs the value (every array element) in zeroed memory at Dest, as its C++ default constructor does. */
	void InitializeValue(void* Dest) const;
	/** Destroys the value (every array element) at Dest; the memory stays. */
	void DestroyValue(void* Dest) const;
	void InitializeValue_InContainer(void* Container) const { InitializeValue(ContainerPtrToValuePtr<void>(Container)); }
	void DestroyValue_InContainer(void* Container) const { DestroyValue(ContainerPtrToValuePtr<void>(Container)); }
	/** Copies one element's value over another, both constructed. */
	void CopySingleValue(void* Dest, const void* Src) const;
	void CopyCompleteValue(void* Dest, const void* Src) const;

	/** Set once by the property factory of the stand-in (see FPropertyValueOps). */
	void SetValueOps(const FPropertyValueOps* InOps) { ValueOps = InOps; }

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
	const FPropertyValueOps* ValueOps = nullptr;
};

/**
 * The typed access of a property whose C++ type is fixed (TProperty in the engine): the value at an
 * address, or at the property's place inside a container.
 */
template <typename InTCppType>
struct TPropertyTypeAccess
{
	typedef InTCppType TCppType;
	static const TCppType& GetPropertyValue(const void* A) { return *static_cast<const TCppType*>(A); }
	static void SetPropertyValue(void* A, const TCppType& Value) { *static_cast<TCppType*>(A) = Value; }
	static TCppType* GetPropertyValuePtr(void* A) { return static_cast<TCppType*>(A); }
	static const TCppType* GetPropertyValuePtr(const void* A) { return static_cast<const TCppType*>(A); }
};

/** Declares a property class whose C++ type is fixed, with the engine's typed access to its values. */
#define DECLARE_SIMPLE_PROPERTY(TClass, TSuperClass, TCppTypeName) \
	class COREUOBJECT_API TClass : public TSuperClass, public TPropertyTypeAccess<TCppTypeName> \
	{ \
		DECLARE_FIELD(TClass, TSuperClass) \
	public: \
		using TSuperClass::TSuperClass; \
		FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override; \
	};

/** A number: an integer or a floating-point value of any width. */
class COREUOBJECT_API FNumericProperty : public FProperty
{
	DECLARE_FIELD(FNumericProperty, FProperty)

public:
	using FProperty::FProperty;

	virtual bool IsFloatingPoint() const { return false; }
	virtual bool IsInteger() const { return true; }
	/** Stores an integer, converted to the property's type as C++ converts it. */
	virtual void SetIntPropertyValue(void* Data, int64 Value) const = 0;
	virtual void SetFloatingPointPropertyValue(void* Data, double Value) const = 0;
	virtual int64 GetSignedIntPropertyValue(const void* Data) const = 0;
	virtual double GetFloatingPointPropertyValue(const void* Data) const = 0;
	/** The enumeration of a byte that holds one (TEnumAsByte); null otherwise. */
	virtual UEnum* GetIntPropertyEnum() const { return nullptr; }
};

/** Declares a numeric property class: typed access and the generic numeric calls of FNumericProperty. */
#define DECLARE_NUMERIC_PROPERTY(TClass, TCppTypeName, bFloatingPoint) \
	class COREUOBJECT_API TClass : public FNumericProperty, public TPropertyTypeAccess<TCppTypeName> \
	{ \
		DECLARE_FIELD(TClass, FNumericProperty) \
	public: \
		using FNumericProperty::FNumericProperty; \
		FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override; \
		bool IsFloatingPoint() const override { return bFloatingPoint; } \
		bool IsInteger() const override { return !bFloatingPoint; } \
		void SetIntPropertyValue(void* Data, int64 Value) const override { *static_cast<TCppTypeName*>(Data) = (TCppTypeName)Value; } \
		void SetFloatingPointPropertyValue(void* Data, double Value) const override { *static_cast<TCppTypeName*>(Data) = (TCppTypeName)Value; } \
		int64 GetSignedIntPropertyValue(const void* Data) const override { return (int64)*static_cast<const TCppTypeName*>(Data); } \
		double GetFloatingPointPropertyValue(const void* Data) const override { return (double)*static_cast<const TCppTypeName*>(Data); } \
		TCLASS_EXTRA_##TClass \
	};

#define TCLASS_EXTRA_FByteProperty \
	/** The enumeration of a TEnumAsByte; the stand-in reflects none, so always null. */ \
	UEnum* Enum = nullptr; \
	UEnum* GetIntPropertyEnum() const override { return Enum; }
#define TCLASS_EXTRA_FIntProperty
#define TCLASS_EXTRA_FInt64Property
#define TCLASS_EXTRA_FUInt32Property
#define TCLASS_EXTRA_FFloatProperty
#define TCLASS_EXTRA_FDoubleProperty

DECLARE_NUMERIC_PROPERTY(FByteProperty, uint8, false)
DECLARE_NUMERIC_PROPERTY(FIntProperty, int32, false)
DECLARE_NUMERIC_PROPERTY(FInt64Property, int64, false)
DECLARE_NUMERIC_PROPERTY(FUInt32Property, uint32, false)
DECLARE_NUMERIC_PROPERTY(FFloatProperty, float, true)
DECLARE_NUMERIC_PROPERTY(FDoubleProperty, double, true)
DECLARE_SIMPLE_PROPERTY(FStrProperty, FProperty, FString)
DECLARE_SIMPLE_PROPERTY(FNameProperty, FProperty, FName)
DECLARE_SIMPLE_PROPERTY(FTextProperty, FProperty, FText)

/** A bool. The engine also models bitfields (a field mask); a reflected bool here is always a whole native bool. */
class COREUOBJECT_API FBoolProperty : public FProperty
{
	DECLARE_FIELD(FBoolProperty, FProperty)

public:
	using FProperty::FProperty;
	FString GetCPPType(FString* ExtendedTypeText = nullptr, uint32 CPPExportFlags = 0) const override;

	bool GetPropertyValue(const void* A) const { return *static_cast<const bool*>(A); }
	void SetPropertyValue(void* A, const bool Value) const { *static_cast<bool*>(A) = Value; }
	bool IsNativeBool() const { return true; }
};

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

	/** How FScriptArrayHelper reaches the array's elements; set by the stand-in's property factory. */
	struct FScriptArrayOps
	{
		int32 (*Num)(const void* Array);
		uint8* (*GetRawPtr)(void* Array, int32 Index);
		void (*Resize)(void* Array, int32 NewNum);
	};
	const FScriptArrayOps* ArrayOps = nullptr;
};

template <typename ElementType>
struct TScriptArrayOps
{
	static int32 Num(const void* Array) { return static_cast<const TArray<ElementType>*>(Array)->Num(); }
	static uint8* GetRawPtr(void* Array, const int32 Index)
	{
		return reinterpret_cast<uint8*>(static_cast<TArray<ElementType>*>(Array)->GetData() + Index);
	}
	static void Resize(void* Array, const int32 NewNum) { static_cast<TArray<ElementType>*>(Array)->SetNum(NewNum); }
	static constexpr FArrayProperty::FScriptArrayOps Ops = {&Num, &GetRawPtr, &Resize};
};

/** Reads and resizes the array an FArrayProperty describes, without knowing its element type. */
class FScriptArrayHelper
{
public:
	FScriptArrayHelper(const FArrayProperty* InProperty, const void* InArray)
		: Property(InProperty)
		, Array(const_cast<void*>(InArray))
	{
	}

	int32 Num() const { return Property->ArrayOps->Num(Array); }
	bool IsValidIndex(const int32 Index) const { return Index >= 0 && Index < Num(); }
	/** The element at Index; new elements are constructed as their C++ default constructor does. */
	uint8* GetRawPtr(const int32 Index = 0) { return Property->ArrayOps->GetRawPtr(Array, Index); }
	void Resize(const int32 NewNum) { Property->ArrayOps->Resize(Array, NewNum); }
	int32 AddValues(const int32 Count)
	{
		const int32 OldNum = Num();
		Resize(OldNum + Count);
		return OldNum;
	}
	int32 AddValue() { return AddValues(1); }
	void EmptyValues() { Resize(0); }

private:
	const FArrayProperty* Property;
	void* Array;
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
