// Classes, their functions and dynamic delegate properties, package contents, and calls made
// by name through the generated thunks.

#include <gtest/gtest.h>

#include "ReflectionTestTypes.h"
#include "UObject/Class.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UObjectHash.h"
#include "UObject/UnrealType.h"

namespace
{
	std::string Narrow(const FString& Text)
	{
		return std::string(FTCHARToUTF8(*Text).Get());
	}

	std::vector<std::pair<std::string, uint64>> Parameters(const UFunction* Function)
	{
		std::vector<std::pair<std::string, uint64>> Result;
		for (TFieldIterator<FProperty> It(Function); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
		{
			const uint64 Kind = It->PropertyFlags & (CPF_Parm | CPF_OutParm | CPF_ReferenceParm | CPF_ConstParm | CPF_ReturnParm);
			Result.emplace_back(Narrow(It->GetName()), Kind);
		}
		return Result;
	}

	UFunction* Function(const TCHAR* Name)
	{
		UFunction* Found = UTestSubsystem::StaticClass()->FindFunctionByName(FName(Name));
		EXPECT_NE(Found, nullptr) << Narrow(Name);
		return Found;
	}
}

TEST(ReflectionClass, ClassNamesHierarchyAndFlags)
{
	const UClass* Class = UTestSubsystem::StaticClass();
	EXPECT_EQ(Narrow(Class->GetName()), "TestSubsystem");
	EXPECT_EQ(Narrow(Class->GetPathName()), "/Script/ReflectionTests.TestSubsystem");
	EXPECT_EQ(Class->GetSuperClass(), UGameInstanceSubsystem::StaticClass());
	EXPECT_EQ(Narrow(Class->GetSuperClass()->GetPathName()), "/Script/Engine.GameInstanceSubsystem");
	EXPECT_TRUE(Class->IsChildOf(USubsystem::StaticClass()));
	EXPECT_TRUE(Class->IsChildOf<UObject>());
	EXPECT_FALSE(Class->HasAnyClassFlags(CLASS_Abstract));
	EXPECT_TRUE(Class->HasAllClassFlags(CLASS_Native | CLASS_Constructed));
	EXPECT_TRUE(UTestAbstractSubsystem::StaticClass()->HasAnyClassFlags(CLASS_Abstract));
	EXPECT_TRUE(UGameInstanceSubsystem::StaticClass()->HasAnyClassFlags(CLASS_Abstract));
	EXPECT_EQ(StaticClass<UTestSubsystem>(), Class);
	EXPECT_EQ(Class->GetClass(), UClass::StaticClass());
	EXPECT_EQ(UClass::StaticClass()->GetClass(), UClass::StaticClass());
	EXPECT_EQ(Narrow(Class->GetMetaData(TEXT("BlueprintType"))), "true");
	EXPECT_EQ(UObject::StaticClass()->GetSuperClass(), nullptr);
	EXPECT_EQ(Narrow(UObject::StaticClass()->GetPathName()), "/Script/CoreUObject.Object");
}

TEST(ReflectionClass, FunctionsCarryTheirSpecifiersAsFlags)
{
	const UFunction* Append = Function(TEXT("AppendName"));
	EXPECT_TRUE(Append->HasAllFunctionFlags(FUNC_Native | FUNC_Public | FUNC_BlueprintCallable | FUNC_HasOutParms | FUNC_Final));
	EXPECT_FALSE(Append->HasAnyFunctionFlags(FUNC_BlueprintPure | FUNC_Const | FUNC_Static | FUNC_HasDefaults));
	EXPECT_TRUE(Function(TEXT("IsReady"))->HasAllFunctionFlags(FUNC_BlueprintPure | FUNC_BlueprintCallable | FUNC_Const));
	EXPECT_TRUE(Function(TEXT("MakeId"))->HasAnyFunctionFlags(FUNC_Static));
	EXPECT_TRUE(Function(TEXT("SplitWords"))->HasAllFunctionFlags(FUNC_HasDefaults | FUNC_HasOutParms));
	const UFunction* Helper = Function(TEXT("ProtectedHelper"));
	EXPECT_TRUE(Helper->HasAnyFunctionFlags(FUNC_Protected));
	EXPECT_FALSE(Helper->HasAnyFunctionFlags(FUNC_Public | FUNC_BlueprintCallable));
	EXPECT_EQ(Append->GetOuter(), UTestSubsystem::StaticClass());
	EXPECT_EQ(Append->GetOwnerClass(), UTestSubsystem::StaticClass());
	// Functions without markup are not reflected; names ignore case, as FName does.
	EXPECT_EQ(UTestSubsystem::StaticClass()->FindFunctionByName(FName(TEXT("ShouldCreateSubsystem"))), nullptr);
	EXPECT_EQ(UTestSubsystem::StaticClass()->FindFunctionByName(FName(TEXT("appendname"))), Append);
	EXPECT_EQ(UTestSubsystem::StaticClass()->FindFunctionByName(FName(TEXT("AppendName")), EIncludeSuperFlag::ExcludeSuper), Append);
}

TEST(ReflectionClass, ParametersFollowTheEngineRulesForReferences)
{
	const std::vector<std::pair<std::string, uint64>> Expected = {
		{"InText", CPF_Parm},
		{"InRecord", CPF_Parm | CPF_OutParm | CPF_ReferenceParm},
		{"InPairs", CPF_Parm | CPF_OutParm | CPF_ReferenceParm | CPF_ConstParm},
		{"ReturnValue", CPF_Parm | CPF_OutParm | CPF_ReturnParm}};
	const UFunction* Append = Function(TEXT("AppendName"));
	EXPECT_EQ(Parameters(Append), Expected);
	EXPECT_EQ(Append->NumParms, 4);
	ASSERT_NE(Append->GetReturnProperty(), nullptr);
	EXPECT_TRUE(Append->GetReturnProperty()->IsA<FIntProperty>());
	EXPECT_EQ(Append->ReturnValueOffset, Append->GetReturnProperty()->GetOffset_ForUFunction());
	const std::vector<std::pair<std::string, uint64>> Split = Parameters(Function(TEXT("SplitWords")));
	ASSERT_EQ(Split.size(), 7u);
	EXPECT_EQ(Split[1], (std::pair<std::string, uint64>("OutWords", CPF_Parm | CPF_OutParm)));
	EXPECT_EQ(Function(TEXT("ProtectedHelper"))->NumParms, 0);
	EXPECT_EQ(Function(TEXT("ProtectedHelper"))->GetReturnProperty(), nullptr);
}

TEST(ReflectionClass, FunctionMetadataHoldsCategoryTooltipAndDefaults)
{
	const UFunction* Append = Function(TEXT("AppendName"));
	EXPECT_EQ(Narrow(Append->GetMetaData(TEXT("Category"))), "Test|Calls");
	EXPECT_TRUE(Append->GetMetaData(TEXT("ToolTip")) == FString(TEXT("追加")));
	const UFunction* Split = Function(TEXT("SplitWords"));
	EXPECT_EQ(Narrow(Split->GetMetaData(TEXT("CPP_Default_bKeepEmpty"))), "false");
	EXPECT_EQ(Narrow(Split->GetMetaData(TEXT("CPP_Default_InScale"))), "0.500000");
	EXPECT_EQ(Narrow(Split->GetMetaData(TEXT("CPP_Default_InLimit"))), "8");
	EXPECT_EQ(Narrow(Split->GetMetaData(TEXT("CPP_Default_InSeparator"))), " ");
	EXPECT_EQ(Narrow(Split->GetMetaData(TEXT("CPP_Default_InColour"))), "TC_BLUE");
	EXPECT_FALSE(Split->HasMetaData(TEXT("CPP_Default_InText")));
	EXPECT_FALSE(Function(TEXT("ProtectedHelper"))->HasMetaData(TEXT("Category")));
}

TEST(ReflectionClass, DelegatePropertiesPointAtTheirSignatures)
{
	const UClass* Class = UTestSubsystem::StaticClass();
	const FMulticastInlineDelegateProperty* OnTwo = CastField<FMulticastInlineDelegateProperty>(Class->FindPropertyByName(FName(TEXT("OnTwo"))));
	ASSERT_NE(OnTwo, nullptr);
	EXPECT_TRUE(OnTwo->HasAllPropertyFlags(CPF_BlueprintAssignable | CPF_NativeAccessSpecifierPublic));
	EXPECT_TRUE(OnTwo->GetMetaData(TEXT("ToolTip")) == FString(TEXT("两个参数")));
	EXPECT_EQ(Narrow(OnTwo->GetCPPType()), "FTestTwoParamsDelegate");
	const UFunction* Signature = OnTwo->SignatureFunction;
	ASSERT_NE(Signature, nullptr);
	EXPECT_TRUE(Signature->IsA<UDelegateFunction>());
	EXPECT_EQ(Narrow(Signature->GetPathName()), "/Script/ReflectionTests.TestTwoParamsDelegate__DelegateSignature");
	EXPECT_TRUE(Signature->HasAllFunctionFlags(FUNC_Delegate | FUNC_MulticastDelegate | FUNC_Public));
	EXPECT_EQ(Parameters(Signature), (std::vector<std::pair<std::string, uint64>>{{"InNumber", CPF_Parm}, {"InText", CPF_Parm}}));
	const FMulticastDelegateProperty* OnSix = CastField<FMulticastDelegateProperty>(Class->FindPropertyByName(FName(TEXT("OnSix"))));
	ASSERT_NE(OnSix, nullptr);
	const std::vector<std::pair<std::string, uint64>> Six = Parameters(OnSix->SignatureFunction);
	ASSERT_EQ(Six.size(), 6u);
	EXPECT_EQ(Six[1], (std::pair<std::string, uint64>("InLines", CPF_Parm | CPF_OutParm | CPF_ReferenceParm | CPF_ConstParm)));
	EXPECT_EQ(Six[5].first, "InCount");
	const FMulticastDelegateProperty* OnNothing = CastField<FMulticastDelegateProperty>(Class->FindPropertyByName(FName(TEXT("OnNothing"))));
	ASSERT_NE(OnNothing, nullptr);
	EXPECT_EQ(OnNothing->SignatureFunction->NumParms, 0);
}

TEST(ReflectionPackage, PackageListsEveryDeclaredTypeAndNothingElse)
{
	UPackage* Package = FindPackage(nullptr, TEXT("/Script/ReflectionTests"));
	ASSERT_NE(Package, nullptr);
	EXPECT_EQ(StaticEnum<ETestColour>()->GetPackage(), Package);
	// Class default objects live in the package too, as in the engine; the listing leaves them out.
	const UObject* Default = UTestSubsystem::StaticClass()->GetDefaultObject();
	EXPECT_EQ(Default->GetPackage(), Package);
	std::map<std::string, std::vector<std::string>> ByKind;
	ForEachObjectWithPackage(Package, [&ByKind](UObject* Object)
	{
		ByKind[Narrow(Object->GetClass()->GetName())].push_back(Narrow(Object->GetName()));
		return true;
	}, false, RF_ClassDefaultObject);
	const std::map<std::string, std::vector<std::string>> Expected = {
		{"Enum", {"ETestColour", "ETestPlain"}},
		{"ScriptStruct", {"TestBase", "TestHeldEntry", "TestInner", "TestRecord"}},
		{"Class", {"TestAbstractSubsystem", "TestHolder", "TestListener", "TestRefusingSubsystem", "TestSubsystem"}},
		{"DelegateFunction", {"TestNoParamsDelegate__DelegateSignature", "TestSixParamsDelegate__DelegateSignature",
			"TestTwoParamsDelegate__DelegateSignature"}}};
	for (std::pair<const std::string, std::vector<std::string>>& Entry : ByKind)
	{
		std::sort(Entry.second.begin(), Entry.second.end());
	}
	EXPECT_EQ(ByKind, Expected);
	int32 Visited = 0;
	ForEachObjectWithPackage(Package, [&Visited](UObject*)
	{
		++Visited;
		return false;
	});
	EXPECT_EQ(Visited, 1);
}

TEST(ReflectionCalls, ProcessEventRunsTheFunctionAndFillsOutputsAndResult)
{
	UTestSubsystem* Default = UTestSubsystem::StaticClass()->GetDefaultObject<UTestSubsystem>();
	UFunction* Append = Function(TEXT("AppendName"));
	struct
	{
		FString InText;
		FTestRecord InRecord;
		TMap<FString, FString> InPairs;
		int32 ReturnValue = -1;
	} Parms;
	ASSERT_EQ(sizeof(Parms), static_cast<size_t>(Append->ParmsSize));
	Parms.InText = TEXT("-suffix");
	Parms.InRecord.BaseName = TEXT("name");
	Parms.InPairs.Add(TEXT("Key"), TEXT("Value"));
	Default->ProcessEvent(Append, &Parms);
	EXPECT_EQ(Narrow(Parms.InRecord.BaseName), "name-suffix");
	EXPECT_EQ(Parms.ReturnValue, 11);
	EXPECT_EQ(Narrow(Parms.InRecord.Pairs.FindRef(TEXT("key"))), "Value");

	struct
	{
		int32 InSeed = 7;
		FGuid ReturnValue;
	} IdParms;
	Default->ProcessEvent(Function(TEXT("MakeId")), &IdParms);
	EXPECT_EQ(IdParms.ReturnValue, FGuid(7, 2, 3, 4));

	struct
	{
		bool ReturnValue = false;
	} ReadyParms;
	Default->ProcessEvent(Function(TEXT("IsReady")), &ReadyParms);
	EXPECT_TRUE(ReadyParms.ReturnValue);
}

TEST(ReflectionClass, FunctionIterationFollowsDeclarationOrder)
{
	std::vector<std::string> Names;
	for (TFieldIterator<UFunction> It(UTestSubsystem::StaticClass(), EFieldIteratorFlags::ExcludeSuper); It; ++It)
	{
		Names.push_back(Narrow(It->GetName()));
	}
	EXPECT_EQ(Names, (std::vector<std::string>{"AppendName", "SplitWords", "IsReady", "MakeId", "ProtectedHelper"}));
	// The engine classes above it declare no reflected functions.
	int32 WithSuper = 0;
	for (TFieldIterator<UFunction> It(UTestSubsystem::StaticClass()); It; ++It)
	{
		++WithSuper;
	}
	EXPECT_EQ(WithSuper, 5);
}

TEST(ReflectionClassDeathTest, MakingAnInstanceOfAnAbstractClassStopsAsInTheEngine)
{
	EXPECT_DEATH(NewObject<UTestAbstractSubsystem>(), "TestAbstractSubsystem.*abstract class is not allowed");
}
