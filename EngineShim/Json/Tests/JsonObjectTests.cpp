#include <functional>
#include <string>
#include <vector>

#include "JsonTestSupport.h"

namespace
{
	const char* const FixtureText = "{\"s\":\"text\",\"n\":2.5,\"ns\":\"12.5\",\"b\":true,\"z\":null,\"a\":[1,2],"
		"\"o\":{\"k\":\"v\"},\"neg\":-2.5,\"big\":3e9,\"huge\":1e19,\"zero\":0,\"yes\":\"YES\"}";

	TSharedPtr<FJsonObject> MakeFixture()
	{
		const TSharedPtr<FJsonObject> Object = ParseObject(FromUtf8(FixtureText));
		EXPECT_TRUE(Object.IsValid());
		return Object;
	}

	/** One call on the fixture; the call prints its result so that cases compare text. */
	struct FObjectCase
	{
		const char* Name;
		std::function<std::string(const FJsonObject&)> Call;
		std::string Expected;
		std::string ExpectedLog;
	};

	std::string Quote(const FString& Text)
	{
		return "\"" + ToUtf8(Text) + "\"";
	}

	std::string Print(const double Number)
	{
		return ToUtf8(FString::Printf(TEXT("%g"), Number));
	}

	std::string Print(const TArray<TSharedPtr<FJsonValue>>& Array)
	{
		return std::to_string(Array.Num()) + " elements";
	}

	std::string Print(const TSharedPtr<FJsonObject>& Object)
	{
		return Object.IsValid() ? std::to_string(Object->Values.Num()) + " fields" : "invalid";
	}

	template <typename ValueType>
	std::string PrintTry(const bool bFound, const ValueType& Value)
	{
		if (!bFound)
		{
			return "false";
		}
		if constexpr (std::is_same_v<ValueType, FString>)
		{
			return "true " + Quote(Value);
		}
		else if constexpr (std::is_same_v<ValueType, bool>)
		{
			return Value ? "true true" : "true false";
		}
		else
		{
			return "true " + std::to_string(Value);
		}
	}

	std::string Missing(const char* Field, const char* Kind)
	{
		return std::string("LogJson: Warning: Field ") + Field + " was not found.\n"
			+ "LogJson: Error: Json Value of type 'Null' used as a '" + Kind + "'.\n";
	}

	std::string WrongType(const char* Field, const char* Kind)
	{
		return std::string("LogJson: Warning: Field ") + Field + " is of the wrong type.\n"
			+ "LogJson: Error: Json Value of type 'Null' used as a '" + Kind + "'.\n";
	}

	std::string UsedAs(const char* Type, const char* Kind)
	{
		return std::string("LogJson: Error: Json Value of type '") + Type + "' used as a '" + Kind + "'.\n";
	}

	void ExpectCases(const std::vector<FObjectCase>& Cases)
	{
		const TSharedPtr<FJsonObject> Fixture = MakeFixture();
		ASSERT_TRUE(Fixture.IsValid());
		for (const FObjectCase& Case : Cases)
		{
			FJsonTestLogCapture Log;
			EXPECT_EQ(Case.Call(*Fixture), Case.Expected) << Case.Name;
			EXPECT_EQ(JoinLines(Log.Lines), Case.ExpectedLog) << Case.Name;
		}
	}
}

TEST(JsonObject, GettersOfAbsentFieldsWarnThenErrAndReturnEmptyResults)
{
	ExpectCases({
		{"string", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("missing"))); }, "\"\"", Missing("missing", "String")},
		{"number", [](const FJsonObject& O) { return Print(O.GetNumberField(TEXT("missing"))); }, "0", Missing("missing", "Number")},
		{"integer", [](const FJsonObject& O) { return std::to_string(O.GetIntegerField(TEXT("missing"))); }, "0", Missing("missing", "Number")},
		{"bool", [](const FJsonObject& O) { return std::string(O.GetBoolField(TEXT("missing")) ? "true" : "false"); }, "false", Missing("missing", "Boolean")},
		{"array", [](const FJsonObject& O) { return Print(O.GetArrayField(TEXT("missing"))); }, "0 elements", Missing("missing", "Array")},
		{"object is valid and empty", [](const FJsonObject& O) { return Print(O.GetObjectField(TEXT("missing"))); }, "0 fields", Missing("missing", "Object")},
		{"name as asked", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("Usage Tokens"))); }, "\"\"", Missing("Usage Tokens", "String")},
	});
}

