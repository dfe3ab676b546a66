#include <cmath>
#include <functional>
#include <limits>

#include "JsonTestSupport.h"
#include "Policies/CondensedJsonPrintPolicy.h"
#include "Serialization/JsonWriter.h"

namespace
{
	typedef TJsonWriter<TCHAR, TCondensedJsonPrintPolicy<TCHAR>> FCondensedWriter;
	typedef TJsonWriterFactory<TCHAR, TCondensedJsonPrintPolicy<TCHAR>> FCondensedWriterFactory;

	template <typename T>
	concept CanWriteNamed = requires(FCondensedWriter& Writer, T Value) { Writer.WriteValue(FString(), Value); };
	template <typename T>
	concept CanWriteInArray = requires(FCondensedWriter& Writer, T Value) { Writer.WriteValue(Value); };

	// As in the engine, unsigned 32- and 64-bit integers match no overload and do not compile.
	static_assert(!CanWriteNamed<uint32> && !CanWriteInArray<uint32>);
	static_assert(!CanWriteNamed<uint64> && !CanWriteInArray<uint64>);
	static_assert(CanWriteNamed<int32> && CanWriteNamed<int64> && CanWriteNamed<uint8> && CanWriteNamed<int16>);
	static_assert(CanWriteNamed<float> && CanWriteNamed<double> && CanWriteNamed<bool>);
	static_assert(CanWriteNamed<FString> && CanWriteNamed<const TCHAR*> && CanWriteInArray<FString>);

	struct FWriterCase
	{
		const char* Name;
		std::function<void(FCondensedWriter&)> Write;
		const char16_t* Expected;
	};

	/** Writes one named value inside an object, so each case shows a single value's text. */
	template <typename T>
	FWriterCase Named(const char* Name, const T Value, const char16_t* Expected)
	{
		return FWriterCase{Name, [Value](FCondensedWriter& Writer)
			{
				Writer.WriteObjectStart();
				Writer.WriteValue(TEXT("v"), Value);
				Writer.WriteObjectEnd();
			}, Expected};
	}

	FString WriteCase(const FWriterCase& Case)
	{
		FString Out;
		const TSharedRef<FCondensedWriter> Writer = FCondensedWriterFactory::Create(&Out);
		Case.Write(*Writer);
		EXPECT_TRUE(Writer->Close()) << Case.Name;
		return Out;
	}

	void ExpectCases(const std::vector<FWriterCase>& Cases)
	{
		for (const FWriterCase& Case : Cases)
		{
			EXPECT_EQ(WriteCase(Case).GetStdString(), std::u16string(Case.Expected)) << Case.Name;
		}
	}
}

TEST(JsonWriter, FloatsPrintWithPercentG)
{
	const float NaN = std::numeric_limits<float>::quiet_NaN();
	const float Infinity = std::numeric_limits<float>::infinity();
	ExpectCases({
		Named("0.7f", 0.7f, u"{\"v\":0.7}"),
		Named("0.95f", 0.95f, u"{\"v\":0.95}"),
		Named("1e-5f", 1e-5f, u"{\"v\":1e-05}"),
		Named("1.0f", 1.0f, u"{\"v\":1}"),
		Named("-1.5f", -1.5f, u"{\"v\":-1.5}"),
		Named("2.0f", 2.0f, u"{\"v\":2}"),
		Named("1234567.0f rounds to six digits", 1234567.0f, u"{\"v\":1.23457e+06}"),
		Named("float max", std::numeric_limits<float>::max(), u"{\"v\":3.40282e+38}"),
		Named("negative zero", -0.0f, u"{\"v\":-0}"),
		Named("NaN as C prints it", NaN, u"{\"v\":nan}"),
		Named("infinity", Infinity, u"{\"v\":inf}"),
		Named("minus infinity", -Infinity, u"{\"v\":-inf}"),
	});
}

TEST(JsonWriter, DoublesPrintSeventeenDigits)
{
	ExpectCases({
		Named("0.7", 0.7, u"{\"v\":0.69999999999999996}"),
		Named("0.95", 0.95, u"{\"v\":0.94999999999999996}"),
		Named("1e-5", 1e-5, u"{\"v\":1.0000000000000001e-05}"),
		Named("1.0", 1.0, u"{\"v\":1}"),
		Named("-1.5", -1.5, u"{\"v\":-1.5}"),
		Named("2^53 + 2", 9007199254740994.0, u"{\"v\":9007199254740994}"),
		Named("1e21", 1e21, u"{\"v\":1e+21}"),
		Named("negative zero", -0.0, u"{\"v\":-0}"),
		Named("NaN", std::numeric_limits<double>::quiet_NaN(), u"{\"v\":nan}"),
	});
}

