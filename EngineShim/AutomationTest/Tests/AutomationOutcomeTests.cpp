#include <cmath>
#include <thread>

#include "AutomationTestFixture.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace AutomationTestFixture;

DEFINE_LOG_CATEGORY_STATIC(LogSpecOutcomeTest, Log, All);

namespace
{
	enum class EFixtureColour : uint8
	{
		Red,
		Green,
	};

	void LogError(const TCHAR* Text)
	{
		UE_LOG(LogSpecOutcomeTest, Error, TEXT("%s"), Text);
	}
}

BEGIN_DEFINE_SPEC(FSpecOutcomeSpec, "Talvane.AutomationTest.Outcome", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	std::thread Helper;
END_DEFINE_SPEC(FSpecOutcomeSpec)

void FSpecOutcomeSpec::Define()
{
	AfterEach([this]()
	{
		if (Helper.joinable())
		{
			Helper.join();
		}
		UE::AutomationTest::SetLatentTickHook(nullptr);
	});

	Describe(TEXT("Checks"), [this]()
	{
		It(TEXT("return whether they held and report what failed"), [this]()
		{
			const TSharedRef<TArray<bool>> Returned = MakeShared<TArray<bool>>();
			const UE::AutomationTest::FSpecTestResult Result = Run([Returned](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), [&Spec, Returned]()
				{
					Returned->Add(Spec.TestEqual(TEXT("answer"), 41, 42));
					Returned->Add(Spec.TestEqual(TEXT("same"), 7, 7));
					Returned->Add(Spec.TestTrue(TEXT("flag"), false));
					Returned->Add(Spec.TestFalse(TEXT("flag"), false));
				});
			}, TEXT("x"));
			TestFalse(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("errors"), Errors(Result), TEXT("Expected 'answer' to be 42, but it was 41. | Expected 'flag' to be true."));
			TestTrue(TEXT("returned"), *Returned == TArray<bool>({false, true, false, true}));
		});

		It(TEXT("TestEqual ignores case once an FString takes part, as in 5.3, and not between two pointers"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), [&Spec]()
				{
					Spec.TestEqual(TEXT("a"), FString(TEXT("Hello")), FString(TEXT("hello")));
					Spec.TestEqual(TEXT("b"), FString(TEXT("Hello")), TEXT("hello"));
					Spec.TestEqual(TEXT("c"), TEXT("Hello"), FString(TEXT("hello")));
					Spec.TestEqual(TEXT("d"), FString(TEXT("Hello")), TEXT("Help"));
					Spec.TestNotEqual(TEXT("e"), FString(TEXT("Hello")), TEXT("hello"));
					// Literals of one length must compare as text, not as arrays.
					Spec.TestEqual(TEXT("f"), TEXT("Hello"), TEXT("hello"));
				});
			}, TEXT("x"));
			TestTrue(TEXT("errors"), Errors(Result).Equals(TEXT("Expected 'd' to be \"Help\", but it was \"Hello\". | Expected 'e' to differ from hello, but it was Hello.")
				TEXT(" | Expected 'f' to be \"hello\", but it was \"Hello\"."), ESearchCase::CaseSensitive));
		});

		It(TEXT("TestEqual compares floats within the tolerance and fails NaN"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), [&Spec]()
				{
					Spec.TestEqual(TEXT("near"), 1.0, 1.00005);
					Spec.TestEqual(TEXT("far"), 1.0f, 1.001f);
					Spec.TestEqual(TEXT("wide"), 1.0, 1.001, 0.01);
					Spec.TestEqual(TEXT("nan"), std::nan(""), std::nan(""));
				});
			}, TEXT("x"));
			TestEqual(TEXT("failed checks"), Result.Events.Num(), 2);
			TestTrue(TEXT("far failed"), Errors(Result).StartsWith(TEXT("Expected 'far' to be 1.00100004")));
			TestTrue(TEXT("nan failed"), Errors(Result).Contains(TEXT("Expected 'nan'")));
		});

		It(TEXT("TestEqual, TestValid and TestNull take other types"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), [&Spec]()
				{
					const int32 Value = 0;
					Spec.TestEqual(TEXT("enum"), EFixtureColour::Red, EFixtureColour::Green);
					Spec.TestEqual(TEXT("bool"), true, true);
					Spec.TestEqual(TEXT("guid"), FGuid(1, 2, 3, 4), FGuid(1, 2, 3, 4));
					Spec.TestValid(TEXT("pointer"), TSharedPtr<int32>());
					Spec.TestInvalid(TEXT("guid"), FGuid());
					Spec.TestNotNull(TEXT("raw"), static_cast<const int32*>(nullptr));
					Spec.TestNull(TEXT("raw"), &Value);
				});
			}, TEXT("x"));
			TestEqual(TEXT("errors"), Errors(Result), TEXT("Expected 'enum' to be 1, but it was 0. | Expected 'pointer' to be valid.")
				TEXT(" | Expected 'raw' to be not null. | Expected 'raw' to be null."));
		});
	});

	Describe(TEXT("The log"), [this]()
	{
		It(TEXT("fails a test on an Error line of any category, from any thread"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), []()
				{
					LogError(TEXT("on the test thread"));
					std::thread([]() { UE_LOG(LogTemp, Error, TEXT("on another thread")); }).join();
				});
			}, TEXT("x"));
			TestFalse(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("errors"), Errors(Result), TEXT("on the test thread | on another thread"));
		});

		It(TEXT("records warnings without failing the test"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), []() { UE_LOG(LogSpecOutcomeTest, Warning, TEXT("careful")); });
			}, TEXT("x"));
			TestTrue(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("warnings"), Messages(Result, EAutomationEventType::Warning), TEXT("careful"));
		});
	});

	Describe(TEXT("Expected errors"), [this]()
	{
		It(TEXT("take matching lines, ignoring case, when they came as often as expected"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.BeforeEach([&Spec]() { Spec.AddExpectedError(TEXT("connection refused"), EAutomationExpectedErrorFlags::Contains, 2); });
				Spec.It(TEXT("x"), [&Spec]()
				{
					LogError(TEXT("Connection REFUSED by 127.0.0.1"));
					Spec.AddError(TEXT("connection refused again"));
				});
			}, TEXT("x"));
			TestTrue(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("errors"), Errors(Result), TEXT(""));
		});

		It(TEXT("fail a test when they came fewer or more times than expected"), [this]()
		{
			const TFunction<void(FFixtureSpec&)> Body = [](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("fewer"), [&Spec]()
				{
					Spec.AddExpectedError(TEXT("refused"), EAutomationExpectedErrorFlags::Contains, 2);
					LogError(TEXT("refused"));
				});
				Spec.It(TEXT("more"), [&Spec]()
				{
					Spec.AddExpectedError(TEXT("refused"));
					LogError(TEXT("refused"));
					LogError(TEXT("refused"));
				});
			};
			TestEqual(TEXT("fewer"), Errors(Run(Body, TEXT("fewer"))),
				TEXT("Expected message matching 'refused' to occur 2 times with Contains match type, but it was found 1 time(s)."));
			TestEqual(TEXT("more"), Errors(Run(Body, TEXT("more"))),
				TEXT("Expected message matching 'refused' to occur 1 times with Contains match type, but it was found 2 time(s)."));
		});

		It(TEXT("with zero occurrences want at least one"), [this]()
		{
			const TFunction<void(FFixtureSpec&)> Body = [](FFixtureSpec& Spec)
			{
				Spec.BeforeEach([&Spec]() { Spec.AddExpectedError(TEXT("flaky"), EAutomationExpectedErrorFlags::Contains, 0); });
				Spec.It(TEXT("three"), []() { LogError(TEXT("flaky")); LogError(TEXT("flaky")); LogError(TEXT("flaky")); });
				Spec.It(TEXT("none"), []() {});
			};
			TestTrue(TEXT("three"), Run(Body, TEXT("three")).bSucceeded);
			TestEqual(TEXT("none"), Errors(Run(Body, TEXT("none"))), TEXT("Expected suppressed message matching 'flaky' did not occur."));
		});

		It(TEXT("are regular expressions, matched whole with Exact"), [this]()
		{
			const TFunction<void(FFixtureSpec&)> Body = [](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("regex"), [&Spec]() { Spec.AddExpectedError(TEXT("status [0-9]+$")); LogError(TEXT("bad status 503")); });
				Spec.It(TEXT("dot"), [&Spec]()
				{
					Spec.AddExpectedError(TEXT("a.c"), EAutomationExpectedErrorFlags::Contains, 1);
					LogError(TEXT("abc"));
				});
				Spec.It(TEXT("exact"), [&Spec]()
				{
					Spec.AddExpectedError(TEXT("refused"), EAutomationExpectedErrorFlags::Exact);
					LogError(TEXT("connection refused"));
				});
			};
			TestTrue(TEXT("regex"), Run(Body, TEXT("regex")).bSucceeded);
			TestTrue(TEXT("a dot is any character"), Run(Body, TEXT("dot")).bSucceeded);
			TestTrue(TEXT("exact"), Errors(Run(Body, TEXT("exact"))).StartsWith(TEXT("connection refused | Expected message matching 'refused'")));
		});

		It(TEXT("by verbosity take lines of that verbosity or more severe"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec)
			{
				Spec.It(TEXT("x"), [&Spec]()
				{
					Spec.AddExpectedMessage(TEXT("progress"), ELogVerbosity::Display);
					Spec.AddExpectedMessage(TEXT("only errors"), ELogVerbosity::Error);
					UE_LOG(LogSpecOutcomeTest, Display, TEXT("progress 50%%"));
					UE_LOG(LogSpecOutcomeTest, Warning, TEXT("only errors"));
				});
			}, TEXT("x"));
			TestEqual(TEXT("errors"), Errors(Result),
				TEXT("Expected message matching 'only errors' to occur 1 times with Contains match type, but it was found 0 time(s)."));
		});
	});

	Describe(TEXT("LatentIt"), [this]()
	{
		LatentIt(TEXT("passes once Done is executed on another thread"), [this](const FDoneDelegate& Done)
		{
			Helper = std::thread([Done]() { Done.Execute(); });
		});

		LatentIt(TEXT("passes when Done is executed inside the body"), [](const FDoneDelegate& Done) { Done.Execute(); });

		It(TEXT("fails with a timeout when Done never comes, and ignores a late Done"), [this]()
		{
			const TSharedRef<FDoneDelegate> Kept = MakeShared<FDoneDelegate>();
			const UE::AutomationTest::FSpecTestResult Result = Run([Kept](FFixtureSpec& Spec)
			{
				Spec.LatentIt(TEXT("x"), FTimespan::FromMilliseconds(20), [Kept](const FDoneDelegate& Done) { *Kept = Done; });
			}, TEXT("x"));
			TestEqual(TEXT("errors"), Errors(Result), TEXT("Latent command timed out."));
			TestTrue(TEXT("late Done runs harmlessly"), Kept->ExecuteIfBound());
		});

		It(TEXT("calls the tick hook while it waits"), [this]()
		{
			const TSharedRef<FDoneDelegate> Kept = MakeShared<FDoneDelegate>();
			const TSharedRef<int32> Ticks = MakeShared<int32>(0);
			UE::AutomationTest::SetLatentTickHook([Kept, Ticks]()
			{
				if (++*Ticks == 3)
				{
					Kept->ExecuteIfBound();
				}
			});
			const UE::AutomationTest::FSpecTestResult Result = Run([Kept](FFixtureSpec& Spec)
			{
				Spec.LatentIt(TEXT("x"), [Kept](const FDoneDelegate& Done) { *Kept = Done; });
			}, TEXT("x"));
			TestTrue(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("ticks"), *Ticks, 3);
		});

		It(TEXT("LatentBeforeEach finishes before the It starts"), [this]()
		{
			const TSharedRef<TArray<FString>> Order = MakeShared<TArray<FString>>();
			// The fixture runs within this It, so its blocks may use this spec's Helper, joined in AfterEach.
			const UE::AutomationTest::FSpecTestResult Result = Run([this, Order](FFixtureSpec& Spec)
			{
				Spec.SetDefaultTimeout(FTimespan::FromSeconds(10.0));
				Spec.LatentBeforeEach([this, Order](const FDoneDelegate& Done)
				{
					Helper = std::thread([Order, Done]() { Order->Add(TEXT("before")); Done.Execute(); });
				});
				Spec.It(TEXT("x"), [Order]() { Order->Add(TEXT("x")); });
			}, TEXT("x"));
			TestTrue(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("order"), FString::Join(*Order, TEXT(",")), TEXT("before,x"));
		});
	});
}

#endif
