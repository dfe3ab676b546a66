// The Json module's reader: any text either fails to deserialise or gives a tree that can be
// walked with the quiet accessors; deserialising into an object agrees with deserialising into a
// value whose root is an object.

#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "FuzzSupport.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"

namespace
{
	/** Visits every value of the tree without recursion, so a deep input cannot exhaust the stack here. */
	void WalkTree(const TSharedPtr<FJsonValue>& Root)
	{
		TArray<TSharedPtr<FJsonValue>> Pending = {Root};
		while (Pending.Num() > 0)
		{
			const TSharedPtr<FJsonValue> Value = Pending.Pop(false);
			if (!Value.IsValid())
			{
				TalvaneFuzz::Fail("a null value in the tree");
			}
			FString Text;
			double Number = 0.0;
			bool bFlag = false;
			Value->TryGetString(Text);
			Value->TryGetNumber(Number);
			Value->TryGetBool(bFlag);
			const TArray<TSharedPtr<FJsonValue>>* Elements = nullptr;
			const TSharedPtr<FJsonObject>* Object = nullptr;
			if (Value->TryGetArray(Elements))
			{
				Pending.Append(*Elements);
			}
			else if (Value->TryGetObject(Object))
			{
				for (const TPair<FString, TSharedPtr<FJsonValue>>& Field : (*Object)->Values)
				{
					if (!(*Object)->HasField(Field.Key))
					{
						TalvaneFuzz::Fail("a field the object does not find");
					}
					Pending.Add(Field.Value);
				}
			}
		}
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size > 1 << 16)
	{
		return 0;
	}
	const FString Text = TalvaneFuzz::TextOf(Data, Size);
	TSharedPtr<FJsonValue> Value;
	const bool bValue = FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(Text), Value);
	TSharedPtr<FJsonObject> Object;
	const bool bObject = FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(Text), Object);
	if (bValue != Value.IsValid() || bObject != Object.IsValid())
	{
		TalvaneFuzz::Fail("the result does not match the success flag");
	}
	if (bObject && (!bValue || Value->Type != EJson::Object))
	{
		TalvaneFuzz::Fail("an object that is not a value");
	}
	if (bValue)
	{
		WalkTree(Value);
	}
	return 0;
}
