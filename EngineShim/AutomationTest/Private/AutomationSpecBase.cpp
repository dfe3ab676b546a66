#include "Misc/AutomationSpecBase.h"

#include "AutomationSpecDefinition.h"
#include "UObject/UObjectGlobals.h"

namespace UE::AutomationTest::Private
{
	namespace
	{
		FSpecBlock MakeBlock(TFunction<void()> Work, const bool bSkipIfErrored)
		{
			FSpecBlock Block;
			Block.Work = MoveTemp(Work);
			Block.bSkipIfErrored = bSkipIfErrored;
			return Block;
		}

		FSpecBlock MakeLatentBlock(TFunction<void(const FDoneDelegate&)> Work, const FTimespan& Timeout, const bool bSkipIfErrored)
		{
			FSpecBlock Block;
			Block.LatentWork = MoveTemp(Work);
			Block.Timeout = Timeout;
			Block.bSkipIfErrored = bSkipIfErrored;
			return Block;
		}
	}

	FString JoinDescription(const TArray<FString>& Parts)
	{
		FString Joined;
		for (const FString& Part : Parts)
		{
			if (Part.IsEmpty())
			{
				continue;
			}
			// No second space when either side already has one, as the engine joins them.
			if (!Joined.IsEmpty() && !FChar::IsWhitespace(Joined[Joined.Len() - 1]) && !FChar::IsWhitespace(Part[0]))
			{
				Joined.AppendChar(TEXT(' '));
			}
			Joined.Append(Part);
		}
		return Joined;
	}

	TArray<FSpecPlan> FSpecAccess::GetPlans(FAutomationSpecBase& Spec)
	{
		FSpecDefinition& Definition = *Spec.Definition;
		if (!Definition.bDefined)
		{
			Definition.bDefined = true;
			Definition.ScopeStack.Add(MakeShared<FSpecScope>());
			Spec.Define();
			Definition.ScopeStack.Empty();
			Definition.DescriptionStack.Empty();
		}

		TArray<FSpecPlan> Plans;
		for (const FSpecIt& It : Definition.Its)
		{
			FSpecPlan& Plan = Plans.AddDefaulted_GetRef();
			Plan.Description = It.Description;
			for (const TSharedRef<FSpecScope>& Scope : It.Scopes)
			{
				Plan.Blocks.Append(Scope->BeforeEach);
			}
			Plan.Blocks.Add(It.Block);
			for (int32 ScopeIndex = It.Scopes.Num() - 1; ScopeIndex >= 0; --ScopeIndex)
			{
				const TArray<FSpecBlock>& AfterEach = It.Scopes[ScopeIndex]->AfterEach;
				for (int32 BlockIndex = AfterEach.Num() - 1; BlockIndex >= 0; --BlockIndex)
				{
					Plan.Blocks.Add(AfterEach[BlockIndex]);
				}
			}
		}
		return Plans;
	}
}

using namespace UE::AutomationTest::Private;

FAutomationSpecBase::FAutomationSpecBase(const FString& InName, const bool bInComplexTask)
	: FAutomationTestBase(InName, bInComplexTask)
	, DefaultTimeout(FTimespan::FromSeconds(30.0))
	, bEnableSkipIfError(true)
	, Definition(std::make_unique<FSpecDefinition>())
{
}

FAutomationSpecBase::~FAutomationSpecBase() = default;

bool FAutomationSpecBase::RunTest(const FString& InParameters)
{
	for (const FSpecPlan& Plan : FSpecAccess::GetPlans(*this))
	{
		if (!Plan.Description.Equals(InParameters, ESearchCase::CaseSensitive))
		{
			continue;
		}
		for (const FSpecBlock& Block : Plan.Blocks)
		{
			if (!(Block.bSkipIfErrored && HasAnyErrors()))
			{
				RunSpecBlock(*this, Block);
				// Each block is a latent command of its own frame in the engine, which may collect
				// garbage between frames: the stand-in always does, so nothing unrooted survives a step.
				CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
			}
		}
		return true;
	}
	AddError(FString::Printf(TEXT("No It is named \"%s\"."), *InParameters));
	return false;
}

void FAutomationSpecBase::Describe(const FString& InDescription, TFunction<void()> DoWork)
{
	if (Definition->ScopeStack.IsEmpty())
	{
		AddError(FString::Printf(TEXT("Describe(\"%s\") was called outside Define()."), *InDescription));
		return;
	}
	Definition->ScopeStack.Add(MakeShared<FSpecScope>());
	Definition->DescriptionStack.Add(InDescription);
	DoWork();
	Definition->DescriptionStack.Pop();
	Definition->ScopeStack.Pop();
}

void FAutomationSpecBase::It(const FString& InDescription, TFunction<void()> DoWork)
{
	AddIt(InDescription, MakeBlock(MoveTemp(DoWork), bEnableSkipIfError));
}

void FAutomationSpecBase::LatentIt(const FString& InDescription, TFunction<void(const FDoneDelegate&)> DoWork)
{
	LatentIt(InDescription, DefaultTimeout, MoveTemp(DoWork));
}

void FAutomationSpecBase::LatentIt(const FString& InDescription, const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork)
{
	AddIt(InDescription, MakeLatentBlock(MoveTemp(DoWork), Timeout, bEnableSkipIfError));
}

void FAutomationSpecBase::BeforeEach(TFunction<void()> DoWork)
{
	AddScopeBlock(true, MakeBlock(MoveTemp(DoWork), bEnableSkipIfError));
}

void FAutomationSpecBase::LatentBeforeEach(TFunction<void(const FDoneDelegate&)> DoWork)
{
	LatentBeforeEach(DefaultTimeout, MoveTemp(DoWork));
}

void FAutomationSpecBase::LatentBeforeEach(const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork)
{
	AddScopeBlock(true, MakeLatentBlock(MoveTemp(DoWork), Timeout, bEnableSkipIfError));
}

void FAutomationSpecBase::AfterEach(TFunction<void()> DoWork)
{
	AddScopeBlock(false, MakeBlock(MoveTemp(DoWork), false));
}

void FAutomationSpecBase::LatentAfterEach(TFunction<void(const FDoneDelegate&)> DoWork)
{
	LatentAfterEach(DefaultTimeout, MoveTemp(DoWork));
}

void FAutomationSpecBase::LatentAfterEach(const FTimespan& Timeout, TFunction<void(const FDoneDelegate&)> DoWork)
{
	AddScopeBlock(false, MakeLatentBlock(MoveTemp(DoWork), Timeout, false));
}

void FAutomationSpecBase::AddIt(const FString& InDescription, FSpecBlock&& Block)
{
	if (Definition->ScopeStack.IsEmpty())
	{
		AddError(FString::Printf(TEXT("It(\"%s\") was called outside Define()."), *InDescription));
		return;
	}
	TArray<FString> Parts = Definition->DescriptionStack;
	Parts.Add(InDescription);
	FSpecIt& Entry = Definition->Its.AddDefaulted_GetRef();
	Entry.Description = JoinDescription(Parts);
	Entry.Block = MoveTemp(Block);
	Entry.Scopes = Definition->ScopeStack;
}

void FAutomationSpecBase::AddScopeBlock(const bool bBefore, FSpecBlock&& Block)
{
	if (Definition->ScopeStack.IsEmpty())
	{
		AddError(TEXT("BeforeEach or AfterEach was called outside Define()."));
		return;
	}
	FSpecScope& Scope = *Definition->ScopeStack.Last();
	(bBefore ? Scope.BeforeEach : Scope.AfterEach).Add(MoveTemp(Block));
}
