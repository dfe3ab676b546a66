// Object creation and destruction, weak pointers, and dynamic multicast delegates.

#include <gtest/gtest.h>

#include "ReflectionTestTypes.h"
#include "UObject/UObjectGlobals.h"

namespace
{
	std::vector<std::string> Calls(const UTestListener* Listener)
	{
		std::vector<std::string> Result;
		for (const FString& Call : Listener->Calls)
		{
			Result.push_back(std::string(FTCHARToUTF8(*Call).Get()));
		}
		return Result;
	}

	class ObjectLifetime : public ::testing::Test
	{
	protected:
		void TearDown() override
		{
			// Weak pointers: a test may have destroyed some of its objects already.
			for (const FWeakObjectPtr& Object : Created)
			{
				if (UObject* Live = Object.Get(true))
				{
					Live->RemoveFromRoot();
				}
			}
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		}

		/** A listener the test holds across collections: rooted until the test ends (or it unroots it). */
		UTestListener* MakeListener(UObject* Outer = GetTransientPackage())
		{
			UTestListener* Listener = NewObject<UTestListener>(Outer);
			Listener->AddToRoot();
			Created.Add(FWeakObjectPtr(Listener));
			return Listener;
		}

		TArray<FWeakObjectPtr> Created;
	};
}

TEST_F(ObjectLifetime, NewObjectGivesAnInstanceOfTheClassInsideItsOuter)
{
	UTestListener* First = MakeListener();
	UTestListener* Second = MakeListener(First);
	EXPECT_EQ(First->GetClass(), UTestListener::StaticClass());
	EXPECT_TRUE(First->IsA<UObject>());
	EXPECT_FALSE(First->IsA<USubsystem>());
	EXPECT_EQ(First->GetOuter(), GetTransientPackage());
	EXPECT_EQ(Second->GetOuter(), First);
	EXPECT_EQ(Second->GetPackage(), GetTransientPackage());
	EXPECT_NE(First->GetFName(), Second->GetFName());
	EXPECT_TRUE(First->GetName().StartsWith(TEXT("TestListener_")));
	EXPECT_TRUE(Second->GetPathName() == First->GetPathName() + TEXT(":") + Second->GetName());
	UTestListener* Named = NewObject<UTestListener>(First, FName(TEXT("Named")));
	Created.Add(FWeakObjectPtr(Named));
	EXPECT_EQ(FindObject<UTestListener>(First, TEXT("Named")), Named);
	EXPECT_EQ(FindObject<UTestSubsystem>(First, TEXT("Named")), nullptr);
}

TEST_F(ObjectLifetime, GarbageIsInvalidAtOnceAndDestroyedByTheNextCollection)
{
	UTestListener* Listener = MakeListener();
	const FWeakObjectPtr Weak(Listener);
	const int32 DestroyedBefore = UTestListener::DestroyedCount;
	EXPECT_EQ(Weak.Get(), Listener);
	Listener->RemoveFromRoot();
	Listener->MarkAsGarbage();
	EXPECT_FALSE(IsValid(Listener));
	EXPECT_EQ(Weak.Get(), nullptr);
	EXPECT_EQ(Weak.Get(true), Listener);
	EXPECT_TRUE(Weak.IsStale());
	EXPECT_FALSE(Weak.IsStale(false));
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_EQ(UTestListener::DestroyedCount, DestroyedBefore + 1);
	EXPECT_EQ(Weak.Get(true), nullptr);
	// A new object may take the freed slot; the old weak pointer must not see it.
	UTestListener* Successor = MakeListener();
	EXPECT_EQ(Weak.Get(true), nullptr);
	EXPECT_EQ(FWeakObjectPtr(Successor).Get(), Successor);
}

TEST_F(ObjectLifetime, ClearedGarbageIsValidAgainAndUnreachableInnerObjectsDieWithTheirOuter)
{
	UTestListener* Kept = MakeListener();
	Kept->RemoveFromRoot();
	Kept->MarkAsGarbage();
	Kept->ClearGarbage();
	Kept->AddToRoot();
	UTestListener* Outer = MakeListener();
	UTestListener* InnerObject = NewObject<UTestListener>(Outer);
	const FWeakObjectPtr Inner(InnerObject);
	Outer->RemoveFromRoot();
	Outer->MarkAsGarbage();
	EXPECT_EQ(Inner.Get(), Inner.Get(true));
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_TRUE(IsValid(Kept));
	EXPECT_EQ(Inner.Get(true), nullptr);
}

