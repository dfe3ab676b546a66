// Garbage collection by reachability: what keeps an object alive, what does not, and what a
// collection does to the objects it frees and to the references to garbage. Then the engine's
// ownership of game instances and their subsystems.

#include <gtest/gtest.h>

#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "Engine/World.h"
#include "GarbageCollectionTestTypes.h"
#include "UObject/UObjectGlobals.h"

namespace
{
	void Collect()
	{
		CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	}

	class GarbageCollection : public ::testing::Test
	{
	protected:
		void TearDown() override
		{
			for (const FWeakObjectPtr& Object : Rooted)
			{
				if (UObject* Live = Object.Get(true))
				{
					Live->RemoveFromRoot();
				}
			}
			Collect();
		}

		template <typename T>
		T* MakeRooted(UObject* Outer = GetTransientPackage())
		{
			T* Object = NewObject<T>(Outer);
			Object->AddToRoot();
			Rooted.Add(FWeakObjectPtr(Object));
			return Object;
		}

		TArray<FWeakObjectPtr> Rooted;
	};
}

TEST_F(GarbageCollection, AnUnreferencedObjectDiesAtTheNextCollectionAndARootedOneLives)
{
	const FWeakObjectPtr Loose(NewObject<UTestListener>());
	UTestListener* Rooted = MakeRooted<UTestListener>();
	const FWeakObjectPtr Kept(Rooted);
	const int32 DestroyedBefore = UTestListener::DestroyedCount;
	EXPECT_TRUE(Loose.IsValid());
	Collect();
	EXPECT_FALSE(Loose.IsValid());
	EXPECT_TRUE(Loose.IsStale());
	EXPECT_EQ(UTestListener::DestroyedCount, DestroyedBefore + 1);
	EXPECT_EQ(Kept.Get(), Rooted);
	Rooted->RemoveFromRoot();
	Collect();
	EXPECT_EQ(Kept.Get(true), nullptr);
	EXPECT_EQ(UTestListener::DestroyedCount, DestroyedBefore + 2);
}

TEST_F(GarbageCollection, ReflectedReferencesInMembersContainersAndStructsKeepObjectsAlive)
{
	UTestHolder* Holder = MakeRooted<UTestHolder>();
	Holder->Single = NewObject<UTestListener>();
	Holder->Many.Add(NewObject<UTestListener>());
	Holder->Many.Add(nullptr);
	Holder->ByName.Add(TEXT("value"), NewObject<UTestListener>());
	Holder->Counts.Add(NewObject<UTestListener>(), 3);
	Holder->Entry.Listener = NewObject<UTestListener>();
	Holder->Entries.AddDefaulted_GetRef().Listener = NewObject<UTestListener>();
	Holder->Reported = NewObject<UTestListener>();
	const TArray<FWeakObjectPtr> Held = {Holder->Single, Holder->Many[0], Holder->ByName[TEXT("value")], Holder->Counts.begin()->Key,
		Holder->Entry.Listener, Holder->Entries[0].Listener, Holder->Reported};
	Collect();
	for (int32 Index = 0; Index < Held.Num(); ++Index)
	{
		EXPECT_TRUE(Held[Index].IsValid()) << "reference " << Index;
	}
	// Dropping the holder frees everything it held.
	Holder->RemoveFromRoot();
	Collect();
	for (int32 Index = 0; Index < Held.Num(); ++Index)
	{
		EXPECT_FALSE(Held[Index].IsValid()) << "reference " << Index;
	}
}

TEST_F(GarbageCollection, PlainPointersAndWeakPointersKeepNothingAlive)
{
	UTestHolder* Holder = MakeRooted<UTestHolder>();
	Holder->Plain = NewObject<UTestListener>();
	Holder->Weak = NewObject<UTestListener>();
	const FWeakObjectPtr Plain(Holder->Plain);
	EXPECT_TRUE(Holder->Weak.IsValid());
	Collect();
	EXPECT_FALSE(Plain.IsValid());
	EXPECT_FALSE(Holder->Weak.IsValid());
	Holder->Plain = nullptr;
}

TEST_F(GarbageCollection, AnObjectKeepsItsOuterButNotItsInners)
{
	UTestListener* Outer = NewObject<UTestListener>();
	UTestListener* Inner = MakeRooted<UTestListener>(Outer);
	const FWeakObjectPtr WeakOuter(Outer);
	const FWeakObjectPtr Sibling(NewObject<UTestListener>(Outer));
	Collect();
	EXPECT_TRUE(WeakOuter.IsValid());
	EXPECT_FALSE(Sibling.IsValid());
	Inner->RemoveFromRoot();
	Collect();
	EXPECT_FALSE(WeakOuter.IsValid());
}

