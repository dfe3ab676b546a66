#include "Dom/JsonValue.h"

#include <cmath>
#include <limits>

#include "Dom/JsonObject.h"
#include "JsonGlobals.h"

const TArray<TSharedPtr<FJsonValue>> FJsonValue::EMPTY_ARRAY;
// Shared by every failed AsObject, as in the engine: callers get a valid object they should not fill.
const TSharedPtr<FJsonObject> FJsonValue::EMPTY_OBJECT(MakeShared<FJsonObject>());

namespace
{
	/** Reads a number into an integer type when it lies within [Min, UpperBound]; rounds half away from zero. */
	template <typename IntegerType>
	bool TryConvertNumber(const FJsonValue& InValue, const double Min, const double UpperBound, const bool bUpperInclusive,
		IntegerType& OutNumber)
	{
		double Double = 0.0;
		if (!InValue.TryGetNumber(Double) || !(Double >= Min) || Double > UpperBound || (!bUpperInclusive && Double == UpperBound))
		{
			return false;
		}
		OutNumber = static_cast<IntegerType>(std::round(Double));
		return true;
	}

	/** The engine's FCString::ToBool: yes/true/on and no/false/off ignoring case, otherwise a non-zero integer. */
	bool TextToBool(const FString& Text)
	{
		if (Text == TEXT("True") || Text == TEXT("Yes") || Text == TEXT("On"))
		{
			return true;
		}
		if (Text == TEXT("False") || Text == TEXT("No") || Text == TEXT("Off"))
		{
			return false;
		}
		return FCString::Atoi(*Text) != 0;
	}
}

double FJsonValue::AsNumber() const
{
	double Number = 0.0;
	if (!TryGetNumber(Number))
	{
		ErrorMessage(TEXT("Number"));
	}
	return Number;
}

FString FJsonValue::AsString() const
{
	FString String;
	if (!TryGetString(String))
	{
		ErrorMessage(TEXT("String"));
	}
	return String;
}

bool FJsonValue::AsBool() const
{
	bool bBool = false;
	if (!TryGetBool(bBool))
	{
		ErrorMessage(TEXT("Boolean"));
	}
	return bBool;
}

const TArray<TSharedPtr<FJsonValue>>& FJsonValue::AsArray() const
{
	const TArray<TSharedPtr<FJsonValue>>* Array = &EMPTY_ARRAY;
	if (!TryGetArray(Array))
	{
		ErrorMessage(TEXT("Array"));
	}
	return *Array;
}

const TSharedPtr<FJsonObject>& FJsonValue::AsObject() const
{
	const TSharedPtr<FJsonObject>* Object = &EMPTY_OBJECT;
	if (!TryGetObject(Object))
	{
		ErrorMessage(TEXT("Object"));
	}
	return *Object;
}

bool FJsonValue::TryGetNumber(double&) const
{
	return false;
}

bool FJsonValue::TryGetNumber(int32& OutNumber) const
{
	return TryConvertNumber(*this, static_cast<double>(std::numeric_limits<int32>::min()),
		static_cast<double>(std::numeric_limits<int32>::max()), true, OutNumber);
}

bool FJsonValue::TryGetNumber(int64& OutNumber) const
{
	// 2^63 - 1 is not a double, so the upper bound is 2^63 itself, excluded.
	return TryConvertNumber(*this, -9223372036854775808.0, 9223372036854775808.0, false, OutNumber);
}

bool FJsonValue::TryGetString(FString&) const
{
	return false;
}

bool FJsonValue::TryGetBool(bool&) const
{
	return false;
}

bool FJsonValue::TryGetArray(const TArray<TSharedPtr<FJsonValue>>*&) const
{
	return false;
}

bool FJsonValue::TryGetObject(const TSharedPtr<FJsonObject>*&) const
{
	return false;
}

void FJsonValue::ErrorMessage(const FString& InType) const
{
	UE_LOG(LogJson, Error, TEXT("Json Value of type '%s' used as a '%s'."), *GetType(), *InType);
}

bool FJsonValueString::TryGetString(FString& OutString) const
{
	OutString = Value;
	return true;
}

bool FJsonValueString::TryGetNumber(double& OutNumber) const
{
	if (!Value.IsNumeric())
	{
		return false;
	}
	OutNumber = FCString::Atod(*Value);
	return true;
}

bool FJsonValueString::TryGetNumber(int32& OutNumber) const
{
	OutNumber = FCString::Atoi(*Value);
	return true;
}

bool FJsonValueString::TryGetNumber(int64& OutNumber) const
{
	OutNumber = FCString::Atoi64(*Value);
	return true;
}

bool FJsonValueString::TryGetBool(bool& OutBool) const
{
	OutBool = TextToBool(Value);
	return true;
}

bool FJsonValueNumber::TryGetNumber(double& OutNumber) const
{
	OutNumber = Value;
	return true;
}

bool FJsonValueNumber::TryGetBool(bool& OutBool) const
{
	OutBool = Value != 0.0;
	return true;
}

bool FJsonValueNumber::TryGetString(FString& OutString) const
{
	// SanitizeFloat of the engine never prints a negative zero.
	OutString = FString::SanitizeFloat(Value == 0.0 ? 0.0 : Value, 0);
	return true;
}

bool FJsonValueBoolean::TryGetNumber(double& OutNumber) const
{
	OutNumber = Value ? 1.0 : 0.0;
	return true;
}

bool FJsonValueBoolean::TryGetBool(bool& OutBool) const
{
	OutBool = Value;
	return true;
}

bool FJsonValueBoolean::TryGetString(FString& OutString) const
{
	OutString = Value ? TEXT("true") : TEXT("false");
	return true;
}

bool FJsonValueArray::TryGetArray(const TArray<TSharedPtr<FJsonValue>>*& OutArray) const
{
	OutArray = &Value;
	return true;
}

bool FJsonValueObject::TryGetObject(const TSharedPtr<FJsonObject>*& OutObject) const
{
	OutObject = &Value;
	return true;
}