TEST_F(ObjectLifetime, BroadcastCallsEveryBindingInOrderWithAllArguments)
{
	UTestSubsystem* Source = UTestSubsystem::StaticClass()->GetDefaultObject<UTestSubsystem>();
	FTestTwoParamsDelegate Two;
	UTestListener* First = MakeListener();
	UTestListener* Second = MakeListener();
	EXPECT_FALSE(Two.IsBound());
	Two.AddDynamic(First, &UTestListener::HandleTwo);
	Two.AddDynamic(Second, &UTestListener::HandleTwo);
	EXPECT_TRUE(Two.IsBound());
	EXPECT_TRUE(Two.IsAlreadyBound(First, &UTestListener::HandleTwo));
	Two.Broadcast(5, TEXT("文本"));
	EXPECT_EQ(Calls(First), (std::vector<std::string>{"Two 5 文本"}));
	EXPECT_EQ(Calls(Second), (std::vector<std::string>{"Two 5 文本"}));

	FTestSixParamsDelegate Six;
	Six.AddDynamic(First, &UTestListener::HandleSix);
	FTestRecord Record;
	Record.BaseName = TEXT("rec");
	Six.Broadcast(ETestColour::TC_GREEN, {TEXT("a"), TEXT("b")}, Record, true, 1.5f, -3);
	EXPECT_EQ(Calls(First).back(), "Six 4 a+b rec 1 1.5 -3");

	Source->OnNothing.AddDynamic(Second, &UTestListener::HandleNothing);
	Source->OnNothing.Broadcast();
	Source->OnNothing.Clear();
	Source->OnNothing.Broadcast();
	EXPECT_EQ(Calls(Second).back(), "Nothing");
	EXPECT_EQ(Second->Calls.Num(), 2);
}

TEST_F(ObjectLifetime, RemoveClearAndUniqueBindingsChangeWhoIsCalled)
{
	FTestTwoParamsDelegate Two;
	UTestListener* First = MakeListener();
	UTestListener* Second = MakeListener();
	Two.AddDynamic(First, &UTestListener::HandleTwo);
	Two.AddUniqueDynamic(First, &UTestListener::HandleTwo);
	Two.AddDynamic(Second, &UTestListener::HandleTwo);
	Two.RemoveDynamic(First, &UTestListener::HandleTwo);
	EXPECT_FALSE(Two.IsAlreadyBound(First, &UTestListener::HandleTwo));
	Two.Broadcast(1, TEXT("x"));
	EXPECT_TRUE(First->Calls.IsEmpty());
	EXPECT_EQ(Second->Calls.Num(), 1);
	Two.Clear();
	EXPECT_FALSE(Two.IsBound());
	Two.Broadcast(2, TEXT("y"));
	EXPECT_EQ(Second->Calls.Num(), 1);
}

TEST_F(ObjectLifetime, BindingsOfDeadObjectsAreSkipped)
{
	FTestTwoParamsDelegate Two;
	UTestListener* Doomed = MakeListener();
	UTestListener* Survivor = MakeListener();
	Two.AddDynamic(Doomed, &UTestListener::HandleTwo);
	Two.AddDynamic(Survivor, &UTestListener::HandleTwo);
	Doomed->RemoveFromRoot();
	Doomed->MarkAsGarbage();
	Two.Broadcast(1, TEXT("marked"));
	EXPECT_TRUE(Doomed->Calls.IsEmpty());
	// The engine's rule: a list that still holds a binding counts as bound.
	EXPECT_TRUE(Two.IsBound());
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	Two.Broadcast(2, TEXT("collected"));
	EXPECT_EQ(Calls(Survivor), (std::vector<std::string>{"Two 1 marked", "Two 2 collected"}));
	Survivor->RemoveFromRoot();
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	Two.Broadcast(3, TEXT("none left"));
	EXPECT_FALSE(Two.IsBound());
}

TEST_F(ObjectLifetime, ABindingThatRemovesItselfDuringBroadcastStillLetsTheRestRun)
{
	FTestTwoParamsDelegate Two;
	UTestListener* Leaving = MakeListener();
	UTestListener* Staying = MakeListener();
	Leaving->UnbindFrom = &Two;
	Two.AddDynamic(Leaving, &UTestListener::HandleTwo);
	Two.AddDynamic(Staying, &UTestListener::HandleTwo);
	Two.Broadcast(1, TEXT("a"));
	Two.Broadcast(2, TEXT("b"));
	EXPECT_EQ(Calls(Leaving), (std::vector<std::string>{"Two 1 a"}));
	EXPECT_EQ(Calls(Staying), (std::vector<std::string>{"Two 1 a", "Two 2 b"}));
}
