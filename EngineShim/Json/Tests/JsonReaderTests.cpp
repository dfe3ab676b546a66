#include <cmath>
#include <string>
#include <vector>

#include "JsonTestSupport.h"
#include "Policies/CondensedJsonPrintPolicy.h"

namespace
{
	struct FReaderCase
	{
		std::u16string Text;
		bool bAccepted;
	};

	FString TextOf(const FReaderCase& Case)
	{
		return FString(Case.Text);
	}

	FString Repeat(const TCHAR* Piece, const int32 Count)
	{
		std::u16string Text;
		for (int32 Index = 0; Index < Count; ++Index)
		{
			Text += Piece;
		}
		return FString(MoveTemp(Text));
	}

	/** The single element of a one-element root array. */
	TSharedPtr<FJsonValue> OnlyElement(const FString& Text)
	{
		const TSharedPtr<FJsonValue> Root = ParseValue(Text);
		if (!Root.IsValid() || Root->Type != EJson::Array || Root->AsArray().Num() != 1)
		{
			ADD_FAILURE() << "not a one-element array: " << ToUtf8(Text);
			return nullptr;
		}
		return Root->AsArray()[0];
	}

	std::u16string StringElement(const std::u16string& Text)
	{
		const TSharedPtr<FJsonValue> Element = OnlyElement(FString(Text));
		FString String;
		EXPECT_TRUE(Element.IsValid() && Element->Type == EJson::String && Element->TryGetString(String)) << ToUtf8(FString(Text));
		return String.GetStdString();
	}

	double NumberElement(const std::u16string& Text)
	{
		const TSharedPtr<FJsonValue> Element = OnlyElement(FString(Text));
		double Number = -12345.0;
		EXPECT_TRUE(Element.IsValid() && Element->Type == EJson::Number && Element->TryGetNumber(Number)) << ToUtf8(FString(Text));
		return Number;
	}
}

TEST(JsonReader, AcceptsAndRejectsAsTheEngineDoes)
{
	const std::vector<FReaderCase> Cases = {
		// Roots and white space
		{u"{}", true}, {u"[]", true}, {u" \t\r\n{} \t\r\n", true}, {u"[[[]]]", true}, {u"{\"a\":{\"b\":[{}]}}", true},
		{u"", false}, {u"   ", false}, {u"1", false}, {u"\"a\"", false}, {u"true", false}, {u"null", false},
		{u"\uFEFF{}", false}, {u"\v{}", false}, {u"\f{}", false}, {u"[1,\u00A02]", false}, {u"{}\v", false},
		// Anything but white space after the root
		{u"{} x", false}, {u"{}{}", false}, {u"[]]", false}, {std::u16string(u"{}\0", 3), false}, {u"{},", false},
		// Comments are not JSON
		{u"//c\n{}", false}, {u"/*c*/{}", false}, {u"{} // c", false}, {u"[1 /* c */]", false},
		// Structure
		{u"{", false}, {u"[", false}, {u"[1", false}, {u"{\"a\":1", false}, {u"[}", false}, {u"{]", false}, {u"[}]", false},
		{u"{\"a\"}", false}, {u"{\"a\":}", false}, {u"{\"a\" 1}", false}, {u"{a:1}", false}, {u"{'a':1}", false},
		{u"[1,]", false}, {u"{\"a\":1,}", false}, {u"[,1]", false}, {u"{,\"a\":1}", false}, {u"[1 2]", false},
		{u"[1,,2]", false}, {u"{\"a\":1 \"b\":2}", false}, {u"{1:2}", false}, {u"[:]", false},
		// Literals ignore case, and only the three exist
		{u"[true,false,null]", true}, {u"[TRUE,False,NULL,tRuE,nULL]", true}, {u"{\"a\":FALSE}", true},
		{u"[tru]", false}, {u"[truex]", false}, {u"[true1]", false}, {u"[nul]", false}, {u"[none]", false},
		{u"[NaN]", false}, {u"[Infinity]", false}, {u"[-Infinity]", false}, {u"[undefined]", false},
		// Numbers follow the JSON grammar
		{u"[0,-0,0.5,-1.5e-3,1e5,1E+5,1e-5,0e0,10,123456789012345678901234567890]", true},
		{u"[01]", false}, {u"[-01]", false}, {u"[1.]", false}, {u"[.5]", false}, {u"[+1]", false}, {u"[-]", false},
		{u"[1e]", false}, {u"[1e+]", false}, {u"[--1]", false}, {u"[0x10]", false}, {u"[1.5.3]", false},
		{u"[1-2]", false}, {u"[e5]", false}, {u"[-.5]", false}, {u"[1.e5]", false}, {u"[\uFF11]", false},
		// Strings: escapes, raw control characters, surrogates
		{u"[\"\\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u00e9 \\u00E9\"]", true},
		{u"[\"raw\ttab\nline\x01\x1f\"]", true}, {u"[\"\\uD800\"]", true}, {u"[\"\\uDE00\\uD83D\"]", true},
		{u"[\"\\x41\"]", false}, {u"[\"\\'\"]", false}, {u"[\"\\U00E9\"]", false}, {u"[\"\\u12G4\"]", false},
		{u"[\"\\u12\"]", false}, {u"[\"abc", false}, {u"[\"abc\\", false}, {u"[\"\\u00", false}, {u"[\"a\"\"b\"]", false},
	};
	for (const FReaderCase& Case : Cases)
	{
		TSharedPtr<FJsonValue> Value;
		EXPECT_EQ(FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(TextOf(Case)), Value), Case.bAccepted)
			<< "text: " << ToUtf8(TextOf(Case));
		EXPECT_EQ(Value.IsValid(), Case.bAccepted) << "text: " << ToUtf8(TextOf(Case));
	}
}