TEST(JsonWriter, IntegersPrintInDecimal)
{
	ExpectCases({
		Named("zero", 0, u"{\"v\":0}"),
		Named("int32 min", std::numeric_limits<int32>::min(), u"{\"v\":-2147483648}"),
		Named("int32 max", std::numeric_limits<int32>::max(), u"{\"v\":2147483647}"),
		Named("int64 beyond doubles", static_cast<int64>(9007199254740993), u"{\"v\":9007199254740993}"),
		Named("int64 min", std::numeric_limits<int64>::min(), u"{\"v\":-9223372036854775808}"),
		Named("uint8 promotes to int32", static_cast<uint8>(255), u"{\"v\":255}"),
		Named("int16", static_cast<int16>(-5), u"{\"v\":-5}"),
		Named("true", true, u"{\"v\":true}"),
		Named("false", false, u"{\"v\":false}"),
	});
}

TEST(JsonWriter, StringsEscapeOnlyWhatTheEngineEscapes)
{
	ExpectCases({
		Named("quote and backslash", FString(TEXT("a\"b\\c")), u"{\"v\":\"a\\\"b\\\\c\"}"),
		Named("named escapes", FString(TEXT("\b\t\n\f\r")), u"{\"v\":\"\\b\\t\\n\\f\\r\"}"),
		Named("other controls as lower-case \\u", FString(TEXT("\x01\x1f\x0b")), u"{\"v\":\"\\u0001\\u001f\\u000b\"}"),
		Named("NUL inside", FString(std::u16string(u"a\0b", 3)), u"{\"v\":\"a\\u0000b\"}"),
		Named("slash and DEL raw", FString(TEXT("a/b\x7f")), u"{\"v\":\"a/b\x7f\"}"),
		Named("Chinese raw", FString(TEXT("你好，世界")), u"{\"v\":\"你好，世界\"}"),
		Named("surrogate pair raw", FString(TEXT("\U0001F600")), u"{\"v\":\"\U0001F600\"}"),
		Named("lone surrogate raw", FString(std::u16string(1, char16_t(0xD800))), u"{\"v\":\"\xD800\"}"),
		Named("U+2028 raw", FString(TEXT("\u2028")), u"{\"v\":\"\u2028\"}"),
		Named("empty", FString(), u"{\"v\":\"\"}"),
		Named("TCHAR pointer", TEXT("x\ty"), u"{\"v\":\"x\\ty\"}"),
		Named("null TCHAR pointer is empty", static_cast<const TCHAR*>(nullptr), u"{\"v\":\"\"}"),
		FWriterCase{"keys escape too", [](FCondensedWriter& Writer)
			{
				Writer.WriteObjectStart();
				Writer.WriteValue(TEXT("k\"\n键"), 1);
				Writer.WriteObjectEnd();
			}, u"{\"k\\\"\\n键\":1}"},
	});
}

TEST(JsonWriter, StructureIsCondensed)
{
	ExpectCases({
		FWriterCase{"empty object", [](FCondensedWriter& Writer)
			{
				Writer.WriteObjectStart();
				Writer.WriteObjectEnd();
			}, u"{}"},
		FWriterCase{"nested objects and arrays", [](FCondensedWriter& Writer)
			{
				Writer.WriteObjectStart();
				Writer.WriteArrayStart(TEXT("a"));
				Writer.WriteObjectStart();
				Writer.WriteValue(TEXT("b"), 1);
				Writer.WriteObjectEnd();
				Writer.WriteObjectStart();
				Writer.WriteObjectEnd();
				Writer.WriteArrayStart();
				Writer.WriteArrayEnd();
				Writer.WriteArrayEnd();
				Writer.WriteObjectStart(TEXT("c"));
				Writer.WriteNull(TEXT("d"));
				Writer.WriteObjectEnd();
				Writer.WriteArrayStart(TEXT("e"));
				Writer.WriteArrayEnd();
				Writer.WriteValue(TEXT("f"), false);
				Writer.WriteObjectEnd();
			}, u"{\"a\":[{\"b\":1},{},[]],\"c\":{\"d\":null},\"e\":[],\"f\":false}"},
		FWriterCase{"values in a root array", [](FCondensedWriter& Writer)
			{
				Writer.WriteArrayStart();
				Writer.WriteValue(1);
				Writer.WriteValue(TEXT("x"));
				Writer.WriteValue(FString(TEXT("y")));
				Writer.WriteValue(true);
				Writer.WriteValue(0.5f);
				Writer.WriteNull();
				Writer.WriteArrayEnd();
			}, u"[1,\"x\",\"y\",true,0.5,null]"},
		FWriterCase{"raw JSON inserted as is", [](FCondensedWriter& Writer)
			{
				Writer.WriteObjectStart();
				Writer.WriteRawJSONValue(TEXT("raw"), TEXT("{\"x\": [1, 2]}"));
				Writer.WriteValue(TEXT("after"), 2);
				Writer.WriteObjectEnd();
			}, u"{\"raw\":{\"x\": [1, 2]},\"after\":2}"},
	});
}

