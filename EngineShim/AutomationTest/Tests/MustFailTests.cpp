// Every It here must fail: CTest runs this program with WILL_FAIL, so each It checks that one kind
// of failure reaches the exit status of `--run`.

#include <thread>

#include "CoreMinimal.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FMustFailSpec, "Talvane.AutomationTest.MustFail", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
END_DEFINE_SPEC(FMustFailSpec)

void FMustFailSpec::Define()
{
	It(TEXT("a failed check"), [this]() { TestEqual(TEXT("answer"), 41, 42); });

	It(TEXT("a case-only difference in TestEqual"), [this]() { TestEqual(TEXT("text"), FString(TEXT("Hello")), FString(TEXT("hello"))); });

	It(TEXT("an Error line in the log"), []() { UE_LOG(LogTemp, Error, TEXT("unexpected")); });

	It(TEXT("an Error line from another thread"), []()
	{
		std::thread([]() { UE_LOG(LogTemp, Error, TEXT("unexpected on another thread")); }).join();
	});

	It(TEXT("an expected error that never came"), [this]() { AddExpectedError(TEXT("never logged")); });

	LatentIt(TEXT("a latent It whose Done never comes"), FTimespan::FromMilliseconds(50), [](const FDoneDelegate&) {});

	Describe(TEXT("a failing BeforeEach"), [this]()
	{
		BeforeEach([this]() { AddError(TEXT("set-up failed")); });
		It(TEXT("fails the It it skips"), []() {});
	});
}

#endif
