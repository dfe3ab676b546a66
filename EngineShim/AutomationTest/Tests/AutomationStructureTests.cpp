#include "AutomationTestFixture.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace AutomationTestFixture;

BEGIN_DEFINE_SPEC(FSpecStructureSpec, "Talvane.AutomationTest.Structure", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TArray<FString> Trace;
	int32 OuterBeforeEachRuns = 0;

	/** Full names of a fixture's Its, joined by " | ". */
	static FString NamesOf(const TFunction<void(FFixtureSpec&)>& Body)
	{
		TArray<FString> Names;
		for (const UE::AutomationTest::FSpecTestName& Name : UE::AutomationTest::ListSpecTests(MakeFixture(Body)))
		{
			Names.Add(Name.FullName);
		}
		return FString::Join(Names, TEXT(" | "));
	}
END_DEFINE_SPEC(FSpecStructureSpec)

void FSpecStructureSpec::Define()
{
	BeforeEach([this]()
	{
		++OuterBeforeEachRuns;
		Trace.Add(TEXT("outer"));
	});

	Describe(TEXT("Naming"), [this]()
	{
		It(TEXT("joins the pretty name with a dot, and the Describe path and the It with spaces"), [this]()
		{
			const FString Names = NamesOf([](FFixtureSpec& Spec)
			{
				Spec.Describe(TEXT("Writer"), [&Spec]()
				{
					Spec.It(TEXT("escapes quotes"), []() {});
					Spec.Describe(TEXT("with objects"), [&Spec]() { Spec.It(TEXT("nests them"), []() {}); });
				});
				Spec.It(TEXT("top level"), []() {});
			});
			TestEqual(TEXT("names"), Names, TEXT("Fixture.Writer escapes quotes | Fixture.Writer with objects nests them | Fixture.top level"));
		});

		It(TEXT("adds no space beside one already there and skips empty descriptions"), [this]()
		{
			const FString Names = NamesOf([](FFixtureSpec& Spec)
			{
				Spec.Describe(TEXT("ends with space "), [&Spec]() { Spec.It(TEXT("a"), []() {}); });
				Spec.Describe(TEXT(""), [&Spec]() { Spec.It(TEXT("b"), []() {}); });
				Spec.Describe(TEXT("c"), [&Spec]() { Spec.It(TEXT(" starts with space"), []() {}); });
			});
			TestEqual(TEXT("names"), Names, TEXT("Fixture.ends with space a | Fixture.b | Fixture.c starts with space"));
		});

		It(TEXT("leaves out xIt, xLatentIt and everything in xDescribe"), [this]()
		{
			const FString Names = NamesOf([](FFixtureSpec& Spec)
			{
				Spec.xIt(TEXT("off"), []() {});
				Spec.xLatentIt(TEXT("off latent"), [](const FDoneDelegate&) {});
				Spec.xDescribe(TEXT("off scope"), [&Spec]() { Spec.It(TEXT("inside"), []() {}); });
				Spec.It(TEXT("on"), []() {});
			});
			TestEqual(TEXT("names"), Names, TEXT("Fixture.on"));
		});

		It(TEXT("registers this very test under its full name"), [this]()
		{
			TArray<UE::AutomationTest::FRegisteredTest> Tests;
			TArray<FString> Problems;
			TestTrue(TEXT("no problems"), UE::AutomationTest::GetRegisteredTests(Tests, Problems));
			const FString Expected = TEXT("Talvane.AutomationTest.Structure.Naming registers this very test under its full name");
			TestTrue(TEXT("listed"), Tests.ContainsByPredicate([&Expected](const UE::AutomationTest::FRegisteredTest& Test)
			{
				return Test.Name.FullName.Equals(Expected, ESearchCase::CaseSensitive);
			}));
		});
	});

	// CTest runs this It by its full name; a name mangled on the way would find no test and fail.
	Describe(TEXT("Names with \"quotes\"; semicolons, [brackets]], back\\slashes and \u00FCnic\u00F6de \u2713"), [this]()
	{
		It(TEXT("run by their full name"), [this]()
		{
			TestEqual(TEXT("outer BeforeEach runs"), OuterBeforeEachRuns, 1);
		});
	});

	Describe(TEXT("BeforeEach"), [this]()
	{
		BeforeEach([this]() { Trace.Add(TEXT("inner")); });

		It(TEXT("runs once before each It, outermost scope first"), [this]()
		{
			TestEqual(TEXT("outer runs"), OuterBeforeEachRuns, 1);
			TestEqual(TEXT("trace"), FString::Join(Trace, TEXT(",")), TEXT("outer,inner"));
			Trace.Add(TEXT("first It"));
		});

		It(TEXT("runs again on a fresh spec for the next It"), [this]()
		{
			TestEqual(TEXT("outer runs"), OuterBeforeEachRuns, 1);
			TestEqual(TEXT("trace"), FString::Join(Trace, TEXT(",")), TEXT("outer,inner"));
		});

		It(TEXT("and AfterEach wrap each It as in the engine"), [this]()
		{
			const TSharedRef<TArray<FString>> Order = MakeShared<TArray<FString>>();
			const UE::AutomationTest::FSpecTestResult Result = Run([Order](FFixtureSpec& Spec)
			{
				Spec.BeforeEach([Order]() { Order->Add(TEXT("before 1")); });
				Spec.AfterEach([Order]() { Order->Add(TEXT("after 1")); });
				Spec.AfterEach([Order]() { Order->Add(TEXT("after 2")); });
				Spec.Describe(TEXT("inner"), [&Spec, Order]()
				{
					Spec.BeforeEach([Order]() { Order->Add(TEXT("inner before")); });
					Spec.AfterEach([Order]() { Order->Add(TEXT("inner after")); });
					Spec.It(TEXT("x"), [Order]() { Order->Add(TEXT("x")); });
					Spec.It(TEXT("y"), [Order]() { Order->Add(TEXT("y")); });
				});
				// Declared after the Describe, it still runs before every It of this scope.
				Spec.BeforeEach([Order]() { Order->Add(TEXT("before 2")); });
			}, TEXT("inner y"));
			TestTrue(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("order"), FString::Join(*Order, TEXT(",")), TEXT("before 1,before 2,inner before,y,inner after,after 2,after 1"));
		});

		It(TEXT("that fails skips the It but not AfterEach"), [this]()
		{
			const TSharedRef<TArray<FString>> Order = MakeShared<TArray<FString>>();
			const UE::AutomationTest::FSpecTestResult Result = Run([Order](FFixtureSpec& Spec)
			{
				Spec.BeforeEach([&Spec]() { Spec.AddError(TEXT("no fixture")); });
				Spec.AfterEach([Order]() { Order->Add(TEXT("after")); });
				Spec.It(TEXT("x"), [Order]() { Order->Add(TEXT("x")); });
			}, TEXT("x"));
			TestFalse(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("errors"), Errors(Result), TEXT("no fixture"));
			TestEqual(TEXT("order"), FString::Join(*Order, TEXT(",")), TEXT("after"));
		});
	});

	Describe(TEXT("Runner"), [this]()
	{
		It(TEXT("fails a full name that names no It"), [this]()
		{
			const UE::AutomationTest::FSpecTestResult Result = Run([](FFixtureSpec& Spec) { Spec.It(TEXT("x"), []() {}); }, TEXT("X"));
			TestFalse(TEXT("succeeded"), Result.bSucceeded);
			TestEqual(TEXT("errors"), Errors(Result), TEXT("No test is named \"Fixture.X\"."));
		});
	});
}

#endif