TEST(JsonReader, StringsDecodeToUtf16Units)
{
	EXPECT_EQ(StringElement(u"[\"a\\u0041\\n\\/\"]"), u"aA\n/");
	EXPECT_EQ(StringElement(u"[\"\\\"\\\\\\b\\f\\r\\t\"]"), u"\"\\\b\f\r\t");
	EXPECT_EQ(StringElement(u"[\"\\u4F60\\u597d\"]"), u"你好");
	EXPECT_EQ(StringElement(u"[\"你好\"]"), u"你好");
	// A pair escaped as two units stays two units; a lone or reversed one is kept as it is.
	EXPECT_EQ(StringElement(u"[\"\\uD83D\\uDE00\"]"), u"\U0001F600");
	EXPECT_EQ(StringElement(u"[\"\\uD800x\"]"), std::u16string(u"\xD800") + u"x");
	EXPECT_EQ(StringElement(u"[\"\\uDE00\\uD83D\"]"), std::u16string(u"\xDE00\xD83D"));
	EXPECT_EQ(StringElement(u"[\"raw\ttab\nline\x01\"]"), u"raw\ttab\nline\x01");
	// The engine's FString drops a NUL appended to it, so neither form survives.
	EXPECT_EQ(StringElement(u"[\"a\\u0000b\"]"), u"ab");
	EXPECT_EQ(StringElement(std::u16string(u"[\"a\0b\"]", 7)), u"ab");
	EXPECT_EQ(StringElement(u"[\"\"]"), u"");
}

TEST(JsonReader, NumbersAreDoubles)
{
	EXPECT_EQ(NumberElement(u"[0.1]"), 0.1);
	EXPECT_EQ(NumberElement(u"[-1.5e-3]"), -1.5e-3);
	EXPECT_EQ(NumberElement(u"[1E+2]"), 100.0);
	EXPECT_EQ(NumberElement(u"[12345678901234567890]"), 12345678901234567890.0);
	EXPECT_EQ(NumberElement(u"[9007199254740993]"), 9007199254740992.0);
	EXPECT_EQ(NumberElement(u"[2.2250738585072014e-308]"), 2.2250738585072014e-308);
	EXPECT_TRUE(std::signbit(NumberElement(u"[-0]")));
	EXPECT_EQ(NumberElement(u"[1e400]"), HUGE_VAL);
	EXPECT_EQ(NumberElement(u"[-1e400]"), -HUGE_VAL);
	EXPECT_EQ(NumberElement(u"[1e-400]"), 0.0);
	const std::u16string Long = u"[" + std::u16string(400, u'9') + u"]";
	EXPECT_EQ(NumberElement(Long), HUGE_VAL);
}

TEST(JsonReader, RepeatedKeysKeepTheLastValueAndIgnoreCase)
{
	const TSharedPtr<FJsonObject> Same = ParseObject(TEXT("{\"a\":1,\"b\":0,\"a\":2}"));
	ASSERT_TRUE(Same.IsValid());
	EXPECT_EQ(Same->Values.Num(), 2);
	EXPECT_EQ(Same->GetNumberField(TEXT("a")), 2.0);

	const TSharedPtr<FJsonObject> Cased = ParseObject(TEXT("{\"Content\":\"first\",\"CONTENT\":\"second\"}"));
	ASSERT_TRUE(Cased.IsValid());
	EXPECT_EQ(Cased->Values.Num(), 1);
	EXPECT_EQ(ToUtf8(Cased->GetStringField(TEXT("content"))), "second");

	const TSharedPtr<FJsonObject> Kinds = ParseObject(TEXT("{\"x\":[1],\"x\":null}"));
	ASSERT_TRUE(Kinds.IsValid());
	EXPECT_TRUE(Kinds->HasTypedField<EJson::Null>(TEXT("X")));
}

