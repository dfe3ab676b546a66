#pragma once

#include "CoreMinimal.h"
#include "Dom/JsonValue.h"
#include "JsonGlobals.h"
#include "Serialization/JsonTypes.h"

/**
 * A JSON object: named values in insertion order. Field names ignore case, as FString keys do.
 *
 * The Get...Field functions log a warning when the field is missing (or, for arrays and objects,
 * of another kind) and then read a null value, which logs an error; they return "", 0, false, an
 * empty array or a valid empty object. The TryGet...Field functions never log.
 */
class JSON_API FJsonObject
{
public:
	TMap<FString, TSharedPtr<FJsonValue>> Values;

	/** The field; of JsonType unless that is EJson::None. Otherwise a warning and a null value. */
	template <EJson JsonType>
	TSharedPtr<FJsonValue> GetField(const FString& FieldName) const
	{
		const TSharedPtr<FJsonValue>* Field = Values.Find(FieldName);
		if (Field != nullptr && Field->IsValid())
		{
			if (JsonType == EJson::None || (*Field)->Type == JsonType)
			{
				return *Field;
			}
			UE_LOG(LogJson, Warning, TEXT("Field %s is of the wrong type."), *FieldName);
		}
		else
		{
			UE_LOG(LogJson, Warning, TEXT("Field %s was not found."), *FieldName);
		}
		return MakeShared<FJsonValueNull>();
	}

	/** The field, or an invalid pointer when it is missing; never logs. */
	TSharedPtr<FJsonValue> TryGetField(const FString& FieldName) const;

	/** Whether the field is present, a JSON null included. */
	bool HasField(const FString& FieldName) const;

	/** Whether the field is present and of JsonType. */
	template <EJson JsonType>
	bool HasTypedField(const FString& FieldName) const
	{
		const TSharedPtr<FJsonValue>* Field = Values.Find(FieldName);
		return Field != nullptr && Field->IsValid() && (*Field)->Type == JsonType;
	}

	/** Adds the field or replaces the one of the same name. */
	void SetField(const FString& FieldName, const TSharedPtr<FJsonValue>& Value);
	void RemoveField(const FString& FieldName);

	double GetNumberField(const FString& FieldName) const;
	/** The number truncated towards zero. */
	int32 GetIntegerField(const FString& FieldName) const;
	FString GetStringField(const FString& FieldName) const;
	bool GetBoolField(const FString& FieldName) const;
	const TArray<TSharedPtr<FJsonValue>>& GetArrayField(const FString& FieldName) const;
	const TSharedPtr<FJsonObject>& GetObjectField(const FString& FieldName) const;

	/** See FJsonValue::TryGetNumber for what converts. */
	bool TryGetNumberField(const FString& FieldName, double& OutNumber) const;
	bool TryGetNumberField(const FString& FieldName, int32& OutNumber) const;
	bool TryGetNumberField(const FString& FieldName, int64& OutNumber) const;
	bool TryGetStringField(const FString& FieldName, FString& OutString) const;
	bool TryGetBoolField(const FString& FieldName, bool& OutBool) const;
	bool TryGetArrayField(const FString& FieldName, const TArray<TSharedPtr<FJsonValue>>*& OutArray) const;
	bool TryGetObjectField(const FString& FieldName, const TSharedPtr<FJsonObject>*& OutObject) const;

	void SetNumberField(const FString& FieldName, double Number);
	void SetStringField(const FString& FieldName, const FString& StringValue);
	void SetBoolField(const FString& FieldName, bool InValue);
	void SetArrayField(const FString& FieldName, const TArray<TSharedPtr<FJsonValue>>& Array);
	/** An invalid object is stored as a JSON null. */
	void SetObjectField(const FString& FieldName, const TSharedPtr<FJsonObject>& JsonObject);
};
