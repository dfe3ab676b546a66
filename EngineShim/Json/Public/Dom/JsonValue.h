#pragma once

#include "CoreMinimal.h"
#include "Serialization/JsonTypes.h"

class FJsonObject;

/**
 * A JSON value of any kind. The As... functions log an error to LogJson when the value cannot be
 * read as the asked kind and then return an empty result; the TryGet... functions never log.
 */
class JSON_API FJsonValue
{
public:
	/** The value as a number; 0 and an error line when it cannot be read as one. */
	virtual double AsNumber() const;
	/** The value as text; "" and an error line when it cannot be read as text. */
	virtual FString AsString() const;
	/** The value as a boolean; false and an error line when it cannot be read as one. */
	virtual bool AsBool() const;
	/** The elements of an array value; an empty array and an error line for another kind. */
	virtual const TArray<TSharedPtr<FJsonValue>>& AsArray() const;
	/** The object of an object value; a valid empty object and an error line for another kind. */
	virtual const TSharedPtr<FJsonObject>& AsObject() const;

	/** Numbers, booleans (1 or 0) and strings that FString::IsNumeric accepts give a number. */
	virtual bool TryGetNumber(double& OutNumber) const;
	/** The number rounded half away from zero, when it lies within the range of int32. */
	virtual bool TryGetNumber(int32& OutNumber) const;
	/** The number rounded half away from zero, when it lies within the range of int64. */
	virtual bool TryGetNumber(int64& OutNumber) const;
	/** Strings, numbers (as FString::SanitizeFloat prints them) and booleans give text. */
	virtual bool TryGetString(FString& OutString) const;
	/** Booleans, numbers (non-zero) and strings (FCString::ToBool rules) give a boolean. */
	virtual bool TryGetBool(bool& OutBool) const;
	virtual bool TryGetArray(const TArray<TSharedPtr<FJsonValue>>*& OutArray) const;
	virtual bool TryGetObject(const TSharedPtr<FJsonObject>*& OutObject) const;

	/** True for a JSON null (and for a value of no kind). */
	bool IsNull() const { return Type == EJson::Null || Type == EJson::None; }

	EJson Type;

	virtual ~FJsonValue() = default;

protected:
	static const TArray<TSharedPtr<FJsonValue>> EMPTY_ARRAY;
	static const TSharedPtr<FJsonObject> EMPTY_OBJECT;

	FJsonValue() : Type(EJson::None) {}

	/** The kind's name in error lines ("String", "Number", ...). */
	virtual FString GetType() const = 0;

	void ErrorMessage(const FString& InType) const;
};

/** A JSON string. */
class JSON_API FJsonValueString : public FJsonValue
{
public:
	FJsonValueString(FString InString) : Value(MoveTemp(InString)) { Type = EJson::String; }

	using FJsonValue::TryGetNumber;
	bool TryGetString(FString& OutString) const override;
	bool TryGetNumber(double& OutNumber) const override;
	/** Parses the text as FCString::Atoi does (0 when nothing parses) and always succeeds. */
	bool TryGetNumber(int32& OutNumber) const override;
	bool TryGetNumber(int64& OutNumber) const override;
	bool TryGetBool(bool& OutBool) const override;

	/** Whether the text is empty, without copying it. */
	bool IsEmpty() const { return Value.IsEmpty(); }

protected:
	FString GetType() const override { return TEXT("String"); }

	FString Value;
};

/** A JSON number, held as a double. */
class JSON_API FJsonValueNumber : public FJsonValue
{
public:
	FJsonValueNumber(const double InNumber) : Value(InNumber) { Type = EJson::Number; }

	using FJsonValue::TryGetNumber;
	bool TryGetNumber(double& OutNumber) const override;
	bool TryGetBool(bool& OutBool) const override;
	bool TryGetString(FString& OutString) const override;

protected:
	FString GetType() const override { return TEXT("Number"); }

	double Value;
};

/** A JSON true or false. */
class JSON_API FJsonValueBoolean : public FJsonValue
{
public:
	FJsonValueBoolean(const bool InBool) : Value(InBool) { Type = EJson::Boolean; }

	using FJsonValue::TryGetNumber;
	bool TryGetNumber(double& OutNumber) const override;
	bool TryGetBool(bool& OutBool) const override;
	bool TryGetString(FString& OutString) const override;

protected:
	FString GetType() const override { return TEXT("Boolean"); }

	bool Value;
};

/** A JSON array. */
class JSON_API FJsonValueArray : public FJsonValue
{
public:
	FJsonValueArray(const TArray<TSharedPtr<FJsonValue>>& InArray) : Value(InArray) { Type = EJson::Array; }
	FJsonValueArray(TArray<TSharedPtr<FJsonValue>>&& InArray) : Value(MoveTemp(InArray)) { Type = EJson::Array; }

	bool TryGetArray(const TArray<TSharedPtr<FJsonValue>>*& OutArray) const override;

protected:
	FString GetType() const override { return TEXT("Array"); }

	TArray<TSharedPtr<FJsonValue>> Value;
};

/** A JSON object. */
class JSON_API FJsonValueObject : public FJsonValue
{
public:
	FJsonValueObject(TSharedPtr<FJsonObject> InObject) : Value(MoveTemp(InObject)) { Type = EJson::Object; }

	bool TryGetObject(const TSharedPtr<FJsonObject>*& OutObject) const override;

protected:
	FString GetType() const override { return TEXT("Object"); }

	TSharedPtr<FJsonObject> Value;
};

/** A JSON null. */
class JSON_API FJsonValueNull : public FJsonValue
{
public:
	FJsonValueNull() { Type = EJson::Null; }

protected:
	FString GetType() const override { return TEXT("Null"); }
};