TEST(JsonWriter, TextLandsOnlyOnCloseAndReplacesTheString)
{
	FString Out = TEXT("stale text");
	const TSharedRef<FCondensedWriter> Writer = FCondensedWriterFactory::Create(&Out);
	Writer->WriteObjectStart();
	Writer->WriteValue(TEXT("a"), 1);
	Writer->WriteObjectEnd();
	EXPECT_EQ(ToUtf8(Out), "stale text");
	EXPECT_TRUE(Writer->Close());
	EXPECT_EQ(ToUtf8(Out), "{\"a\":1}");
}

TEST(JsonWriter, CloseOfUnfinishedTextReportsFalseButStillWrites)
{
	FString Out = TEXT("stale");
	const TSharedRef<FCondensedWriter> Writer = FCondensedWriterFactory::Create(&Out);
	Writer->WriteObjectStart();
	Writer->WriteArrayStart(TEXT("a"));
	EXPECT_FALSE(Writer->Close());
	EXPECT_EQ(ToUtf8(Out), "{\"a\":[");
	Writer->WriteArrayEnd();
	Writer->WriteObjectEnd();
	EXPECT_TRUE(Writer->Close());
	EXPECT_EQ(ToUtf8(Out), "{\"a\":[]}");
}

TEST(JsonWriter, WriterDroppedWithoutCloseLeavesTheStringAlone)
{
	FString Out = TEXT("kept");
	{
		const TSharedRef<FCondensedWriter> Writer = FCondensedWriterFactory::Create(&Out);
		Writer->WriteObjectStart();
		Writer->WriteObjectEnd();
	}
	EXPECT_EQ(ToUtf8(Out), "kept");
}

TEST(JsonSerializer, SerializesObjectsAsTheWriterPrintsThem)
{
	const TSharedRef<FJsonObject> Object = MakeShared<FJsonObject>();
	Object->SetStringField(TEXT("text"), TEXT("你好\n"));
	Object->SetNumberField(TEXT("temperature"), 0.7);
	Object->SetNumberField(TEXT("count"), 3);
	Object->SetBoolField(TEXT("stream"), true);
	Object->SetObjectField(TEXT("none"), nullptr);
	Object->SetArrayField(TEXT("list"), {MakeShared<FJsonValueNumber>(1), MakeShared<FJsonValueNull>(),
		MakeShared<FJsonValueArray>(TArray<TSharedPtr<FJsonValue>>())});
	const TSharedRef<FJsonObject> Inner = MakeShared<FJsonObject>();
	Inner->SetStringField(TEXT(""), TEXT("empty key"));
	Object->SetObjectField(TEXT("inner"), Inner);

	FString Out;
	EXPECT_TRUE(FJsonSerializer::Serialize(Object, FCondensedWriterFactory::Create(&Out)));
	EXPECT_EQ(ToUtf8(Out), "{\"text\":\"你好\\n\",\"temperature\":0.69999999999999996,\"count\":3,\"stream\":true,"
		"\"none\":null,\"list\":[1,null,[]],\"inner\":{\"\":\"empty key\"}}");
}

TEST(JsonSerializer, ParsedTextWritesBackInCanonicalForm)
{
	const TSharedPtr<FJsonObject> Object = ParseObject(FromUtf8(
		" {\"b\" : [ 1.5e2 , \"\\u4f60\\/\" , TRUE ] ,\n\"a\":{\"x\":null}, \"b\": -0.25 } "));
	ASSERT_TRUE(Object.IsValid());
	FString Out;
	EXPECT_TRUE(FJsonSerializer::Serialize(Object.ToSharedRef(), FCondensedWriterFactory::Create(&Out)));
	// The repeated "b" replaces the first one's value in the first one's place.
	EXPECT_EQ(ToUtf8(Out), "{\"b\":-0.25,\"a\":{\"x\":null}}");
}