TEST(JsonReader, OutputIsAssignedOnlyOnSuccess)
{
	const TSharedPtr<FJsonObject> Previous = MakeShared<FJsonObject>();
	TSharedPtr<FJsonObject> Object = Previous;
	EXPECT_FALSE(FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(TEXT("{\"a\":")), Object));
	EXPECT_EQ(Object.Get(), Previous.Get());
	// An array root is not an object.
	EXPECT_FALSE(FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(TEXT("[{}]")), Object));
	EXPECT_EQ(Object.Get(), Previous.Get());

	TSharedPtr<FJsonValue> Value = MakeShared<FJsonValueNull>();
	const FJsonValue* const PreviousValue = Value.Get();
	EXPECT_FALSE(FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(TEXT("[1,]")), Value));
	EXPECT_EQ(Value.Get(), PreviousValue);
	EXPECT_TRUE(FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(TEXT("[{}]")), Value));
	EXPECT_EQ(Value->Type, EJson::Array);
}

TEST(JsonReader, ReadNextWalksTheNotations)
{
	const TSharedRef<TJsonReader<>> Reader = TJsonReaderFactory<>::Create(TEXT("{\"a\":[1,\"x\",false],\"o\":{}}"));
	const std::vector<std::pair<EJsonNotation, const char*>> Expected = {
		{EJsonNotation::ObjectStart, ""}, {EJsonNotation::ArrayStart, "a"}, {EJsonNotation::Number, ""},
		{EJsonNotation::String, ""}, {EJsonNotation::Boolean, ""}, {EJsonNotation::ArrayEnd, ""},
		{EJsonNotation::ObjectStart, "o"}, {EJsonNotation::ObjectEnd, ""}, {EJsonNotation::ObjectEnd, ""}};
	EJsonNotation Notation = EJsonNotation::Error;
	for (const std::pair<EJsonNotation, const char*>& Step : Expected)
	{
		ASSERT_TRUE(Reader->ReadNext(Notation));
		EXPECT_EQ(Notation, Step.first);
		EXPECT_EQ(ToUtf8(Reader->GetIdentifier()), Step.second);
	}
	EXPECT_FALSE(Reader->ReadNext(Notation));
	EXPECT_TRUE(Reader->GetErrorMessage().IsEmpty());
}

TEST(JsonReader, AnErrorIsReportedOnceWithItsPlace)
{
	const TSharedRef<TJsonReader<>> Reader = TJsonReaderFactory<>::Create(TEXT("[1,\n  2 3]"));
	EJsonNotation Notation = EJsonNotation::Null;
	int32 Reads = 0;
	while (Reader->ReadNext(Notation) && Notation != EJsonNotation::Error && ++Reads < 10)
	{
	}
	EXPECT_EQ(Notation, EJsonNotation::Error);
	EXPECT_EQ(ToUtf8(Reader->GetErrorMessage()), "Comma token expected, but not found. Line: 2 Ch: 5");
	EXPECT_FALSE(Reader->ReadNext(Notation));
}

TEST(JsonReader, NestingIsBoundedAndNeverExhaustsTheStack)
{
	const int32 Limit = TJsonReader<>::MaxDepth;
	EXPECT_TRUE(ParseValue(Repeat(TEXT("["), Limit) + Repeat(TEXT("]"), Limit)).IsValid());
	EXPECT_FALSE(ParseValue(Repeat(TEXT("["), Limit + 1) + Repeat(TEXT("]"), Limit + 1)).IsValid());
	EXPECT_TRUE(ParseValue(Repeat(TEXT("{\"a\":"), Limit - 1) + TEXT("{}") + Repeat(TEXT("}"), Limit - 1)).IsValid());
	EXPECT_FALSE(ParseValue(Repeat(TEXT("["), 1000000)).IsValid());
	EXPECT_FALSE(ParseValue(Repeat(TEXT("{\"a\":["), 500000)).IsValid());
	// The deepest accepted tree also writes back and is destroyed without trouble.
	const TSharedPtr<FJsonValue> Deep = ParseValue(Repeat(TEXT("[{\"k\":"), Limit / 2) + TEXT("1") + Repeat(TEXT("}]"), Limit / 2));
	ASSERT_TRUE(Deep.IsValid());
	FString Out;
	EXPECT_TRUE(FJsonSerializer::Serialize(Deep->AsArray(), TJsonWriterFactory<TCHAR, TCondensedJsonPrintPolicy<TCHAR>>::Create(&Out)));
	EXPECT_EQ(Out.Len(), Limit / 2 * 8 + 1);
}

TEST(JsonReader, LargeStringsReadWhole)
{
	std::u16string Body;
	for (int32 Index = 0; Index < 200000; ++Index)
	{
		Body += (Index % 1000 == 0) ? u"\\n" : u"ab你";
	}
	const std::u16string Text = u"{\"s\":\"" + Body + u"\"}";
	const TSharedPtr<FJsonObject> Object = ParseObject(FString(Text));
	ASSERT_TRUE(Object.IsValid());
	const FString Value = Object->GetStringField(TEXT("s"));
	EXPECT_EQ(Value.Len(), 200 * 1 + 199800 * 3);
	EXPECT_EQ(Value[0], u'\n');
	EXPECT_EQ(Value[3], u'你');
}
