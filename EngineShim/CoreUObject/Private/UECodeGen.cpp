#include "UObject/UObjectGlobals.h"

// Builds reflection objects from the constant tables of generated code.

#include "UObject/UnrealType.h"

namespace UECodeGen_Private
{
	FName NameFromUTF8(const char* NameUTF8)
	{
		return FName(FUTF8ToTCHAR(NameUTF8).Get());
	}

	namespace
	{
		FString StringFromUTF8(const char* TextUTF8)
		{
			const FUTF8ToTCHAR Converted(TextUTF8);
			return FString(Converted.Length(), Converted.Get());
		}

		template <typename TargetType>
		void AddMetaData(TargetType* Target, const FMetaDataPairParam* MetaData, const int32 NumMetaData)
		{
			for (int32 Index = 0; Index < NumMetaData; ++Index)
			{
				const FString Key = StringFromUTF8(MetaData[Index].NameUTF8);
				const FString Value = StringFromUTF8(MetaData[Index].ValueUTF8);
				Target->SetMetaData(*Key, *Value);
			}
		}

		void ConstructFProperties(UStruct* Owner, const FPropertyParams* Properties, const int32 NumProperties)
		{
			for (int32 Index = 0; Index < NumProperties; ++Index)
			{
				const FPropertyParams& Params = Properties[Index];
				FProperty* Property = Params.Construct(Owner, Params);
				AddMetaData(Property, Params.MetaDataArray, Params.NumMetaData);
				Owner->AddCppProperty(Property);
			}
		}
	}

	void ConstructUEnum(UEnum*& OutEnum, const FEnumParams& Params)
	{
		if (OutEnum)
		{
			return;
		}
		UPackage* Package = CreatePackage(*StringFromUTF8(Params.PackageNameUTF8));
		UEnum* NewEnum = NewObject<UEnum>(Package, NameFromUTF8(Params.NameUTF8), RF_Public | RF_MarkAsNative);
		OutEnum = NewEnum;
		TArray<TPair<FName, int64>> Names;
		for (int32 Index = 0; Index < Params.NumEnumerators; ++Index)
		{
			Names.Emplace(NameFromUTF8(Params.EnumeratorParams[Index].NameUTF8), Params.EnumeratorParams[Index].Value);
		}
		NewEnum->SetEnums(Names, Params.CppForm);
		NewEnum->CppType = StringFromUTF8(Params.CppTypeUTF8);
		AddMetaData(NewEnum, Params.MetaDataArray, Params.NumMetaData);
	}

	void ConstructUScriptStruct(UScriptStruct*& OutStruct, const FStructParams& Params)
	{
		if (OutStruct)
		{
			return;
		}
		UPackage* Package = CreatePackage(*StringFromUTF8(Params.PackageNameUTF8));
		UScriptStruct* Super = Params.SuperFunc ? Params.SuperFunc() : nullptr;
		UScriptStruct* NewStruct = NewObject<UScriptStruct>(Package, NameFromUTF8(Params.NameUTF8), RF_Public | RF_MarkAsNative);
		OutStruct = NewStruct;
		NewStruct->SetSuperStruct(Super);
		NewStruct->PropertiesSize = static_cast<int32>(Params.SizeOf);
		NewStruct->MinAlignment = static_cast<int32>(Params.AlignOf);
		ConstructFProperties(NewStruct, Params.PropertyArray, Params.NumProperties);
		AddMetaData(NewStruct, Params.MetaDataArray, Params.NumMetaData);
	}

	void ConstructUFunction(UFunction*& OutFunction, const FFunctionParams& Params)
	{
		if (OutFunction)
		{
			return;
		}
		UClass* OuterClass = Params.OuterClassFunc ? Params.OuterClassFunc() : nullptr;
		UObject* Outer = OuterClass ? static_cast<UObject*>(OuterClass) : CreatePackage(*StringFromUTF8(Params.PackageNameUTF8));
		const FName Name = NameFromUTF8(Params.NameUTF8);
		UFunction* NewFunction = (Params.FunctionFlags & FUNC_Delegate)
			? NewObject<UDelegateFunction>(Outer, Name, RF_Public | RF_MarkAsNative)
			: NewObject<UFunction>(Outer, Name, RF_Public | RF_MarkAsNative);
		OutFunction = NewFunction;
		NewFunction->FunctionFlags = Params.FunctionFlags;
		NewFunction->ParmsSize = static_cast<uint16>(Params.ParmsSize);
		NewFunction->PropertiesSize = static_cast<int32>(Params.ParmsSize);
		ConstructFProperties(NewFunction, Params.PropertyArray, Params.NumProperties);
		AddMetaData(NewFunction, Params.MetaDataArray, Params.NumMetaData);
		NewFunction->InitializeDerivedMembers();
		if (OuterClass)
		{
			NewFunction->Bind();
		}
	}

	void ConstructUClass(UClass*& OutClass, const FClassParams& Params)
	{
		if (OutClass && OutClass->HasAnyClassFlags(CLASS_Constructed))
		{
			return;
		}
		// The bare class comes from StaticClass(), which may itself come back here first.
		UClass* NewClass = Params.ClassNoRegisterFunc();
		OutClass = NewClass;
		if (NewClass->HasAnyClassFlags(CLASS_Constructed))
		{
			return;
		}
		NewClass->ClassFlags |= CLASS_Constructed;
		for (int32 Index = 0; Index < Params.NumFunctions; ++Index)
		{
			UFunction* Function = Params.FunctionLinkArray[Index].CreateFuncPtr();
			NewClass->AddFunctionToFunctionMap(Function, Function->GetFName());
		}
		ConstructFProperties(NewClass, Params.PropertyArray, Params.NumProperties);
		AddMetaData(NewClass, Params.MetaDataArray, Params.NumMetaData);
	}
}
