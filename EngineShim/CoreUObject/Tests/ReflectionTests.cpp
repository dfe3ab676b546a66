// What the reflection system reports about the types of ReflectionTestTypes.h: every name,
// value, flag, metadata entry and offset must match the declarations there.

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

	std::vector<std::string> PropertyNames(const UStruct* Struct, const EFieldIteratorFlags::SuperClassFlags Super)
	{
		std::vector<std::string> Names;
		for (TFieldIterator<FProperty> It(Struct, Super); It; ++It)
		{
			Names.push_back(Narrow(It->GetName()));
		}
		return Names;
	}

	FProperty* Property(const UStruct* Struct, const TCHAR* Name)
	{
		FProperty* Found = Struct->FindPropertyByName(FName(Name));
		EXPECT_NE(Found, nullptr) << Narrow(Name);
		return Found;
	}
}

TEST(ReflectionEnum, ScopedEnumeratorsKeepDeclaredOrderValuesAndQualifiedNames)
{
	const UEnum* Enum = StaticEnum<ETestColour>();
	ASSERT_NE(Enum, nullptr);
	EXPECT_EQ(Narrow(Enum->GetName()), "ETestColour");
	EXPECT_EQ(Narrow(Enum->CppType), "ETestColour");
	EXPECT_EQ(Enum->GetCppForm(), UEnum::ECppForm::EnumClass);
	ASSERT_EQ(Enum->NumEnums(), 4);
	EXPECT_EQ(Narrow(Enum->GetNameByIndex(0).ToString()), "ETestColour::TC_RED");
	EXPECT_EQ(Enum->GetValueByIndex(1), 4);
	EXPECT_EQ(Enum->GetValueByIndex(2), 5);
	EXPECT_EQ(Narrow(Enum->GetNameByValue(static_cast<int64>(ETestColour::TC_GREEN)).ToString()), "ETestColour::TC_GREEN");
	EXPECT_EQ(Narrow(Enum->GetNameStringByValue(static_cast<int64>(ETestColour::TC_BLUE))), "TC_BLUE");
	// The generated _MAX entry follows the enumerators' common prefix, one past the highest value.
	EXPECT_EQ(Narrow(Enum->GetNameByIndex(3).ToString()), "ETestColour::TC_MAX");
	EXPECT_EQ(Enum->GetValueByIndex(3), 6);
	EXPECT_EQ(Enum->StaticClass(), UEnum::StaticClass());
	EXPECT_EQ(StaticEnum<ETestColour>(), Enum);
}

TEST(ReflectionEnum, ValuesWithoutEnumeratorGiveNoneAndEmptyStrings)
{
	const UEnum* Enum = StaticEnum<ETestColour>();
	EXPECT_TRUE(Enum->GetNameByValue(1).IsNone());
	EXPECT_EQ(Narrow(Enum->GetNameByValue(1).ToString()), "None");
	EXPECT_TRUE(Enum->GetNameStringByValue(99).IsEmpty());
	EXPECT_TRUE(Enum->GetDisplayNameTextByValue(99).IsEmpty());
	EXPECT_EQ(Enum->GetIndexByValue(-1), INDEX_NONE);
}

TEST(ReflectionEnum, DisplayNamesAndTooltipsComeFromMetadata)
{
	const UEnum* Enum = StaticEnum<ETestColour>();
	EXPECT_EQ(Narrow(Enum->GetDisplayNameTextByValue(0).ToString()), "Red");
	EXPECT_EQ(Narrow(Enum->GetDisplayNameTextByValue(4).ToString()), "Green");
	// Without a DisplayName the enumerator's own name is shown.
	EXPECT_EQ(Narrow(Enum->GetDisplayNameTextByValue(5).ToString()), "TC_BLUE");
	EXPECT_TRUE(Enum->GetMetaData(TEXT("ToolTip"), 0) == FString(TEXT("第一行\n第二行")));
	EXPECT_EQ(Enum->GetMetaData(TEXT("ToolTip"), 0).Len(), 7);
	EXPECT_FALSE(Enum->HasMetaData(TEXT("ToolTip"), 1));
	EXPECT_TRUE(Enum->GetMetaData(TEXT("ToolTip")) == FString(TEXT("测试枚举")));
	EXPECT_EQ(Narrow(Enum->GetMetaData(TEXT("BlueprintType"))), "true");
	// The comment above the enumeration is no tooltip, and metadata keys ignore case as names do.
	EXPECT_FALSE(Enum->GetMetaData(TEXT("ToolTip")).Contains(TEXT("comment")));
	EXPECT_EQ(Narrow(Enum->GetMetaData(TEXT("displayname"), 1)), "Green");
}