TEST(JsonObject, GettersOfOtherKindsConvertOrErr)
{
	ExpectCases({
		{"string of null", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("z"))); }, "\"\"", UsedAs("Null", "String")},
		{"string of object", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("o"))); }, "\"\"", UsedAs("Object", "String")},
		{"string of array", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("a"))); }, "\"\"", UsedAs("Array", "String")},
		{"string of number", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("n"))); }, "\"2.5\"", ""},
		{"string of 3e9", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("big"))); }, "\"3000000000\"", ""},
		{"string of bool", [](const FJsonObject& O) { return Quote(O.GetStringField(TEXT("b"))); }, "\"true\"", ""},
		{"number of numeric string", [](const FJsonObject& O) { return Print(O.GetNumberField(TEXT("ns"))); }, "12.5", ""},
		{"number of text", [](const FJsonObject& O) { return Print(O.GetNumberField(TEXT("s"))); }, "0", UsedAs("String", "Number")},
		{"number of bool", [](const FJsonObject& O) { return Print(O.GetNumberField(TEXT("b"))); }, "1", ""},
		{"number of null", [](const FJsonObject& O) { return Print(O.GetNumberField(TEXT("z"))); }, "0", UsedAs("Null", "Number")},
		{"integer truncates", [](const FJsonObject& O) { return std::to_string(O.GetIntegerField(TEXT("neg"))); }, "-2", ""},
		{"bool of text", [](const FJsonObject& O) { return std::string(O.GetBoolField(TEXT("yes")) ? "true" : "false"); }, "true", ""},
		{"bool of array", [](const FJsonObject& O) { return std::string(O.GetBoolField(TEXT("a")) ? "true" : "false"); }, "false", UsedAs("Array", "Boolean")},
		{"array of string", [](const FJsonObject& O) { return Print(O.GetArrayField(TEXT("s"))); }, "0 elements", WrongType("s", "Array")},
		{"array of null", [](const FJsonObject& O) { return Print(O.GetArrayField(TEXT("z"))); }, "0 elements", WrongType("z", "Array")},
		{"object of array", [](const FJsonObject& O) { return Print(O.GetObjectField(TEXT("a"))); }, "0 fields", WrongType("a", "Object")},
		{"array, name in other case", [](const FJsonObject& O) { return Print(O.GetArrayField(TEXT("A"))); }, "2 elements", ""},
		{"object", [](const FJsonObject& O) { return Print(O.GetObjectField(TEXT("O"))); }, "1 fields", ""},
	});
}

TEST(JsonObject, TryGettersNeverLog)
{
	ExpectCases({
		{"string absent", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("missing"), V), V); }, "false", ""},
		{"string of null", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("z"), V), V); }, "false", ""},
		{"string of array", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("a"), V), V); }, "false", ""},
		{"string of object", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("o"), V), V); }, "false", ""},
		{"string", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("S"), V), V); }, "true \"text\"", ""},
		{"string of number", [](const FJsonObject& O) { FString V; return PrintTry(O.TryGetStringField(TEXT("n"), V), V); }, "true \"2.5\"", ""},
		{"double absent", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("missing"), V), V); }, "false", ""},
		{"double of text", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("s"), V), V); }, "false", ""},
		{"double of null", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("z"), V), V); }, "false", ""},
		{"double of object", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("o"), V), V); }, "false", ""},
		{"double of numeric string", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("ns"), V), V); }, "true 12.500000", ""},
		{"double of bool", [](const FJsonObject& O) { double V = 0; return PrintTry(O.TryGetNumberField(TEXT("b"), V), V); }, "true 1.000000", ""},
		{"int32 rounds half away", [](const FJsonObject& O) { int32 V = 0; return PrintTry(O.TryGetNumberField(TEXT("n"), V), V); }, "true 3", ""},
		{"int32 rounds negative", [](const FJsonObject& O) { int32 V = 0; return PrintTry(O.TryGetNumberField(TEXT("neg"), V), V); }, "true -3", ""},
		{"int32 out of range", [](const FJsonObject& O) { int32 V = 7; return PrintTry(O.TryGetNumberField(TEXT("big"), V), V); }, "false", ""},
		{"int32 of string parses like Atoi", [](const FJsonObject& O) { int32 V = 7; return PrintTry(O.TryGetNumberField(TEXT("ns"), V), V); }, "true 12", ""},
		{"int32 of text is 0", [](const FJsonObject& O) { int32 V = 7; return PrintTry(O.TryGetNumberField(TEXT("s"), V), V); }, "true 0", ""},
		{"int32 of null", [](const FJsonObject& O) { int32 V = 7; return PrintTry(O.TryGetNumberField(TEXT("z"), V), V); }, "false", ""},
		{"int64", [](const FJsonObject& O) { int64 V = 0; return PrintTry(O.TryGetNumberField(TEXT("big"), V), V); }, "true 3000000000", ""},
		{"int64 out of range", [](const FJsonObject& O) { int64 V = 0; return PrintTry(O.TryGetNumberField(TEXT("huge"), V), V); }, "false", ""},
		{"bool", [](const FJsonObject& O) { bool V = false; return PrintTry(O.TryGetBoolField(TEXT("b"), V), V); }, "true true", ""},
		{"bool of zero", [](const FJsonObject& O) { bool V = true; return PrintTry(O.TryGetBoolField(TEXT("zero"), V), V); }, "true false", ""},
		{"bool of text", [](const FJsonObject& O) { bool V = true; return PrintTry(O.TryGetBoolField(TEXT("s"), V), V); }, "true false", ""},
		{"bool of null", [](const FJsonObject& O) { bool V = false; return PrintTry(O.TryGetBoolField(TEXT("z"), V), V); }, "false", ""},
		{"bool of array", [](const FJsonObject& O) { bool V = false; return PrintTry(O.TryGetBoolField(TEXT("a"), V), V); }, "false", ""},
		{"array", [](const FJsonObject& O) { const TArray<TSharedPtr<FJsonValue>>* V = nullptr; const bool bFound = O.TryGetArrayField(TEXT("a"), V); return PrintTry(bFound, V ? V->Num() : -1); }, "true 2", ""},
		{"array of string", [](const FJsonObject& O) { const TArray<TSharedPtr<FJsonValue>>* V = nullptr; return PrintTry(O.TryGetArrayField(TEXT("s"), V), 0); }, "false", ""},
		{"array of null", [](const FJsonObject& O) { const TArray<TSharedPtr<FJsonValue>>* V = nullptr; return PrintTry(O.TryGetArrayField(TEXT("z"), V), 0); }, "false", ""},
		{"array of object", [](const FJsonObject& O) { const TArray<TSharedPtr<FJsonValue>>* V = nullptr; return PrintTry(O.TryGetArrayField(TEXT("o"), V), 0); }, "false", ""},
		{"object", [](const FJsonObject& O) { const TSharedPtr<FJsonObject>* V = nullptr; const bool bFound = O.TryGetObjectField(TEXT("o"), V); return PrintTry(bFound, V ? (*V)->Values.Num() : -1); }, "true 1", ""},
		{"object of array", [](const FJsonObject& O) { const TSharedPtr<FJsonObject>* V = nullptr; return PrintTry(O.TryGetObjectField(TEXT("a"), V), 0); }, "false", ""},
		{"object of null", [](const FJsonObject& O) { const TSharedPtr<FJsonObject>* V = nullptr; return PrintTry(O.TryGetObjectField(TEXT("z"), V), 0); }, "false", ""},
		{"object absent", [](const FJsonObject& O) { const TSharedPtr<FJsonObject>* V = nullptr; return PrintTry(O.TryGetObjectField(TEXT("missing"), V), 0); }, "false", ""},
	});
}

