#pragma once

#include <algorithm>
#include <vector>

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonWriter.h"

/** Turns JSON text into objects and values, and objects and values into JSON text. */
class JSON_API FJsonSerializer
{
public:
	/** Reads a whole text whose root is an object or an array. False on any error; OutValue is set only on success. */
	static bool Deserialize(const TSharedRef<TJsonReader<TCHAR>>& Reader, TSharedPtr<FJsonValue>& OutValue);
	/** Reads a whole text whose root is an object. False on any error or another root; OutObject is set only on success. */
	static bool Deserialize(const TSharedRef<TJsonReader<TCHAR>>& Reader, TSharedPtr<FJsonObject>& OutObject);

	/** Writes the object and, when asked, closes the writer; returns whether the text came out complete. */
	template <class CharType, class PrintPolicy>
	static bool Serialize(const TSharedRef<FJsonObject>& Object, const TSharedRef<TJsonWriter<CharType, PrintPolicy>>& Writer,
		const bool bCloseWriter = true)
	{
		const FJsonValueObject Root{TSharedPtr<FJsonObject>(Object)};
		return SerializeTree(&Root, nullptr, *Writer, bCloseWriter);
	}

	template <class CharType, class PrintPolicy>
	static bool Serialize(const TArray<TSharedPtr<FJsonValue>>& Array, const TSharedRef<TJsonWriter<CharType, PrintPolicy>>& Writer,
		const bool bCloseWriter = true)
	{
		const FJsonValueArray Root(Array);
		return SerializeTree(&Root, nullptr, *Writer, bCloseWriter);
	}

	/** Writes one value, under Identifier unless that is empty. */
	template <class CharType, class PrintPolicy>
	static bool Serialize(const TSharedPtr<FJsonValue>& Value, const FString& Identifier,
		const TSharedRef<TJsonWriter<CharType, PrintPolicy>>& Writer, const bool bCloseWriter = true)
	{
		return SerializeTree(Value.Get(), Identifier.IsEmpty() ? nullptr : &Identifier, *Writer, bCloseWriter);
	}

private:
	/** One step of writing: a value to open (or write), or the end of an object or array opened before. */
	struct FWriteStep
	{
		const FJsonValue* Value = nullptr;
		const FString* Identifier = nullptr;
		EJson ClosingType = EJson::None;
	};

	static bool DeserializeRoot(TJsonReader<TCHAR>& Reader, TSharedPtr<FJsonValue>& OutRoot);

	// An explicit stack keeps deep trees off the call stack. A missing value is written as null.
	template <class WriterType>
	static bool SerializeTree(const FJsonValue* Root, const FString* RootIdentifier, WriterType& Writer, const bool bCloseWriter)
	{
		std::vector<FWriteStep> Steps;
		Steps.push_back(FWriteStep{Root, RootIdentifier, EJson::None});
		while (!Steps.empty())
		{
			const FWriteStep Step = Steps.back();
			Steps.pop_back();
			if (Step.ClosingType == EJson::Object)
			{
				Writer.WriteObjectEnd();
			}
			else if (Step.ClosingType == EJson::Array)
			{
				Writer.WriteArrayEnd();
			}
			else
			{
				WriteStep(Step, Writer, Steps);
			}
		}
		return bCloseWriter ? Writer.Close() : true;
	}

	template <class WriterType>
	static void WriteStep(const FWriteStep& Step, WriterType& Writer, std::vector<FWriteStep>& Steps)
	{
		const TSharedPtr<FJsonObject>* Object = nullptr;
		const TArray<TSharedPtr<FJsonValue>>* Array = nullptr;
		const EJson Type = Step.Value != nullptr ? Step.Value->Type : EJson::Null;
		if (Type == EJson::Object && Step.Value->TryGetObject(Object) && Object->IsValid())
		{
			Step.Identifier ? Writer.WriteObjectStart(*Step.Identifier) : Writer.WriteObjectStart();
			Steps.push_back(FWriteStep{nullptr, nullptr, EJson::Object});
			const SIZE_T FirstChild = Steps.size();
			for (const TPair<FString, TSharedPtr<FJsonValue>>& Pair : (*Object)->Values)
			{
				Steps.push_back(FWriteStep{Pair.Value.Get(), &Pair.Key, EJson::None});
			}
			std::reverse(Steps.begin() + static_cast<std::ptrdiff_t>(FirstChild), Steps.end());
		}
		else if (Type == EJson::Array && Step.Value->TryGetArray(Array))
		{
			Step.Identifier ? Writer.WriteArrayStart(*Step.Identifier) : Writer.WriteArrayStart();
			Steps.push_back(FWriteStep{nullptr, nullptr, EJson::Array});
			for (int32 Index = Array->Num() - 1; Index >= 0; --Index)
			{
				Steps.push_back(FWriteStep{(*Array)[Index].Get(), nullptr, EJson::None});
			}
		}
		else if (Type == EJson::String)
		{
			WriteNamedOrNot(Writer, Step.Identifier, Step.Value->AsString());
		}
		else if (Type == EJson::Number)
		{
			WriteNamedOrNot(Writer, Step.Identifier, Step.Value->AsNumber());
		}
		else if (Type == EJson::Boolean)
		{
			WriteNamedOrNot(Writer, Step.Identifier, Step.Value->AsBool());
		}
		else
		{
			WriteNamedOrNot(Writer, Step.Identifier, nullptr);
		}
	}

	template <class WriterType, class FValue>
	static void WriteNamedOrNot(WriterType& Writer, const FString* Identifier, const FValue& Value)
	{
		if (Identifier != nullptr)
		{
			Writer.WriteValue(*Identifier, Value);
		}
		else
		{
			Writer.WriteValue(Value);
		}
	}
};
