#pragma once

// Stand-in only: how UE_AutomationTestMain and the framework's own tests list and run specs.
// Plugin code never includes this file (the engine has no such header).

#include "Misc/AutomationTest.h"

namespace UE::AutomationTest
{
	typedef Private::FSpecFactory FSpecFactory;

	/** One It: "<PrettyName>.<Describe path> <It>", as the engine names it. */
	struct FSpecTestName
	{
		FString FullName;
		FString PrettyName;
		/** The Describe path and the It text, joined by spaces. */
		FString Description;
	};

	/** A registered It and where its spec was declared. */
	struct FRegisteredTest
	{
		FSpecTestName Name;
		FString SourceFile;
		int32 SourceLine = 0;
		int32 SpecIndex = INDEX_NONE;
	};

	/** What one It reported; it succeeded when nothing in Events is an error. */
	struct FSpecTestResult
	{
		bool bSucceeded = false;
		TArray<FAutomationEvent> Events;
	};

	/** The Its of a spec, in declaration order. */
	AUTOMATIONTEST_API TArray<FSpecTestName> ListSpecTests(const FSpecFactory& Factory);

	/**
	 * Runs one It by its full name on a fresh spec from Factory, capturing the log while it runs
	 * (lines from any thread), then checks the expected messages.
	 */
	AUTOMATIONTEST_API FSpecTestResult RunSpecTest(const FSpecFactory& Factory, const FString& FullName);

	/**
	 * Every It of every registered spec that is not disabled. Returns false, with one line per
	 * problem, when names collide, are empty or hold line breaks or other control characters.
	 */
	AUTOMATIONTEST_API bool GetRegisteredTests(TArray<FRegisteredTest>& OutTests, TArray<FString>& OutProblems);
	AUTOMATIONTEST_API FSpecTestResult RunRegisteredTest(const FRegisteredTest& Test);

	/**
	 * Sets what a latent block calls about every millisecond while it waits for Done, such as a
	 * tick of the HTTP manager, standing in for the engine loop. Null removes it.
	 */
	AUTOMATIONTEST_API void SetLatentTickHook(TFunction<void()> Hook);
}
