#include "Tools/TalvaneToolValues.h"

#include "Math/NumericLimits.h"
#include "TalvaneGameTools.h"
#include "Tools/TalvaneToolSchema.h"
#include "UObject/Class.h"
#include "UObject/UnrealType.h"

namespace
{
	bool Fail(const FString& InPath, const FString& InWhat, FString& OutError)
	{
		OutError = InPath + TEXT(": ") + InWhat;
		return false;
	}

	/** What the model should have sent for the property, for error texts. */
	FString DescribeExpected(const FProperty& InProperty)
	{
		const TSharedRef<FJsonObject> Schema = TalvaneToolSchema::MakePropertySchema(InProperty);
		const FString Type = Schema->GetStringField(TEXT("type"));
		const TArray<TSharedPtr<FJsonValue>>* Names = nullptr;
		if (Schema->TryGetArrayField(TEXT("enum"), Names))
		{
			TArray<FString> Quoted;
			for (const TSharedPtr<FJsonValue>& Name : *Names)
			{
				Quoted.Add(TEXT("\"") + Name->AsString() + TEXT("\""));
			}
			return TEXT("one of the strings ") + FString::Join(Quoted, TEXT(", "));
		}
		if (Type == TEXT("integer"))
		{
			return FString::Printf(
				TEXT("a whole number from %.0f to %.0f"), Schema->GetNumberField(TEXT("minimum")), Schema->GetNumberField(TEXT("maximum")));
		}
		if (Type == TEXT("string"))
		{
			return FString::Printf(TEXT("a string of at most %.0f characters"), Schema->GetNumberField(TEXT("maxLength")));
		}
		if (Type == TEXT("array"))
		{
			return FString::Printf(TEXT("an array of at most %d elements"), TalvaneGameTools::MaxArrayElements);
		}
		return (Type == TEXT("object") || Type == TEXT("integer") ? TEXT("an ") : TEXT("a ")) + Type;
	}

	bool JsonToNumber(const FJsonValue& InJson, const FNumericProperty& InProperty, void* OutValue)
	{
		const double Value = InJson.AsNumber();
		if (!InProperty.IsInteger())
		{
			const double Largest =
				InProperty.IsA<FFloatProperty>() ? static_cast<double>(TNumericLimits<float>::Max()) : TNumericLimits<double>::Max();
			// Also false for NaN and infinities.
			if (!(Value >= -Largest && Value <= Largest))
			{
				return false;
			}
			InProperty.SetFloatingPointPropertyValue(OutValue, Value);
			return true;
		}
		double Minimum = 0.0;
		double Maximum = 0.0;
		if (!TalvaneToolSchema::GetIntegerRange(InProperty, Minimum, Maximum) || !(Value >= Minimum && Value <= Maximum) ||
			static_cast<double>(static_cast<int64>(Value)) != Value)
		{
			return false;
		}
		InProperty.SetIntPropertyValue(OutValue, static_cast<int64>(Value));
		return true;
	}

	bool JsonToEnum(const FJsonValue& InJson, const FProperty& InProperty, const UEnum& InEnum, void* OutValue)
	{
		const int32 Index = TalvaneToolSchema::GetEnumeratorNames(InEnum).IndexOfByPredicate(
			[&InJson](const FString& Name)
			{
				return Name.Equals(InJson.AsString(), ESearchCase::CaseSensitive);
			});
		if (Index == INDEX_NONE)
		{
			return false;
		}
		const FEnumProperty* Enum = CastField<FEnumProperty>(&InProperty);
		const FNumericProperty* Storage = Enum ? Enum->GetUnderlyingProperty() : CastField<FNumericProperty>(&InProperty);
		Storage->SetIntPropertyValue(OutValue, InEnum.GetValueByIndex(Index));
		return true;
	}

	bool JsonToString(const FJsonValue& InJson, const FProperty& InProperty, void* OutValue)
	{
		const FString Text = InJson.AsString();
		if (const FNameProperty* Name = CastField<FNameProperty>(&InProperty))
		{
			if (Text.Len() > TalvaneGameTools::MaxNameLength)
			{
				return false;
			}
			Name->SetPropertyValue(OutValue, FName(*Text));
			return true;
		}
		if (Text.Len() > TalvaneGameTools::MaxStringLength)
		{
			return false;
		}
		if (const FTextProperty* TextProperty = CastField<FTextProperty>(&InProperty))
		{
			TextProperty->SetPropertyValue(OutValue, FText::FromString(Text));
			return true;
		}
		CastField<FStrProperty>(&InProperty)->SetPropertyValue(OutValue, Text);
		return true;
	}

