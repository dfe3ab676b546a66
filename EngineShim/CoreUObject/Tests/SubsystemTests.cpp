// Game instances create the game-instance subsystems that exist and agree, and let them go on shutdown.

#include <gtest/gtest.h>

#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "ReflectionTestTypes.h"
#include "UObject/UObjectGlobals.h"

namespace
{
	class GameInstanceSubsystems : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			// Init alone makes no world context, so the engine does not hold it: the test roots it.
			GameInstance = NewObject<UGameInstance>(GEngine);
			GameInstance->AddToRoot();
			GameInstance->Init();
		}

		void TearDown() override
		{
			GameInstance->Shutdown();
			GameInstance->RemoveFromRoot();
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		}

		UGameInstance* GameInstance = nullptr;
	};
}

TEST_F(GameInstanceSubsystems, InitCreatesEachAgreeingConcreteSubsystemOnce)
{
	UTestSubsystem* Subsystem = GameInstance->GetSubsystem<UTestSubsystem>();
	ASSERT_NE(Subsystem, nullptr);
	EXPECT_EQ(Subsystem->InitializeCount, 1);
	EXPECT_EQ(Subsystem->GetOuter(), GameInstance);
	EXPECT_EQ(Subsystem->GetGameInstance(), GameInstance);
	EXPECT_FALSE(Subsystem->HasAnyFlags(RF_ClassDefaultObject));
	EXPECT_EQ(GameInstance->GetSubsystem<UTestRefusingSubsystem>(), nullptr);
	EXPECT_EQ(GameInstance->GetSubsystem<UTestAbstractSubsystem>(), nullptr);
	// Asking for a base class finds the subsystem derived from it.
	EXPECT_EQ(GameInstance->GetSubsystem<UGameInstanceSubsystem>(), Subsystem);
	// ShouldCreateSubsystem was asked of the class default object, which is never initialised.
	const UTestSubsystem* Default = UTestSubsystem::StaticClass()->GetDefaultObject<UTestSubsystem>();
	EXPECT_TRUE(Default->HasAnyFlags(RF_ClassDefaultObject));
	EXPECT_EQ(Default->InitializeCount, 0);
	EXPECT_NE(Default, Subsystem);
}

TEST_F(GameInstanceSubsystems, EachGameInstanceHasItsOwnSubsystems)
{
	UGameInstance* Other = NewObject<UGameInstance>(GEngine);
	Other->Init();
	EXPECT_NE(Other->GetSubsystem<UTestSubsystem>(), nullptr);
	EXPECT_NE(Other->GetSubsystem<UTestSubsystem>(), GameInstance->GetSubsystem<UTestSubsystem>());
	// A second Init is refused rather than making a second set.
	UTestSubsystem* Before = Other->GetSubsystem<UTestSubsystem>();
	Other->Init();
	EXPECT_EQ(Other->GetSubsystem<UTestSubsystem>(), Before);
	EXPECT_EQ(Before->InitializeCount, 1);
	Other->Shutdown();
}

TEST_F(GameInstanceSubsystems, TheGameInstanceKeepsItsSubsystemsUntilShutdownForgetsThem)
{
	UTestSubsystem* Subsystem = GameInstance->GetSubsystem<UTestSubsystem>();
	ASSERT_NE(Subsystem, nullptr);
	const FWeakObjectPtr Weak(Subsystem);
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_EQ(Weak.Get(), Subsystem);
	GameInstance->Shutdown();
	EXPECT_EQ(Subsystem->DeinitializeCount, 1);
	EXPECT_EQ(GameInstance->GetSubsystem<UTestSubsystem>(), nullptr);
	// Deinitialising destroys nothing: the subsystem stays valid until a collection finds it unreachable.
	EXPECT_TRUE(IsValid(Subsystem));
	EXPECT_EQ(Weak.Get(), Subsystem);
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_EQ(Weak.Get(true), nullptr);
	EXPECT_TRUE(IsValid(GameInstance));
	// A game instance can start again after a shutdown.
	GameInstance->Init();
	EXPECT_NE(GameInstance->GetSubsystem<UTestSubsystem>(), nullptr);
}
