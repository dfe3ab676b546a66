#pragma once

// Fields that are not objects: properties belong to the struct, class or function that
// declares them and live as long as it does.

#include "CoreMinimal.h"
#include "UObject/ObjectMacros.h"

class FField;
class UClass;
class UStruct;

/** Describes a kind of field (FIntProperty, FArrayProperty, ...), as UClass describes objects. */
class COREUOBJECT_API FFieldClass
{
public:
	FFieldClass(const TCHAR* InCPPName, FFieldClass* InSuperClass);

	/** The name without the 'F' prefix: "IntProperty". */
	FString GetName() const { return Name.ToString(); }
	FName GetFName() const { return Name; }
	FFieldClass* GetSuperClass() const { return SuperClass; }
	bool IsChildOf(const FFieldClass* InClass) const;

private:
	FName Name;
	FFieldClass* SuperClass;
};

/** The owner of a field: an object (a struct, class or function) or another field (a container). */
class FFieldVariant
{
public:
	FFieldVariant() = default;
	FFieldVariant(const UObject* InObject) : Object(const_cast<UObject*>(InObject)) {}
	FFieldVariant(const FField* InField) : Field(const_cast<FField*>(InField)) {}

	bool IsValid() const { return Object || Field; }
	bool IsUObject() const { return Object != nullptr; }
	UObject* ToUObject() const { return Object; }
	FField* ToField() const { return Field; }

private:
	UObject* Object = nullptr;
	FField* Field = nullptr;
};

#define DECLARE_FIELD(TClass, TSuperClass) \
public: \
	typedef TSuperClass Super; \
	typedef TClass ThisClass; \
	static FFieldClass* StaticClass(); \
	FFieldClass* GetClass() const override { return StaticClass(); }

#define IMPLEMENT_FIELD(TClass) \
	FFieldClass* TClass::StaticClass() \
	{ \
		static FFieldClass* Class = new FFieldClass(TEXT(#TClass), TClass::Super::StaticClass()); \
		return Class; \
	}

class COREUOBJECT_API FField
{
public:
	typedef FField ThisClass;

	FField(FFieldVariant InOwner, const FName& InName, EObjectFlags InObjectFlags);
	virtual ~FField();

	FField(const FField&) = delete;
	FField& operator=(const FField&) = delete;

	static FFieldClass* StaticClass();
	virtual FFieldClass* GetClass() const { return StaticClass(); }
	bool IsA(const FFieldClass* FieldType) const { return GetClass()->IsChildOf(FieldType); }
	template <typename FieldType>
	bool IsA() const
	{
		return IsA(FieldType::StaticClass());
	}

	FName GetFName() const { return NamePrivate; }
	FString GetName() const { return NamePrivate.ToString(); }
	EObjectFlags GetFlags() const { return FlagsPrivate; }

	FFieldVariant GetOwnerVariant() const { return Owner; }
	/** The struct, class or function that declares this field, through any containers. */
	UStruct* GetOwnerStruct() const;
	UClass* GetOwnerClass() const;

#if WITH_EDITORONLY_DATA
	/** The metadata value for the key, or an empty string. Keys ignore case. Editor-only data, as in the engine. */
	const FString& GetMetaData(const TCHAR* Key) const;
	const FString& GetMetaData(const FName& Key) const;
	bool HasMetaData(const TCHAR* Key) const;
	bool HasMetaData(const FName& Key) const;
#endif
	void SetMetaData(const TCHAR* Key, const TCHAR* InValue);
	void SetMetaData(const FName& Key, FString&& InValue);

	/** The next field declared by the same owner. */
	FField* Next = nullptr;
	FFieldVariant Owner;

protected:
	FName NamePrivate;
	EObjectFlags FlagsPrivate;

private:
	const FString* FindMetaData(const FName& Key) const;

	TArray<TPair<FName, FString>> MetaDataMap;
};

template <typename FieldType>
FieldType* CastField(FField* Src)
{
	return Src && Src->IsA<FieldType>() ? static_cast<FieldType*>(Src) : nullptr;
}

template <typename FieldType>
const FieldType* CastField(const FField* Src)
{
	return Src && Src->IsA<FieldType>() ? static_cast<const FieldType*>(Src) : nullptr;
}
