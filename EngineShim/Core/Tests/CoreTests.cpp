#include "CoreMinimal.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Misc/ScopeLock.h"

#if WITH_DEV_AUTOMATION_TESTS

// The engine facts the plugin relies on: strings ignore case where the engine's do, formatting
// follows the engine's printf rules, maps keep insertion order, GUIDs print and parse in the
// engine's formats, weak delegate bindings drop calls to dead objects, and the log reaches devices.

BEGIN_DEFINE_SPEC(FCoreSpec, "Core", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	struct FTarget
	{
		int32 Calls = 0;
		void Hit() { ++Calls; }
	};

	struct FCapture : public FOutputDevice
	{
		TArray<FString> Lines;
		void Serialize(const TCHAR* V, ELogVerbosity::Type, const FName&) override
		{
			FScopeLock Lock(&Mutex);
			Lines.Add(V);
		}
		bool CanBeUsedOnMultipleThreads() const override { return true; }
		FCriticalSection Mutex;
	};
END_DEFINE_SPEC(FCoreSpec)

void FCoreSpec::Define()
{
	Describe(TEXT("String"), [this]()
	{
		It(TEXT("ComparesAndHashesIgnoringCaseButEqualsIsCaseSensitiveByDefault"), [this]()
		{
			TestTrue(TEXT("=="), FString(TEXT("Accept")) == FString(TEXT("aCCEPT")));
			TestFalse(TEXT("Equals"), FString(TEXT("Accept")).Equals(TEXT("accept")));
			TestEqual(TEXT("hash"), GetTypeHash(FString(TEXT("X-Note"))), GetTypeHash(FString(TEXT("x-note"))));
			TestTrue(TEXT("StartsWith ignores case"), FString(TEXT("Data: x")).StartsWith(TEXT("data:")));
			TestFalse(TEXT("an empty prefix matches nothing"), FString(TEXT("x")).StartsWith(TEXT("")));
		});

		It(TEXT("SplitsAtTheFirstSeparatorAndLeavesOutputsAloneWhenAbsent"), [this]()
		{
			FString Left = TEXT("keep");
			FString Right = TEXT("keep");
			TestFalse(TEXT("absent"), FString(TEXT("no separator")).Split(TEXT(": "), &Left, &Right));
			TestEqual(TEXT("left untouched"), Left, FString(TEXT("keep")));
			TestTrue(TEXT("present"), FString(TEXT("X-Note: a: b")).Split(TEXT(": "), &Left, &Right));
			TestEqual(TEXT("left"), Left, FString(TEXT("X-Note")));
			TestEqual(TEXT("right keeps later separators"), Right, FString(TEXT("a: b")));
		});

		It(TEXT("ClampsRemovalAndSlicing"), [this]()
		{
			FString Text = TEXT("ENimbrelRole::NIMBREL_USER");
			Text.RemoveAt(0, FString(TEXT("ENimbrelRole::NIMBREL_")).Len());
			TestEqual(TEXT("prefix length removed"), Text.ToLower(), FString(TEXT("user")));
			Text.RemoveAt(2, 100);
			TestEqual(TEXT("clamped"), Text, FString(TEXT("US")));
			TestEqual(TEXT("Mid clamps"), FString(TEXT("abc")).Mid(1, 99), FString(TEXT("bc")));
			TestEqual(TEXT("Left clamps"), FString(TEXT("abc")).Left(-3), FString());
			TestEqual(TEXT("RightChop clamps"), FString(TEXT("abc")).RightChop(9), FString());
		});

		It(TEXT("FormatsWithTheEnginesPrintfRules"), [this]()
		{
			TestEqual(TEXT("%i and %s"), FString::Printf(TEXT("[code=%i]x[%s]"), 401, TEXT("中文")), FString(TEXT("[code=401]x[中文]")));
			TestEqual(TEXT("%g of a float"), FString::Printf(TEXT("%g %g"), 0.7f, 1e-5f), FString(TEXT("0.7 1e-05")));
			TestEqual(TEXT("%.17g"), FString::Printf(TEXT("%.17g"), 0.7), FString(TEXT("0.69999999999999996")));
			TestEqual(TEXT("%08X"), FString::Printf(TEXT("%08X"), 0xABCu), FString(TEXT("00000ABC")));
			TestEqual(TEXT("%x of a negative int32"), FString::Printf(TEXT("%x"), -1), FString(TEXT("ffffffff")));
			TestEqual(TEXT("%lld"), FString::Printf(TEXT("%lld"), static_cast<int64>(-5)), FString(TEXT("-5")));
			TestEqual(TEXT("%hs"), FString::Printf(TEXT("%hs"), "ansi"), FString(TEXT("ansi")));
			TestEqual(TEXT("a conversion without argument"), FString::Printf(TEXT("%s")), FString(TEXT("%s")));
		});

		It(TEXT("ConvertsUTF8BothWaysWithQuestionMarksForInvalidInput"), [this]()
		{
			const FString Text = TEXT("你好 🙂");
			const FTCHARToUTF8 Narrow(*Text);
			TestEqual(TEXT("round trip"), FString(FUTF8ToTCHAR(Narrow.Get()).Get()), Text);
			TestEqual(TEXT("bytes"), Narrow.Length(), 11);
			TestEqual(TEXT("invalid"), FString(FUTF8ToTCHAR("a\xC3(\xFF").Get()), FString(TEXT("a?(?")));
			const char Cut[] = {'\xE4', '\xBD'};
			TestEqual(TEXT("a cut character"), FString(FUTF8ToTCHAR(Cut, 2).Get()), FString(TEXT("??")));
		});
	});

	Describe(TEXT("Containers"), [this]()
	{
		It(TEXT("MapKeysIgnoreCaseKeepOrderAndTakeTheLaterKey"), [this]()
		{
			TMap<FString, FString> Map;
			Map.Add(TEXT("Accept"), TEXT("a"));
			Map.Add(TEXT("Zulu"), TEXT("z"));
			Map.Add(TEXT("accept"), TEXT("b"));
			TestEqual(TEXT("one entry per key"), Map.Num(), 2);
			TArray<FString> Keys;
			Map.GetKeys(Keys);
			TestEqual(TEXT("insertion order, later spelling"), Keys, (TArray<FString>{TEXT("accept"), TEXT("Zulu")}));
			TestEqual(TEXT("value replaced"), Map.FindRef(TEXT("ACCEPT")), FString(TEXT("b")));
			TestEqual(TEXT("removal"), Map.Remove(TEXT("zulu")), 1);
			TestNull(TEXT("gone"), Map.Find(TEXT("Zulu")));
		});
	});

	Describe(TEXT("Guid"), [this]()
	{
		It(TEXT("PrintsAndParsesTheEnginesFormats"), [this]()
		{
			const FGuid Guid(0x01234567, 0x89ABCDEF, 0x0BADF00D, 0xDEADBEEF);
			TestEqual(TEXT("digits"), Guid.ToString(), FString(TEXT("0123456789ABCDEF0BADF00DDEADBEEF")));
			TestEqual(TEXT("hyphens"), Guid.ToString(EGuidFormats::DigitsWithHyphens), FString(TEXT("01234567-89AB-CDEF-0BAD-F00DDEADBEEF")));
			for (const EGuidFormats Format : {EGuidFormats::Digits, EGuidFormats::DigitsWithHyphens, EGuidFormats::DigitsWithHyphensInBraces,
				EGuidFormats::DigitsWithHyphensInParentheses})
			{
				FGuid Parsed;
				TestTrue(TEXT("parses"), FGuid::Parse(Guid.ToString(Format).ToLower(), Parsed));
				TestEqual(TEXT("same GUID"), Parsed, Guid);
			}
			FGuid Untouched;
			TestFalse(TEXT("rejects a bad digit"), FGuid::Parse(TEXT("0123456789ABCDEF0BADF00DDEADBEEG"), Untouched));
			TestFalse(TEXT("zero is invalid"), Untouched.IsValid());
			TestTrue(TEXT("a new one is valid"), FGuid::NewGuid().IsValid());
		});
	});

	Describe(TEXT("Delegates"), [this]()
	{
		It(TEXT("DropCallsToADeadSharedObject"), [this]()
		{
			TSharedPtr<FTarget> Target = MakeShared<FTarget>();
			TDelegate<void()> Delegate = TDelegate<void()>::CreateThreadSafeSP(Target.ToSharedRef(), &FTarget::Hit);
			TestTrue(TEXT("runs while alive"), Delegate.ExecuteIfBound());
			TestEqual(TEXT("called"), Target->Calls, 1);
			Target.Reset();
			TestFalse(TEXT("unbound once dead"), Delegate.IsBound());
			TestFalse(TEXT("does nothing"), Delegate.ExecuteIfBound());
		});
	});

	Describe(TEXT("LogAndConfig"), [this]()
	{
		It(TEXT("WritesToDevicesOnlyWhatTheCategoryAdmits"), [this]()
		{
			FCapture Capture;
			GLog->AddOutputDevice(&Capture);
			UE_LOG(LogTemp, Log, TEXT("seen %d"), 1);
			LogTemp.SetVerbosity(ELogVerbosity::Warning);
			UE_LOG(LogTemp, Log, TEXT("hidden"));
			LogTemp.SetVerbosity(ELogVerbosity::Log);
			GLog->RemoveOutputDevice(&Capture);
			TestEqual(TEXT("one line"), Capture.Lines, TArray<FString>{TEXT("seen 1")});
		});

		It(TEXT("ChangesAndReadsAVerbosityThroughTheMacrosAndEvaluatesAConditionOnlyForALineItWrites"), [this]()
		{
			FCapture Capture;
			GLog->AddOutputDevice(&Capture);
			UE_SET_LOG_VERBOSITY(LogTemp, Warning);
			TestEqual(TEXT("lowered"), UE_GET_LOG_VERBOSITY(LogTemp), ELogVerbosity::Warning);
			int32 Evaluated = 0;
			UE_CLOG(++Evaluated > 0, LogTemp, Log, TEXT("hidden"));
			TestEqual(TEXT("condition of a suppressed line"), Evaluated, 0);
			UE_CLOG(++Evaluated > 0, LogTemp, Warning, TEXT("seen %d"), Evaluated);
			UE_CLOG(false, LogTemp, Warning, TEXT("not seen"));
			UE_SET_LOG_VERBOSITY(LogTemp, Log);
			GLog->RemoveOutputDevice(&Capture);
			TestEqual(TEXT("condition of a written line"), Evaluated, 1);
			TestEqual(TEXT("one line"), Capture.Lines, TArray<FString>{TEXT("seen 1")});
		});

		It(TEXT("ReadsMissingKeysAsAbsentWithoutTouchingTheOutput"), [this]()
		{
			double Value = 2.0;
			TestFalse(TEXT("missing"), GConfig->GetDouble(TEXT("CoreSpec"), TEXT("Missing"), Value, GEngineIni));
			TestEqual(TEXT("untouched"), Value, 2.0);
			GConfig->SetDouble(TEXT("CoreSpec"), TEXT("Limit"), 6000.0, GEngineIni);
			TestTrue(TEXT("sections and keys ignore case"), GConfig->GetDouble(TEXT("corespec"), TEXT("LIMIT"), Value, GEngineIni));
			TestEqual(TEXT("value"), Value, 6000.0);
			GConfig->EmptySection(TEXT("CoreSpec"), GEngineIni);
		});
	});
}

#endif
