// The pin model's rules, each on a declaration whose pins can be worked out by hand from the engine
// functions the model follows.

#include <gtest/gtest.h>

#include "BlueprintPinModel.h"
#include "PinModelTestTypes.h"

namespace
{
	const UFunction& FunctionOf(const UClass* InClass, const TCHAR* InName)
	{
		const UFunction* Function = InClass->FindFunctionByName(InName);
		EXPECT_NE(Function, nullptr) << "no function " << TCHAR_TO_UTF8(InName);
		return *Function;
	}

	/** The pins in creation order, one "in|out name type [flags]" per pin. */
	std::string PinList(const FModelNode& InNode)
	{
		std::string List;
		for (const FModelPin& Pin : InNode.Pins)
		{
			List += Pin.Direction == EModelPinDirection::Input ? "in " : "out ";
			List += TCHAR_TO_UTF8(*Pin.Name);
			List += std::string(" ") + TCHAR_TO_UTF8(*Pin.Type);
			List += Pin.bHidden ? " hidden" : "";
			List += Pin.bByReference ? " ref" : "";
			List += Pin.DefaultValue.IsEmpty() ? "" : std::string(" =") + TCHAR_TO_UTF8(*Pin.DefaultValue);
			List += "; ";
		}
		return List;
	}

	std::string Joined(const TArray<FString>& InItems)
	{
		return TCHAR_TO_UTF8(*FString::Join(InItems, TEXT(", ")));
	}
}

TEST(PinModel, AsyncActionTakesDataPinsFromTheFirstDelegateItMeets)
{
	const FModelNode Node = BlueprintPinModel::BuildAsyncActionNode(FunctionOf(UPinTestMixedAction::StaticClass(), TEXT("StartMixed")));
	// The class's own delegates before the parent's; data from OnPair, the first; the factory's output beside "then".
	EXPECT_EQ(PinList(Node), "in execute exec; out then exec; out AsyncTaskProxy UPinTestMixedAction*; out OutNote FString; "
							 "out OnPair exec; out OnCodeAsText exec; out OnParent exec; out Text FString; out Code int32; "
							 "in Context UObject* hidden; in Count int32; in Lines TArray<FString> ref; ");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.FindPin(TEXT("AsyncTaskProxy"))->DisplayName)), "Task");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.Title)), "Start Mixed");
}

TEST(PinModel, EachDelegateWritesOnlyThePinsItSharesByNameAndType)
{
	const FModelNode Node = BlueprintPinModel::BuildAsyncActionNode(FunctionOf(UPinTestMixedAction::StaticClass(), TEXT("StartMixed")));
	EXPECT_EQ(Joined(Node.FindPin(TEXT("Text"))->FilledBy), "OnPair, OnParent");
	EXPECT_EQ(Joined(Node.FindPin(TEXT("Code"))->FilledBy), "OnPair");
	ASSERT_EQ(Node.Problems.Num(), 3) << Joined(Node.Problems);
	EXPECT_TRUE(Node.Problems[0].Contains(TEXT("OnCodeAsText does not write pin Text"))) << TCHAR_TO_UTF8(*Node.Problems[0]);
	EXPECT_TRUE(Node.Problems[1].Contains(TEXT("OnCodeAsText has Code as FString but the pin is int32")))
		<< TCHAR_TO_UTF8(*Node.Problems[1]);
	EXPECT_TRUE(Node.Problems[2].Contains(TEXT("OnParent does not write pin Code"))) << TCHAR_TO_UTF8(*Node.Problems[2]);
}

TEST(PinModel, FactoriesAreStaticFunctionsReturningAnAsyncActionAndGetNoCallNode)
{
	const UFunction& Factory = FunctionOf(UPinTestMixedAction::StaticClass(), TEXT("StartMixed"));
	EXPECT_TRUE(BlueprintPinModel::IsAsyncActionFactory(*UPinTestMixedAction::StaticClass(), Factory));
	EXPECT_FALSE(BlueprintPinModel::CanUserKismetCallFunction(Factory));
	const UFunction& Twice = FunctionOf(UPinTestLibrary::StaticClass(), TEXT("Twice"));
	EXPECT_FALSE(BlueprintPinModel::IsAsyncActionFactory(*UPinTestLibrary::StaticClass(), Twice));
	EXPECT_FALSE(BlueprintPinModel::CanUserKismetCallFunction(FunctionOf(UPinTestLibrary::StaticClass(), TEXT("NotCallable"))));
}

