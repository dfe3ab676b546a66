// Every It here must fail: CTest runs this program with WILL_FAIL, so each It checks that one kind
// of failure reaches the exit status of `--run`.

#include <thread>

#include "CoreMinimal.h"
#include "Misc/AutomationTest.h"
#include "Misc/OutputDeviceRedirector.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FMustFailSpec, "Talvane.AutomationTest.MustFail", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
END_DEFINE_SPEC(FMustFailSpec)

void FMustFailSpec::Define()
{
	It(TEXT("a failed check"), [this]() { TestEqual(TEXT("answer"), 41, 42); });

	It(TEXT("a case-only difference in TestEqual of two character pointers"), [this]() { TestEqual(TEXT("text"), TEXT("Hello"), TEXT("hello")); });

	It(TEXT("a case-only difference in a case-sensitive Equals"), [this]()
	{
		TestTrue(TEXT("text"), FString(TEXT("Hello")).Equals(TEXT("hello"), ESearchCase::CaseSensitive));
	});

	It(TEXT("an Error line in the log"), []() { UE_LOG(LogTemp, Error, TEXT("unexpected")); });

	It(TEXT("an output device that takes lines from one thread only"), []()
	{
		// The engine would feed it late from its logging thread; the stand-in says so with an Error line.
		struct FSingleThreadDevice : public FOutputDevice
		{
			void Serialize(const TCHAR*, ELogVerbosity::Type, const FName&) override {}
		};
		static FSingleThreadDevice Device;
		GLog->AddOutputDevice(&Device);
		GLog->RemoveOutputDevice(&Device);
	});

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