TEST(ReflectionEnum, RegularEnumNamesAreUnqualifiedAndValuesComeFromTheCompiler)
{
	const UEnum* Enum = StaticEnum<ETestPlain>();
	EXPECT_EQ(Enum->GetCppForm(), UEnum::ECppForm::Regular);
	EXPECT_EQ(Narrow(Enum->GetNameByValue(PLAIN_B).ToString()), "PLAIN_B");
	EXPECT_EQ(Enum->GetValueByIndex(1), 4);
	EXPECT_EQ(Narrow(Enum->GetNameByIndex(2).ToString()), "PLAIN_MAX");
	EXPECT_FALSE(Enum->HasMetaData(TEXT("BlueprintType")));
}

TEST(ReflectionStruct, NamesSuperAndSizeComeFromTheDeclaration)
{
	const UScriptStruct* Record = FTestRecord::StaticStruct();
	EXPECT_EQ(Narrow(Record->GetName()), "TestRecord");
	EXPECT_EQ(Narrow(Record->GetStructCPPName()), "FTestRecord");
	EXPECT_EQ(Narrow(Record->GetPathName()), "/Script/ReflectionTests.TestRecord");
	EXPECT_EQ(Record->GetSuperStruct(), FTestBase::StaticStruct());
	EXPECT_TRUE(Record->IsChildOf(FTestBase::StaticStruct()));
	EXPECT_FALSE(FTestBase::StaticStruct()->IsChildOf(Record));
	EXPECT_EQ(FTestBase::StaticStruct()->GetSuperStruct(), nullptr);
	EXPECT_EQ(Record->GetPropertiesSize(), static_cast<int32>(sizeof(FTestRecord)));
	EXPECT_EQ(StaticStruct<FTestRecord>(), Record);
	EXPECT_EQ(Narrow(Record->GetMetaData(TEXT("BlueprintType"))), "true");
	EXPECT_EQ(FindObject<UScriptStruct>(nullptr, TEXT("/Script/ReflectionTests.TestRecord")), Record);
}

TEST(ReflectionStruct, IterationGivesOwnPropertiesInDeclarationOrderThenTheBase)
{
	const std::vector<std::string> Own = {"Flag", "Big", "Precise", "Small", "Label", "Shown", "Colour", "Inner", "Inners",
		"Colours", "Pairs", "Id"};
	EXPECT_EQ(PropertyNames(FTestRecord::StaticStruct(), EFieldIteratorFlags::ExcludeSuper), Own);
	std::vector<std::string> All = Own;
	All.push_back("BaseName");
	All.push_back("BaseScale");
	EXPECT_EQ(PropertyNames(FTestRecord::StaticStruct(), EFieldIteratorFlags::IncludeSuper), All);
	EXPECT_EQ(FTestRecord::StaticStruct()->FindPropertyByName(FName(TEXT("Hidden"))), nullptr);
}

TEST(ReflectionStruct, OffsetsPointAtTheMembersWithTheBaseFirstInMemory)
{
	FTestRecord Record;
	const UScriptStruct* Struct = FTestRecord::StaticStruct();
	EXPECT_EQ(Property(Struct, TEXT("BaseName"))->ContainerPtrToValuePtr<FString>(&Record), &Record.BaseName);
	EXPECT_EQ(Property(Struct, TEXT("BaseScale"))->ContainerPtrToValuePtr<float>(&Record), &Record.BaseScale);
	EXPECT_EQ((Property(Struct, TEXT("Pairs"))->ContainerPtrToValuePtr<TMap<FString, FString>>(&Record)), &Record.Pairs);
	EXPECT_EQ(Property(Struct, TEXT("Id"))->ContainerPtrToValuePtr<FGuid>(&Record), &Record.Id);
	EXPECT_LT(Property(Struct, TEXT("BaseScale"))->GetOffset_ForInternal(), Property(Struct, TEXT("Flag"))->GetOffset_ForInternal());
	Record.Big = 42;
	EXPECT_EQ(*Property(Struct, TEXT("Big"))->ContainerPtrToValuePtr<int64>(&Record), 42);
	EXPECT_EQ(Property(Struct, TEXT("Big"))->GetSize(), 8);
}

TEST(ReflectionStruct, EveryPropertyKindReportsItsCppType)
{
	const UScriptStruct* Struct = FTestRecord::StaticStruct();
	const std::vector<std::pair<const TCHAR*, std::string>> Expected = {{TEXT("Flag"), "bool"}, {TEXT("Big"), "int64"},
		{TEXT("Precise"), "double"}, {TEXT("Small"), "uint8"}, {TEXT("Label"), "FName"}, {TEXT("Shown"), "FText"},
		{TEXT("Colour"), "ETestColour"}, {TEXT("Inner"), "FTestInner"}, {TEXT("Inners"), "TArray<FTestInner>"},
		{TEXT("Colours"), "TArray<ETestColour>"}, {TEXT("Pairs"), "TMap<FString,FString>"}, {TEXT("Id"), "FGuid"},
		{TEXT("BaseName"), "FString"}, {TEXT("BaseScale"), "float"}};
	for (const std::pair<const TCHAR*, std::string>& Entry : Expected)
	{
		FString Extended;
		const FString Type = Property(Struct, Entry.first)->GetCPPType(&Extended);
		EXPECT_EQ(Narrow(Type + Extended), Entry.second);
	}
}

