#include "Serialization/JsonSerializer.h"

namespace
{
	/** An object or array being read, with the name it will have in its parent. */
	struct FReadScope
	{
		EJson Type = EJson::None;
		FString Identifier;
		TArray<TSharedPtr<FJsonValue>> Array;
		TSharedPtr<FJsonObject> Object;
	};

	TSharedPtr<FJsonValue> CloseScope(FReadScope& Scope)
	{
		if (Scope.Type == EJson::Object)
		{
			return MakeShared<FJsonValueObject>(MoveTemp(Scope.Object));
		}
		return MakeShared<FJsonValueArray>(MoveTemp(Scope.Array));
	}
}

bool FJsonSerializer::Deserialize(const TSharedRef<TJsonReader<TCHAR>>& Reader, TSharedPtr<FJsonValue>& OutValue)
{
	TSharedPtr<FJsonValue> Root;
	if (!DeserializeRoot(*Reader, Root))
	{
		return false;
	}
	OutValue = MoveTemp(Root);
	return true;
}

bool FJsonSerializer::Deserialize(const TSharedRef<TJsonReader<TCHAR>>& Reader, TSharedPtr<FJsonObject>& OutObject)
{
	TSharedPtr<FJsonValue> Root;
	const TSharedPtr<FJsonObject>* Object = nullptr;
	if (!DeserializeRoot(*Reader, Root) || Root->Type != EJson::Object || !Root->TryGetObject(Object))
	{
		return false;
	}
	OutObject = *Object;
	return true;
}

// Builds the tree from the reader's notations with an explicit stack of open scopes; names and
// strings are moved out of the reader rather than copied.
bool FJsonSerializer::DeserializeRoot(TJsonReader<TCHAR>& Reader, TSharedPtr<FJsonValue>& OutRoot)
{
	TArray<FReadScope> Scopes;
	TSharedPtr<FJsonValue> Root;
	EJsonNotation Notation = EJsonNotation::Error;
	while (Reader.ReadNext(Notation))
	{
		FString Identifier;
		TSharedPtr<FJsonValue> NewValue;
		switch (Notation)
		{
		case EJsonNotation::ObjectStart:
		case EJsonNotation::ArrayStart:
		{
			FReadScope& Scope = Scopes.AddDefaulted_GetRef();
			Scope.Type = Notation == EJsonNotation::ObjectStart ? EJson::Object : EJson::Array;
			Scope.Identifier = MoveTemp(Reader.Identifier);
			if (Scope.Type == EJson::Object)
			{
				Scope.Object = MakeShared<FJsonObject>();
			}
			continue;
		}
		case EJsonNotation::ObjectEnd:
		case EJsonNotation::ArrayEnd:
			Identifier = MoveTemp(Scopes.Last().Identifier);
			NewValue = CloseScope(Scopes.Last());
			Scopes.Pop(false);
			break;
		case EJsonNotation::Boolean:
			NewValue = MakeShared<FJsonValueBoolean>(Reader.GetValueAsBoolean());
			break;
		case EJsonNotation::String:
			NewValue = MakeShared<FJsonValueString>(MoveTemp(Reader.StringValue));
			break;
		case EJsonNotation::Number:
			NewValue = MakeShared<FJsonValueNumber>(Reader.GetValueAsNumber());
			break;
		case EJsonNotation::Null:
			NewValue = MakeShared<FJsonValueNull>();
			break;
		default:
			return false;
		}
		if (Notation != EJsonNotation::ObjectEnd && Notation != EJsonNotation::ArrayEnd)
		{
			Identifier = MoveTemp(Reader.Identifier);
		}
		if (Scopes.Num() == 0)
		{
			Root = MoveTemp(NewValue);
		}
		else if (Scopes.Last().Type == EJson::Object)
		{
			// A repeated name replaces the earlier value, as FJsonObject::SetField does.
			Scopes.Last().Object->Values.Add(MoveTemp(Identifier), MoveTemp(NewValue));
		}
		else
		{
			Scopes.Last().Array.Add(MoveTemp(NewValue));
		}
	}
	if (!Reader.GetErrorMessage().IsEmpty() || !Root.IsValid())
	{
		return false;
	}
	OutRoot = MoveTemp(Root);
	return true;
}
