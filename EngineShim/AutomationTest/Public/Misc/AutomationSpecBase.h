#pragma once

// The Automation Spec part of Misc/AutomationTest.h (which includes this file; include that one).

#include <memory>

#include "CoreMinimal.h"
#include "Misc/AutomationTest.h"
#include "Misc/Timespan.h"

class FAutomationSpecBase;

/** Handed to a latent block; the block executes it, on any thread, once its work is done. */
DECLARE_DELEGATE(FDoneDelegate);

namespace UE::AutomationTest::Private
{
	struct FSpecBlock;
	struct FSpecDefinition;
	struct FSpecAccess;

	typedef TFunction<TSharedRef<FAutomationSpecBase>()> FSpecFactory;

	/** Adds a spec class to the tests of this process; END_DEFINE_SPEC calls it. */
	AUTOMATIONTEST_API void RegisterSpec(const TCHAR* ClassName, FSpecFactory Factory);

	struct FSpecRegistration
	{
		FSpecRegistration(const TCHAR* ClassName, FSpecFactory Factory) { RegisterSpec(ClassName, MoveTemp(Factory)); }
	};
}

/**
 * A test written as nested Describe blocks of It blocks. Define() declares the blocks; every It
 * then runs as its own test: each BeforeEach from the outermost scope in, the It, and each
 * AfterEach from the innermost scope out. Once a block has added an error, the BeforeEach and It
 * blocks that follow are skipped (bEnableSkipIfError); AfterEach blocks always run.
 */
class AUTOMATIONTEST_API FAutomationSpecBase : public FAutomationTestBase
{
public:
	FAutomationSpecBase(const FString& InName, const bool bInComplexTask);
	~FAutomationSpecBase() override;

	/**
	 * Runs the It that InParameters names. A spec may override it, as in the engine, to decide whether
	 * its tests run at all; it returns true for a test that passes without running.
	 */
	virtual bool RunTest(const FString& InParameters) override;

	void Describe(const FString& InDescription, TFunction<void()> DoWork);
	void xDescribe(const FString&, TFunction<void()>) {}

	void It(const FString& InDescription, TFunction<void()> DoWork);
	/** The test passes once Done is executed, and fails if DefaultTimeout passes first. */
	void LatentIt(const FString& InDescription, TFunction<void(const FDoneDelegate&)> DoWork);
	void LatentIt(const FString& InDescription, const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork);
	void xIt(const FString&, TFunction<void()>) {}
	void xLatentIt(const FString&, TFunction<void(const FDoneDelegate&)>) {}
	void xLatentIt(const FString&, const FTimespan&, TFunction<void(const FDoneDelegate&)>) {}

	void BeforeEach(TFunction<void()> DoWork);
	void LatentBeforeEach(TFunction<void(const FDoneDelegate&)> DoWork);
	void LatentBeforeEach(const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork);
	void xBeforeEach(TFunction<void()>) {}

	void AfterEach(TFunction<void()> DoWork);
	void LatentAfterEach(TFunction<void(const FDoneDelegate&)> DoWork);
	void LatentAfterEach(const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork);
	void xAfterEach(TFunction<void()>) {}

protected:
	/** Declares the blocks; runs once for each object of the class. */
	virtual void Define() = 0;

	/** Timeout of latent blocks declared without one (30 seconds, as in the engine). */
	FTimespan DefaultTimeout;
	/** Whether BeforeEach and It blocks declared from now on are skipped once an error was added. */
	bool bEnableSkipIfError;

private:
	void AddIt(const FString& InDescription, UE::AutomationTest::Private::FSpecBlock&& Block);
	void AddScopeBlock(bool bBefore, UE::AutomationTest::Private::FSpecBlock&& Block);

	friend struct UE::AutomationTest::Private::FSpecAccess;
	std::unique_ptr<UE::AutomationTest::Private::FSpecDefinition> Definition;
};

#define BEGIN_DEFINE_SPEC(TClass, PrettyName, TFlags) \
	class TClass : public FAutomationSpecBase \
	{ \
	public: \
		TClass(const FString& InName) \
			: FAutomationSpecBase(InName, false) \
		{ \
			static_assert((TFlags) & EAutomationTestFlags::ApplicationContextMask, \
				"AutomationTest has no application flag. It shouldn't run. See AutomationTest.h."); \
			static_assert((((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::SmokeFilter) \
					|| (((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::EngineFilter) \
					|| (((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::ProductFilter) \
					|| (((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::PerfFilter) \
					|| (((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::StressFilter) \
					|| (((TFlags) & EAutomationTestFlags::FilterMask) == EAutomationTestFlags::NegativeFilter), \
				"All AutomationTests must have exactly 1 filter type specified. See AutomationTest.h."); \
		} \
		virtual uint32 GetTestFlags() const override { return TFlags; } \
		virtual FString GetTestSourceFileName() const override { return __FILE__; } \
		virtual int32 GetTestSourceFileLine() const override { return __LINE__; } \
	protected: \
		virtual FString GetBeautifiedTestName() const override { return PrettyName; } \
		virtual void Define() override;

#define END_DEFINE_SPEC(TClass) \
	}; \
	namespace \
	{ \
		const ::UE::AutomationTest::Private::FSpecRegistration TClass##AutomationSpecRegistration(TEXT(#TClass), \
			[]() -> TSharedRef<FAutomationSpecBase> { return MakeShared<TClass>(TEXT(#TClass)); }); \
	}

#define DEFINE_SPEC(TClass, PrettyName, TFlags) \
	BEGIN_DEFINE_SPEC(TClass, PrettyName, TFlags) \
	END_DEFINE_SPEC(TClass)