TEST(ReflectionStruct, ContainerAndNestedPropertiesDescribeWhatTheyHold)
{
	const UScriptStruct* Struct = FTestRecord::StaticStruct();
	const FEnumProperty* Colour = CastField<FEnumProperty>(Property(Struct, TEXT("Colour")));
	ASSERT_NE(Colour, nullptr);
	EXPECT_EQ(Colour->GetEnum(), StaticEnum<ETestColour>());
	EXPECT_TRUE(Colour->GetUnderlyingProperty()->IsA<FByteProperty>());
	const FArrayProperty* Inners = CastField<FArrayProperty>(Property(Struct, TEXT("Inners")));
	ASSERT_NE(Inners, nullptr);
	const FStructProperty* Element = CastField<FStructProperty>(Inners->Inner);
	ASSERT_NE(Element, nullptr);
	EXPECT_EQ(Element->Struct, FTestInner::StaticStruct());
	const FMapProperty* Pairs = CastField<FMapProperty>(Property(Struct, TEXT("Pairs")));
	ASSERT_NE(Pairs, nullptr);
	EXPECT_TRUE(Pairs->GetKeyProperty()->IsA<FStrProperty>());
	EXPECT_EQ(Narrow(Pairs->GetKeyProperty()->GetName()), "Pairs_Key");
	EXPECT_EQ(CastField<FStrProperty>(Property(Struct, TEXT("Colour"))), nullptr);
	EXPECT_TRUE(Property(Struct, TEXT("Small"))->IsA<FNumericProperty>());
	EXPECT_EQ(Property(Struct, TEXT("Flag"))->GetOwnerStruct(), Struct);
	EXPECT_EQ(Inners->Inner->GetOwnerStruct(), Struct);
}

TEST(ReflectionStruct, GuidReflectionComesFromCoreUObject)
{
	const FStructProperty* Id = CastField<FStructProperty>(Property(FTestRecord::StaticStruct(), TEXT("Id")));
	ASSERT_NE(Id, nullptr);
	EXPECT_EQ(Narrow(Id->Struct->GetPathName()), "/Script/CoreUObject.Guid");
	EXPECT_EQ(PropertyNames(Id->Struct, EFieldIteratorFlags::IncludeSuper), (std::vector<std::string>{"A", "B", "C", "D"}));
	FGuid Guid(1, 2, 3, 0xdeadbeef);
	EXPECT_EQ(*Property(Id->Struct, TEXT("D"))->ContainerPtrToValuePtr<uint32>(&Guid), 0xdeadbeefu);
}

TEST(ReflectionStruct, SpecifiersBecomeFlagsAndMetadata)
{
	const UScriptStruct* Struct = FTestRecord::StaticStruct();
	const FProperty* Flag = Property(Struct, TEXT("Flag"));
	EXPECT_TRUE(Flag->HasAllPropertyFlags(CPF_Edit | CPF_BlueprintVisible | CPF_NativeAccessSpecifierPublic));
	EXPECT_FALSE(Flag->HasAnyPropertyFlags(CPF_BlueprintReadOnly | CPF_EditConst | CPF_Parm));
	EXPECT_EQ(Narrow(Flag->GetMetaData(TEXT("DisplayName"))), "The Flag");
	EXPECT_EQ(Narrow(Flag->GetMetaData(TEXT("Category"))), "Record|Values");
	EXPECT_TRUE(Property(Struct, TEXT("Big"))->HasAllPropertyFlags(CPF_Edit | CPF_EditConst | CPF_BlueprintVisible | CPF_BlueprintReadOnly));
	EXPECT_FALSE(Property(Struct, TEXT("Precise"))->HasAnyPropertyFlags(CPF_BlueprintVisible));
	EXPECT_TRUE(Property(Struct, TEXT("BaseName"))->GetMetaData(TEXT("ToolTip")) == FString(TEXT("基础")));
	EXPECT_FALSE(Property(Struct, TEXT("Big"))->HasMetaData(TEXT("ToolTip")));
	EXPECT_TRUE(Property(Struct, TEXT("Big"))->GetMetaData(TEXT("ToolTip")).IsEmpty());
}