TEST(PinModel, CallNodeMakesNonConstReferencesOutputsUnlessMarkedRef)
{
	const FModelNode Node = BlueprintPinModel::BuildCallFunctionNode(FunctionOf(UPinTestLibrary::StaticClass(), TEXT("Fill")));
	EXPECT_EQ(PinList(Node), "in execute exec; out then exec; in self UPinTestLibrary*; in InName FString; "
							 "in InOutLines TArray<FString> ref; out OutLines TArray<FString>; in bLoud bool =false; ");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.FindPin(TEXT("bLoud"))->DisplayName)), "Loud");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.FindPin(TEXT("self"))->DisplayName)), "Target");
	EXPECT_TRUE(Node.Problems.IsEmpty());
}

TEST(PinModel, PureStaticFunctionHasNoExecPinsAndAHiddenSelf)
{
	const FModelNode Node = BlueprintPinModel::BuildCallFunctionNode(FunctionOf(UPinTestLibrary::StaticClass(), TEXT("Twice")));
	EXPECT_EQ(PinList(Node), "in self UPinTestLibrary* hidden; in InValue int32; out ReturnValue int32; ");
}

TEST(PinModel, HidePinHidesAndDisplayNameTitles)
{
	const FModelNode Node = BlueprintPinModel::BuildCallFunctionNode(FunctionOf(UPinTestLibrary::StaticClass(), TEXT("Reveal")));
	EXPECT_EQ(
		PinList(Node), "in execute exec; out then exec; in self UPinTestLibrary*; in InSecret FString hidden; out ReturnValue FString; ");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.Title)), "Reveal It");
}

TEST(PinModel, AssignableDelegateBecomesAnEventWithTheSignaturesPins)
{
	const FMulticastDelegateProperty* Delegate =
		CastField<FMulticastDelegateProperty>(UPinTestLibrary::StaticClass()->FindPropertyByName(TEXT("OnPairEvent")));
	ASSERT_NE(Delegate, nullptr);
	const FModelNode Node = BlueprintPinModel::BuildAssignedEventNode(*Delegate);
	EXPECT_EQ(PinList(Node), "out then exec; out Text FString; out Code int32; ");
	EXPECT_EQ(std::string(TCHAR_TO_UTF8(*Node.Title)), "Bind Event to On Pair Event");
}

TEST(PinModel, PackageGivesEachFactoryFunctionAndOtherClassesEvents)
{
	TArray<FString> Sources;
	for (const FModelNode& Node : BlueprintPinModel::BuildNodesForPackage(TEXT("/Script/PinModelTests")))
	{
		Sources.Add(Node.Source);
	}
	// Classes by name; the async action's own delegates are its exec pins, not events of their own.
	EXPECT_EQ(Joined(Sources), "UPinTestLibrary::Fill, UPinTestLibrary::Twice, UPinTestLibrary::Reveal, UPinTestLibrary::OnPairEvent, "
							   "UPinTestMixedAction::StartMixed");
}

TEST(PinModel, NamesReadAsTheEditorWritesThem)
{
	const auto Display = [](const TCHAR* InName, const bool bIsBool)
	{
		return std::string(TCHAR_TO_UTF8(*BlueprintPinModel::NameToDisplayString(InName, bIsBool)));
	};
	EXPECT_EQ(Display(TEXT("InContent"), false), "In Content");
	EXPECT_EQ(Display(TEXT("bIncludeLastSentence"), true), "Include Last Sentence");
	EXPECT_EQ(Display(TEXT("bLoud"), false), "B Loud");
	EXPECT_EQ(Display(TEXT("NimbrelFIMRequest"), false), "Nimbrel FIMRequest");
	EXPECT_EQ(Display(TEXT("Status_code"), false), "Status code");
}