TEST_F(GarbageCollection, AnFGCObjectKeepsWhatItReportsWhileItExists)
{
	FWeakObjectPtr Weak;
	{
		FTestListenerKeeper Keeper;
		Keeper.Kept = NewObject<UTestListener>();
		Weak = Keeper.Kept;
		Collect();
		EXPECT_TRUE(Weak.IsValid());
		EXPECT_NE(Keeper.GetReferencerName(), FString());
	}
	Collect();
	EXPECT_FALSE(Weak.IsValid());
}

TEST_F(GarbageCollection, GarbageGoesAtOnceAndItsReflectedReferencesAreCleared)
{
	UTestHolder* Holder = MakeRooted<UTestHolder>();
	UTestListener* Doomed = NewObject<UTestListener>();
	Holder->Single = Doomed;
	Holder->Many.Add(Doomed);
	Holder->Reported = Doomed;
	const FWeakObjectPtr Weak(Doomed);
	Doomed->MarkAsGarbage();
	EXPECT_FALSE(IsValid(Doomed));
	Collect();
	EXPECT_EQ(Weak.Get(true), nullptr);
	EXPECT_EQ(Holder->Single, nullptr);
	ASSERT_EQ(Holder->Many.Num(), 1);
	EXPECT_EQ(Holder->Many[0], nullptr);
	EXPECT_EQ(Holder->Reported, nullptr);
}

TEST_F(GarbageCollection, FreedObjectsBeginAndFinishDestroyingOnce)
{
	const int32 BegunBefore = UTestListener::DestroyedCount;
	const int32 FinishedBefore = UTestHolder::FinishedCount;
	UTestHolder* Holder = NewObject<UTestHolder>();
	Holder->Single = NewObject<UTestListener>();
	Collect();
	Collect();
	EXPECT_EQ(UTestListener::DestroyedCount, BegunBefore + 1);
	EXPECT_EQ(UTestHolder::FinishedCount, FinishedBefore + 1);
}

TEST_F(GarbageCollection, ClassesAndClassDefaultObjectsSurvive)
{
	UObject* Default = UTestHolder::StaticClass()->GetDefaultObject();
	const FWeakObjectPtr WeakDefault(Default);
	const FWeakObjectPtr WeakClass(UTestHolder::StaticClass());
	const FWeakObjectPtr Transient(GetTransientPackage());
	Collect();
	EXPECT_EQ(WeakDefault.Get(), Default);
	EXPECT_TRUE(WeakClass.IsValid());
	EXPECT_TRUE(Transient.IsValid());
	EXPECT_EQ(UTestHolder::StaticClass()->GetDefaultObject(), Default);
}

TEST(GarbageCollectionDeathTest, MarkingARootedObjectAsGarbageIsFatal)
{
	UTestListener* Rooted = NewObject<UTestListener>();
	Rooted->AddToRoot();
	EXPECT_DEATH(Rooted->MarkAsGarbage(), "IsRooted");
	Rooted->RemoveFromRoot();
}

TEST(EngineOwnership, TheEngineKeepsAGameInstanceAndItsWorldUntilItForgetsItsWorldContext)
{
	ASSERT_NE(GEngine, nullptr);
	UGameInstance* GameInstance = NewObject<UGameInstance>(GEngine);
	GameInstance->InitializeStandalone();
	EXPECT_EQ(GameInstance->GetEngine(), GEngine);
	UWorld* World = GameInstance->GetWorld();
	ASSERT_NE(World, nullptr);
	UTestListener* Registered = NewObject<UTestListener>(GameInstance);
	GameInstance->RegisterReferencedObject(Registered);
	const FWeakObjectPtr WeakGameInstance(GameInstance);
	const FWeakObjectPtr WeakWorld(World);
	const FWeakObjectPtr WeakRegistered(Registered);
	const FWeakObjectPtr WeakSubsystem(GameInstance->GetSubsystem<UTestSubsystem>());
	ASSERT_TRUE(WeakSubsystem.IsValid());
	Collect();
	EXPECT_TRUE(WeakGameInstance.IsValid() && WeakWorld.IsValid() && WeakRegistered.IsValid() && WeakSubsystem.IsValid());
	// Shutdown destroys nothing, and the world context still holds the game instance.
	GameInstance->Shutdown();
	EXPECT_EQ(GameInstance->GetWorld(), nullptr);
	EXPECT_TRUE(WeakSubsystem.IsValid());
	Collect();
	EXPECT_TRUE(WeakGameInstance.IsValid() && WeakRegistered.IsValid());
	EXPECT_FALSE(WeakSubsystem.IsValid());
	GEngine->DestroyWorldContext(World);
	Collect();
	EXPECT_FALSE(WeakGameInstance.IsValid());
	EXPECT_FALSE(WeakWorld.IsValid());
	EXPECT_FALSE(WeakRegistered.IsValid());
}
