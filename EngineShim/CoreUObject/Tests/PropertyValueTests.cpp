// Values reached through properties alone, as code that knows no C++ type does (calls by reflection):
// constructing a parameter block, typed and numeric access, and arrays through FScriptArrayHelper.

#include <gtest/gtest.h>

#include "ReflectionTestTypes.h"
#include "UObject/Class.h"
#include "UObject/UnrealType.h"

namespace
{
	FProperty* Member(const TCHAR* Name)
	{
		FProperty* Property = FTestRecord::StaticStruct()->FindPropertyByName(FName(Name));
		EXPECT_NE(Property, nullptr);
		return Property;
	}
}

TEST(PropertyValues, AParameterBlockIsConstructedAndDestroyedThroughItsProperties)
{
	const UFunction* Append = UTestSubsystem::StaticClass()->FindFunctionByName(FName(TEXT("AppendName")));
	ASSERT_NE(Append, nullptr);
	alignas(16) uint8 Parms[1024] = {};
	ASSERT_LE(static_cast<size_t>(Append->ParmsSize), sizeof(Parms));
	for (TFieldIterator<FProperty> It(Append); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		It->InitializeValue_InContainer(Parms);
	}
	// A struct value is built by its C++ constructor, so its initialisers hold.
	const FProperty* Record = Append->FindPropertyByName(FName(TEXT("InRecord")));
	const FTestRecord& Built = *Record->ContainerPtrToValuePtr<FTestRecord>(Parms);
	EXPECT_TRUE(Built.Flag);
	EXPECT_EQ(Built.BaseScale, 1.0f);
	const FProperty* Text = Append->FindPropertyByName(FName(TEXT("InText")));
	FStrProperty::SetPropertyValue(Text->ContainerPtrToValuePtr<void>(Parms), FString(TEXT("a text long enough to allocate")));
	FString Copy;
	Text->CopySingleValue(&Copy, Text->ContainerPtrToValuePtr<void>(Parms));
	EXPECT_TRUE(Copy.Equals(TEXT("a text long enough to allocate"), ESearchCase::CaseSensitive));
	// Under AddressSanitizer a missed destructor shows as a leak.
	for (TFieldIterator<FProperty> It(Append); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		It->DestroyValue_InContainer(Parms);
	}
}

TEST(PropertyValues, NumericPropertiesConvertAsCppDoes)
{
	FTestRecord Record;
	const FNumericProperty* Small = CastField<FNumericProperty>(Member(TEXT("Small")));
	const FNumericProperty* Big = CastField<FNumericProperty>(Member(TEXT("Big")));
	const FNumericProperty* Precise = CastField<FNumericProperty>(Member(TEXT("Precise")));
	ASSERT_TRUE(Small && Big && Precise);
	EXPECT_TRUE(Small->IsInteger() && Big->IsInteger() && Precise->IsFloatingPoint());
	Small->SetIntPropertyValue(Small->ContainerPtrToValuePtr<void>(&Record), int64(258));
	Big->SetIntPropertyValue(Big->ContainerPtrToValuePtr<void>(&Record), int64(-5));
	Precise->SetFloatingPointPropertyValue(Precise->ContainerPtrToValuePtr<void>(&Record), 0.25);
	EXPECT_EQ(Record.Small, 2);
	EXPECT_EQ(Record.Big, -5);
	EXPECT_EQ(Record.Precise, 0.25);
	EXPECT_EQ(Big->GetSignedIntPropertyValue(&Record.Big), -5);
	const FEnumProperty* Colour = CastField<FEnumProperty>(Member(TEXT("Colour")));
	ASSERT_NE(Colour, nullptr);
	Colour->GetUnderlyingProperty()->SetIntPropertyValue(&Record.Colour, int64(5));
	EXPECT_EQ(Record.Colour, ETestColour::TC_BLUE);
	const FBoolProperty* Flag = CastField<FBoolProperty>(Member(TEXT("Flag")));
	ASSERT_NE(Flag, nullptr);
	Flag->SetPropertyValue(&Record.Flag, false);
	EXPECT_FALSE(Flag->GetPropertyValue(&Record.Flag));
}

TEST(PropertyValues, ArraysGrowAndShrinkThroughTheHelper)
{
	FTestRecord Record;
	Record.Inners.AddDefaulted();
	const FArrayProperty* Inners = CastField<FArrayProperty>(Member(TEXT("Inners")));
	ASSERT_NE(Inners, nullptr);
	FScriptArrayHelper Helper(Inners, Inners->ContainerPtrToValuePtr<void>(&Record));
	EXPECT_EQ(Helper.Num(), 1);
	EXPECT_EQ(Helper.AddValues(2), 1);
	const FProperty* Count = CastField<FStructProperty>(Inners->Inner)->Struct->FindPropertyByName(FName(TEXT("Count")));
	FIntProperty::SetPropertyValue(Count->ContainerPtrToValuePtr<void>(Helper.GetRawPtr(2)), 9);
	EXPECT_EQ(Record.Inners.Num(), 3);
	EXPECT_EQ(Record.Inners[2].Count, 9);
	EXPECT_TRUE(Helper.IsValidIndex(2) && !Helper.IsValidIndex(3));
	Helper.EmptyValues();
	EXPECT_EQ(Record.Inners.Num(), 0);
}
