#include "Tools/TalvaneToolSchema.h"

#include "TalvaneGameTools.h"
#include "UObject/Class.h"
#include "UObject/UnrealType.h"

namespace
{
	TSharedRef<FJsonObject> MakeTypeSchema(const TCHAR* InType)
	{
		TSharedRef<FJsonObject> Schema = MakeShared<FJsonObject>();
		Schema->SetStringField(TEXT("type"), InType);
		return Schema;
	}

	TArray<TSharedPtr<FJsonValue>> MakeStringArray(const TArray<FString>& InStrings)
	{
		TArray<TSharedPtr<FJsonValue>> Values;
		for (const FString& String : InStrings)
		{
			Values.Add(MakeShared<FJsonValueString>(String));
		}
		return Values;
	}

	/** An object schema with the given properties, all required and no others allowed. */
	TSharedRef<FJsonObject> MakeObjectSchema(const TArray<const FProperty*>& InProperties)
	{
		TSharedRef<FJsonObject> Schema = MakeTypeSchema(TEXT("object"));
		const TSharedRef<FJsonObject> Properties = MakeShared<FJsonObject>();
		TArray<FString> Required;
		for (const FProperty* Property : InProperties)
		{
			Properties->SetObjectField(Property->GetName(), TalvaneToolSchema::MakePropertySchema(*Property));
			Required.Add(Property->GetName());
		}
		Schema->SetObjectField(TEXT("properties"), Properties);
		Schema->SetArrayField(TEXT("required"), MakeStringArray(Required));
		Schema->SetBoolField(TEXT("additionalProperties"), false);
		return Schema;
	}

	bool CanExpressStruct(const UStruct& InStruct, FString& OutWhy, const int32 InDepth)
	{
		for (TFieldIterator<FProperty> It(&InStruct); It; ++It)
		{
			if (!TalvaneToolSchema::CanExpress(**It, OutWhy, InDepth + 1))
			{
				OutWhy = InStruct.GetName() + TEXT(".") + It->GetName() + TEXT(": ") + OutWhy;
				return false;
			}
		}
		return true;
	}
}

bool TalvaneToolSchema::GetIntegerRange(const FNumericProperty& InProperty, double& OutMinimum, double& OutMaximum)
{
	// Beyond 2^53 a JSON number (a double) no longer holds every integer exactly.
	constexpr double LargestExactInteger = 9007199254740991.0;
	if (InProperty.IsA<FByteProperty>())
	{
		OutMinimum = 0.0;
		OutMaximum = 255.0;
	}
	else if (InProperty.IsA<FIntProperty>())
	{
		OutMinimum = -2147483648.0;
		OutMaximum = 2147483647.0;
	}
	else if (InProperty.IsA<FUInt32Property>())
	{
		OutMinimum = 0.0;
		OutMaximum = 4294967295.0;
	}
	else if (InProperty.IsA<FInt64Property>())
	{
		OutMinimum = -LargestExactInteger;
		OutMaximum = LargestExactInteger;
	}
	else
	{
		return false;
	}
	return true;
}

bool TalvaneToolSchema::IsArgument(const FProperty& InParameter)
{
	return !InParameter.HasAnyPropertyFlags(CPF_ReturnParm) &&
		   (!InParameter.HasAnyPropertyFlags(CPF_OutParm) || InParameter.HasAnyPropertyFlags(CPF_ReferenceParm));
}

bool TalvaneToolSchema::IsResult(const FProperty& InParameter)
{
	return InParameter.HasAnyPropertyFlags(CPF_ReturnParm) ||
		   (InParameter.HasAnyPropertyFlags(CPF_OutParm) && !InParameter.HasAnyPropertyFlags(CPF_ConstParm));
}

bool TalvaneToolSchema::CanExpress(const FProperty& InProperty, FString& OutWhy, const int32 InDepth)
{
	if (InDepth > TalvaneGameTools::MaxNestingDepth)
	{
		OutWhy = TEXT("nested deeper than ") + FString::FromInt(TalvaneGameTools::MaxNestingDepth) + TEXT(" levels");
		return false;
	}
	if (InProperty.ArrayDim != 1)
	{
		OutWhy = TEXT("a fixed-size array");
		return false;
	}
	double Minimum = 0.0;
	double Maximum = 0.0;
	const FNumericProperty* Numeric = CastField<FNumericProperty>(&InProperty);
	if (InProperty.IsA<FBoolProperty>() || InProperty.IsA<FStrProperty>() || InProperty.IsA<FNameProperty>() ||
		InProperty.IsA<FTextProperty>() || GetPropertyEnum(InProperty) || InProperty.IsA<FFloatProperty>() ||
		InProperty.IsA<FDoubleProperty>() || (Numeric && GetIntegerRange(*Numeric, Minimum, Maximum)))
	{
		return true;
	}
	if (const FStructProperty* Struct = CastField<FStructProperty>(&InProperty))
	{
		return Struct->Struct && CanExpressStruct(*Struct->Struct, OutWhy, InDepth);
	}
	if (const FArrayProperty* Array = CastField<FArrayProperty>(&InProperty))
	{
		return Array->Inner && CanExpress(*Array->Inner, OutWhy, InDepth + 1);
	}
	FString Extended;
	const FString Type = InProperty.GetCPPType(&Extended);
	OutWhy = TEXT("its type ") + Type + Extended + TEXT(" has no JSON form");
	return false;
}