	/** Fills the members of a struct or the arguments of a function: exactly those, by exact name. */
	bool JsonToMembers(const FJsonObject& InObject, const TArray<const FProperty*>& InMembers, void* OutContainer, const FString& InPath,
		FString& OutError)
	{
		for (const TPair<FString, TSharedPtr<FJsonValue>>& Field : InObject.Values)
		{
			const bool bKnown = InMembers.ContainsByPredicate(
				[&Field](const FProperty* Member)
				{
					return Member->GetName().Equals(Field.Key, ESearchCase::CaseSensitive);
				});
			if (!bKnown)
			{
				TArray<FString> Names;
				for (const FProperty* Member : InMembers)
				{
					Names.Add(Member->GetName());
				}
				return Fail(InPath + Field.Key, TEXT("unexpected; expected exactly: ") + FString::Join(Names, TEXT(", ")), OutError);
			}
		}
		for (const FProperty* Member : InMembers)
		{
			const TSharedPtr<FJsonValue>* Value = InObject.Values.Find(Member->GetName());
			if (!Value || !Value->IsValid())
			{
				return Fail(InPath + Member->GetName(), TEXT("missing"), OutError);
			}
			if (!TalvaneToolValues::JsonToProperty(
					**Value, *Member, Member->ContainerPtrToValuePtr<void>(OutContainer), InPath + Member->GetName(), OutError))
			{
				return false;
			}
		}
		return true;
	}

	bool JsonToArray(const FJsonValue& InJson, const FArrayProperty& InProperty, void* OutValue, const FString& InPath, FString& OutError)
	{
		const TArray<TSharedPtr<FJsonValue>>& Elements = InJson.AsArray();
		if (Elements.Num() > TalvaneGameTools::MaxArrayElements)
		{
			return Fail(InPath, TEXT("expected ") + DescribeExpected(InProperty), OutError);
		}
		FScriptArrayHelper Helper(&InProperty, OutValue);
		Helper.Resize(Elements.Num());
		for (int32 Index = 0; Index < Elements.Num(); ++Index)
		{
			const FString ElementPath = FString::Printf(TEXT("%s[%d]"), *InPath, Index);
			if (!Elements[Index].IsValid())
			{
				return Fail(ElementPath, TEXT("missing"), OutError);
			}
			if (!TalvaneToolValues::JsonToProperty(*Elements[Index], *InProperty.Inner, Helper.GetRawPtr(Index), ElementPath, OutError))
			{
				return false;
			}
		}
		return true;
	}

	TArray<const FProperty*> GetMembers(const UStruct& InStruct)
	{
		TArray<const FProperty*> Members;
		for (TFieldIterator<FProperty> It(&InStruct); It; ++It)
		{
			Members.Add(*It);
		}
		return Members;
	}
}

bool TalvaneToolValues::JsonToProperty(
	const FJsonValue& InJson, const FProperty& InProperty, void* OutValue, const FString& InPath, FString& OutError)
{
	bool bFits = false;
	const FNumericProperty* Numeric = CastField<FNumericProperty>(&InProperty);
	if (const UEnum* Enum = TalvaneToolSchema::GetPropertyEnum(InProperty))
	{
		bFits = InJson.Type == EJson::String && JsonToEnum(InJson, InProperty, *Enum, OutValue);
	}
	else if (Numeric)
	{
		bFits = InJson.Type == EJson::Number && JsonToNumber(InJson, *Numeric, OutValue);
	}
	else if (const FBoolProperty* Bool = CastField<FBoolProperty>(&InProperty))
	{
		bFits = InJson.Type == EJson::Boolean;
		Bool->SetPropertyValue(OutValue, bFits && InJson.AsBool());
	}
	else if (const FStructProperty* Struct = CastField<FStructProperty>(&InProperty))
	{
		if (InJson.Type == EJson::Object)
		{
			return JsonToMembers(*InJson.AsObject(), GetMembers(*Struct->Struct), OutValue, InPath + TEXT("."), OutError);
		}
	}
	else if (const FArrayProperty* Array = CastField<FArrayProperty>(&InProperty))
	{
		if (InJson.Type == EJson::Array)
		{
			return JsonToArray(InJson, *Array, OutValue, InPath, OutError);
		}
	}
	else
	{
		bFits = InJson.Type == EJson::String && JsonToString(InJson, InProperty, OutValue);
	}
	return bFits || Fail(InPath, TEXT("expected ") + DescribeExpected(InProperty), OutError);
}

