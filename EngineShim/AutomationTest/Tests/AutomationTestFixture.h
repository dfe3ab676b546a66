#pragma once

// A spec that is not registered: the framework's tests declare its blocks, run one of its Its with
// the runner, and check what that It reported.

#include "AutomationTestRunner.h"
#include "CoreMinimal.h"
#include "Misc/AutomationTest.h"

namespace AutomationTestFixture
{
	class FFixtureSpec final : public FAutomationSpecBase
	{
	public:
		explicit FFixtureSpec(TFunction<void(FFixtureSpec&)> InBody)
			: FAutomationSpecBase(TEXT("FFixtureSpec"), false)
			, Body(MoveTemp(InBody))
		{
		}

		uint32 GetTestFlags() const override { return EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask; }
		FString GetBeautifiedTestName() const override { return TEXT("Fixture"); }
		void SetDefaultTimeout(const FTimespan& Timeout) { DefaultTimeout = Timeout; }

	protected:
		void Define() override { Body(*this); }

	private:
		TFunction<void(FFixtureSpec&)> Body;
	};

	inline UE::AutomationTest::FSpecFactory MakeFixture(const TFunction<void(FFixtureSpec&)>& Body)
	{
		return [Body]() -> TSharedRef<FAutomationSpecBase> { return MakeShared<FFixtureSpec>(Body); };
	}

	/** Runs the It "Fixture.<Description>" of a fixture declared by Body. */
	inline UE::AutomationTest::FSpecTestResult Run(const TFunction<void(FFixtureSpec&)>& Body, const FString& Description)
	{
		return UE::AutomationTest::RunSpecTest(MakeFixture(Body), FString(TEXT("Fixture.")) + Description);
	}

	/** The messages of one kind of event, joined by " | ", to compare in one check. */
	inline FString Messages(const UE::AutomationTest::FSpecTestResult& Result, const EAutomationEventType Type)
	{
		TArray<FString> Found;
		for (const FAutomationEvent& Event : Result.Events)
		{
			if (Event.Type == Type)
			{
				Found.Add(Event.Message);
			}
		}
		return FString::Join(Found, TEXT(" | "));
	}

	inline FString Errors(const UE::AutomationTest::FSpecTestResult& Result)
	{
		return Messages(Result, EAutomationEventType::Error);
	}
}
