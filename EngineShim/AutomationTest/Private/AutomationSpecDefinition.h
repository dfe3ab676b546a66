#pragma once

// What a spec's Define() declares, and the order in which one It's blocks run.

#include "Misc/AutomationTest.h"

namespace UE::AutomationTest::Private
{
	/** One block: plain Work, or LatentWork that has Timeout to execute its Done delegate. */
	struct FSpecBlock
	{
		TFunction<void()> Work;
		TFunction<void(const FDoneDelegate&)> LatentWork;
		FTimespan Timeout;
		bool bSkipIfErrored = false;
	};

	/** The BeforeEach and AfterEach blocks of one Describe (or of the top level of Define). */
	struct FSpecScope
	{
		TArray<FSpecBlock> BeforeEach;
		TArray<FSpecBlock> AfterEach;
	};

	struct FSpecIt
	{
		/** The Describe path and the It text, joined by spaces. */
		FString Description;
		FSpecBlock Block;
		/** The scopes around the It, outermost first. */
		TArray<TSharedRef<FSpecScope>> Scopes;
	};

	/** One It with all its blocks, in the order they run. */
	struct FSpecPlan
	{
		FString Description;
		TArray<FSpecBlock> Blocks;
	};

	struct FSpecDefinition
	{
		TArray<FSpecIt> Its;
		/** Non-empty only while Define() runs. */
		TArray<TSharedRef<FSpecScope>> ScopeStack;
		TArray<FString> DescriptionStack;
		bool bDefined = false;
	};

	struct FSpecAccess
	{
		/** Runs Define() on first use, then lists one plan per It in declaration order. */
		static TArray<FSpecPlan> GetPlans(FAutomationSpecBase& Spec);
		/** The Automation Spec's RunTest, reached from the runner. */
		static bool RunTest(FAutomationSpecBase& Spec, const FString& Description) { return Spec.RunTest(Description); }
	};

	/** Runs one block, latent or not, turning an escaping exception into an error (the test runner). */
	void RunSpecBlock(FAutomationSpecBase& Spec, const FSpecBlock& Block);

	/** Joins description parts with single spaces, skipping empty parts, as the engine does. */
	FString JoinDescription(const TArray<FString>& Parts);
}