bool TalvaneToolSchema::CanExpressFunction(const UFunction& InFunction, FString& OutWhy)
{
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		FString Why;
		if ((IsArgument(**It) || IsResult(**It)) && !CanExpress(**It, Why))
		{
			OutWhy = TEXT("parameter ") + It->GetName() + TEXT(": ") + Why;
			return false;
		}
	}
	return true;
}

TSharedRef<FJsonObject> TalvaneToolSchema::MakePropertySchema(const FProperty& InProperty)
{
	double Minimum = 0.0;
	double Maximum = 0.0;
	const FNumericProperty* Numeric = CastField<FNumericProperty>(&InProperty);
	if (const UEnum* Enum = GetPropertyEnum(InProperty))
	{
		TSharedRef<FJsonObject> Schema = MakeTypeSchema(TEXT("string"));
		Schema->SetArrayField(TEXT("enum"), MakeStringArray(GetEnumeratorNames(*Enum)));
		return Schema;
	}
	if (Numeric && Numeric->IsInteger() && GetIntegerRange(*Numeric, Minimum, Maximum))
	{
		TSharedRef<FJsonObject> Schema = MakeTypeSchema(TEXT("integer"));
		Schema->SetNumberField(TEXT("minimum"), Minimum);
		Schema->SetNumberField(TEXT("maximum"), Maximum);
		return Schema;
	}
	if (Numeric)
	{
		return MakeTypeSchema(TEXT("number"));
	}
	if (InProperty.IsA<FBoolProperty>())
	{
		return MakeTypeSchema(TEXT("boolean"));
	}
	if (const FStructProperty* Struct = CastField<FStructProperty>(&InProperty))
	{
		TArray<const FProperty*> Members;
		for (TFieldIterator<FProperty> It(Struct->Struct); It; ++It)
		{
			Members.Add(*It);
		}
		return MakeObjectSchema(Members);
	}
	if (const FArrayProperty* Array = CastField<FArrayProperty>(&InProperty))
	{
		TSharedRef<FJsonObject> Schema = MakeTypeSchema(TEXT("array"));
		Schema->SetObjectField(TEXT("items"), MakePropertySchema(*Array->Inner));
		Schema->SetNumberField(TEXT("maxItems"), TalvaneGameTools::MaxArrayElements);
		return Schema;
	}
	TSharedRef<FJsonObject> Schema = MakeTypeSchema(TEXT("string"));
	const int32 MaxLength = InProperty.IsA<FNameProperty>() ? TalvaneGameTools::MaxNameLength : TalvaneGameTools::MaxStringLength;
	Schema->SetNumberField(TEXT("maxLength"), MaxLength);
	return Schema;
}

TSharedRef<FJsonObject> TalvaneToolSchema::MakeArgumentsSchema(const UFunction& InFunction)
{
	TArray<const FProperty*> Arguments;
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (IsArgument(**It))
		{
			Arguments.Add(*It);
		}
	}
	return MakeObjectSchema(Arguments);
}

const UEnum* TalvaneToolSchema::GetPropertyEnum(const FProperty& InProperty)
{
	if (const FEnumProperty* Enum = CastField<FEnumProperty>(&InProperty))
	{
		return Enum->GetEnum();
	}
	const FNumericProperty* Numeric = CastField<FNumericProperty>(&InProperty);
	return Numeric ? Numeric->GetIntPropertyEnum() : nullptr;
}

TArray<FString> TalvaneToolSchema::GetEnumeratorNames(const UEnum& InEnum)
{
	TArray<FString> Names;
	// The last entry is the _MAX value the engine adds to every enumeration.
	for (int32 Index = 0; Index < InEnum.NumEnums() - 1; ++Index)
	{
		Names.Add(InEnum.GetNameStringByIndex(Index));
	}
	return Names;
}