TEST(JsonObject, FieldPresenceCountsNullsAndIgnoresCase)
{
	ExpectCases({
		{"null is present", [](const FJsonObject& O) { return std::to_string(O.HasField(TEXT("z"))); }, "1", ""},
		{"absent", [](const FJsonObject& O) { return std::to_string(O.HasField(TEXT("missing"))); }, "0", ""},
		{"other case", [](const FJsonObject& O) { return std::to_string(O.HasField(TEXT("NS"))); }, "1", ""},
		{"typed null", [](const FJsonObject& O) { return std::to_string(O.HasTypedField<EJson::Null>(TEXT("z"))); }, "1", ""},
		{"typed mismatch", [](const FJsonObject& O) { return std::to_string(O.HasTypedField<EJson::String>(TEXT("n"))); }, "0", ""},
		{"try field absent", [](const FJsonObject& O) { return std::to_string(O.TryGetField(TEXT("missing")).IsValid()); }, "0", ""},
	});
}

TEST(JsonObject, SettersReplaceByNameAndStoreAMissingObjectAsNull)
{
	FJsonObject Object;
	Object.SetStringField(TEXT("Role"), TEXT("user"));
	Object.SetNumberField(TEXT("role"), 4);
	EXPECT_EQ(Object.Values.Num(), 1);
	EXPECT_TRUE(Object.HasTypedField<EJson::Number>(TEXT("ROLE")));
	Object.SetObjectField(TEXT("none"), nullptr);
	EXPECT_TRUE(Object.HasTypedField<EJson::Null>(TEXT("none")));
	Object.RemoveField(TEXT("NONE"));
	EXPECT_FALSE(Object.HasField(TEXT("none")));
}

TEST(JsonValue, AsOfAnotherKindErrsAndReturnsEmptyResults)
{
	const TSharedRef<FJsonValue> Null = MakeShared<FJsonValueNull>();
	const TSharedRef<FJsonValue> Number = MakeShared<FJsonValueNumber>(-0.0);
	FJsonTestLogCapture Log;
	EXPECT_TRUE(Null->IsNull());
	EXPECT_TRUE(Null->AsObject().IsValid());
	EXPECT_EQ(Null->AsArray().Num(), 0);
	EXPECT_EQ(ToUtf8(Number->AsString()), "0");
	EXPECT_FALSE(Number->AsBool());
	const TSharedPtr<FJsonObject>& Object = Number->AsObject();
	EXPECT_TRUE(Object.IsValid() && Object->Values.Num() == 0);
	EXPECT_EQ(JoinLines(Log.Lines), UsedAs("Null", "Object") + UsedAs("Null", "Array") + UsedAs("Number", "Object"));
}