TSharedPtr<FJsonValue> TalvaneToolValues::PropertyToJson(const FProperty& InProperty, const void* InValue)
{
	const FNumericProperty* Numeric = CastField<FNumericProperty>(&InProperty);
	if (const UEnum* Enum = TalvaneToolSchema::GetPropertyEnum(InProperty))
	{
		const FEnumProperty* EnumProperty = CastField<FEnumProperty>(&InProperty);
		const FNumericProperty* Storage = EnumProperty ? EnumProperty->GetUnderlyingProperty() : Numeric;
		return MakeShared<FJsonValueString>(Enum->GetNameStringByValue(Storage->GetSignedIntPropertyValue(InValue)));
	}
	if (Numeric)
	{
		return MakeShared<FJsonValueNumber>(Numeric->IsInteger() ? static_cast<double>(Numeric->GetSignedIntPropertyValue(InValue))
																 : Numeric->GetFloatingPointPropertyValue(InValue));
	}
	if (const FBoolProperty* Bool = CastField<FBoolProperty>(&InProperty))
	{
		return MakeShared<FJsonValueBoolean>(Bool->GetPropertyValue(InValue));
	}
	if (const FStructProperty* Struct = CastField<FStructProperty>(&InProperty))
	{
		const TSharedRef<FJsonObject> Object = MakeShared<FJsonObject>();
		for (const FProperty* Member : GetMembers(*Struct->Struct))
		{
			Object->SetField(Member->GetName(), PropertyToJson(*Member, Member->ContainerPtrToValuePtr<void>(InValue)));
		}
		return MakeShared<FJsonValueObject>(Object);
	}
	if (const FArrayProperty* Array = CastField<FArrayProperty>(&InProperty))
	{
		FScriptArrayHelper Helper(Array, InValue);
		TArray<TSharedPtr<FJsonValue>> Elements;
		for (int32 Index = 0; Index < Helper.Num(); ++Index)
		{
			Elements.Add(PropertyToJson(*Array->Inner, Helper.GetRawPtr(Index)));
		}
		return MakeShared<FJsonValueArray>(Elements);
	}
	if (const FNameProperty* Name = CastField<FNameProperty>(&InProperty))
	{
		return MakeShared<FJsonValueString>(Name->GetPropertyValue(InValue).ToString());
	}
	if (const FTextProperty* Text = CastField<FTextProperty>(&InProperty))
	{
		return MakeShared<FJsonValueString>(Text->GetPropertyValue(InValue).ToString());
	}
	return MakeShared<FJsonValueString>(CastField<FStrProperty>(&InProperty)->GetPropertyValue(InValue));
}

bool TalvaneToolValues::JsonToArguments(const FJsonObject& InArguments, const UFunction& InFunction, void* OutParms, FString& OutError)
{
	TArray<const FProperty*> Arguments;
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (TalvaneToolSchema::IsArgument(**It))
		{
			Arguments.Add(*It);
		}
	}
	return JsonToMembers(InArguments, Arguments, OutParms, FString(), OutError);
}

TSharedRef<FJsonObject> TalvaneToolValues::ResultsToJson(const UFunction& InFunction, const void* InParms)
{
	const TSharedRef<FJsonObject> Results = MakeShared<FJsonObject>();
	for (TFieldIterator<FProperty> It(&InFunction); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		if (TalvaneToolSchema::IsResult(**It))
		{
			Results->SetField(It->GetName(), PropertyToJson(**It, It->ContainerPtrToValuePtr<void>(InParms)));
		}
	}
	return Results;
}
