#pragma once

// The generated tables name each property's C++ type; TPropertyFactory turns that type into
// the matching property object (and the properties of its elements, keys and values), so the
// header tool never has to know what a type is.

#include <type_traits>

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/ScriptDelegates.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UnrealType.h"

namespace UECodeGen_Private
{
	template <typename T>
	struct TIsArrayType : std::false_type
	{
	};
	template <typename ElementType>
	struct TIsArrayType<TArray<ElementType>> : std::true_type
	{
	};

	template <typename T>
	struct TIsMapType : std::false_type
	{
	};
	template <typename KeyType, typename ValueType>
	struct TIsMapType<TMap<KeyType, ValueType>> : std::true_type
	{
	};

	template <typename T>
	constexpr bool TIsUnsupported = false;

	template <typename T>
	struct TPropertyFactory
	{
		/** Builds the property a generated table row describes. */
		static FProperty* Construct(FFieldVariant Owner, const FPropertyParams& Params)
		{
			return Make(Owner, NameFromUTF8(Params.NameUTF8), Params.Offset, Params.PropertyFlags);
		}

		static FProperty* Make(FFieldVariant Owner, const FName& Name, const int32 Offset, const EPropertyFlags Flags)
		{
			FProperty* Property = MakeOfType(Owner, Name, Offset, Flags);
			Property->SetValueOps(&TPropertyValueOps<T>::Ops);
			if constexpr (TIsArrayType<T>::value)
			{
				static_cast<FArrayProperty*>(Property)->ArrayOps = &TScriptArrayOps<typename T::ElementType>::Ops;
			}
			return Property;
		}

		static FProperty* MakeOfType(FFieldVariant Owner, const FName& Name, const int32 Offset, const EPropertyFlags Flags)
		{
			constexpr int32 Size = static_cast<int32>(sizeof(T));
			constexpr EObjectFlags ObjectFlags = RF_Public | RF_MarkAsNative;
			if constexpr (std::is_same_v<T, bool>)
			{
				return new FBoolProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, uint8>)
			{
				return new FByteProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, int32>)
			{
				return new FIntProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, int64>)
			{
				return new FInt64Property(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, uint32>)
			{
				return new FUInt32Property(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, float>)
			{
				return new FFloatProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, double>)
			{
				return new FDoubleProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, FString>)
			{
				return new FStrProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, FName>)
			{
				return new FNameProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_same_v<T, FText>)
			{
				return new FTextProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
			}
			else if constexpr (std::is_enum_v<T>)
			{
				FEnumProperty* Property = new FEnumProperty(Owner, Name, ObjectFlags, Offset, Flags, Size, StaticEnum<T>());
				Property->AddCppProperty(TPropertyFactory<std::underlying_type_t<T>>::Make(Property, FName(TEXT("UnderlyingType")), 0, CPF_None));
				return Property;
			}
			else if constexpr (TIsArrayType<T>::value)
			{
				FArrayProperty* Property = new FArrayProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
				Property->AddCppProperty(TPropertyFactory<typename T::ElementType>::Make(Property, Name, 0, CPF_None));
				Property->ForEachElement = [](void* ArrayPtr, TFunctionRef<void(void*)> Visit)
				{
					for (typename T::ElementType& Element : *static_cast<T*>(ArrayPtr))
					{
						Visit(&Element);
					}
				};
				return Property;
			}
			else if constexpr (TIsMapType<T>::value)
			{
				FMapProperty* Property = new FMapProperty(Owner, Name, ObjectFlags, Offset, Flags, Size);
				const FName KeyName(Name.ToString() + TEXT("_Key"));
				Property->AddCppProperty(TPropertyFactory<typename T::KeyType>::Make(Property, KeyName, 0, CPF_None));
				Property->AddCppProperty(TPropertyFactory<typename T::ValueType>::Make(Property, Name, 0, CPF_None));
				Property->ForEachPair = [](void* MapPtr, TFunctionRef<void(void*, void*)> Visit)
				{
					for (auto& Pair : *static_cast<T*>(MapPtr))
					{
						Visit(const_cast<void*>(static_cast<const void*>(&Pair.Key)), &Pair.Value);
					}
				};
				return Property;
			}
			else if constexpr (std::is_pointer_v<T> && std::is_class_v<std::remove_cv_t<std::remove_pointer_t<T>>>)
			{
				// The header tool lets only pointers to U classes through; the class may be only declared here.
				using FObjectClass = std::remove_cv_t<std::remove_pointer_t<T>>;
				return new FObjectProperty(Owner, Name, ObjectFlags, Offset, Flags, Size, StaticClass<FObjectClass>());
			}
			else if constexpr (std::is_base_of_v<FMulticastScriptDelegate, T>)
			{
				// The header tool declares StaticDelegateSignature for each delegate type; found by argument lookup.
				UFunction* Signature = StaticDelegateSignature(static_cast<const T*>(nullptr));
				return new FMulticastInlineDelegateProperty(Owner, Name, ObjectFlags, Offset, Flags, Size, Signature);
			}
			else if constexpr (std::is_class_v<T>)
			{
				return new FStructProperty(Owner, Name, ObjectFlags, Offset, Flags, Size, TBaseStructure<T>::Get());
			}
			else
			{
				static_assert(TIsUnsupported<T>, "This type cannot be a reflected property");
				return nullptr;
			}
		}
	};
}
