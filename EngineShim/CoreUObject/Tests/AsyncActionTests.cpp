// The async action base of Blueprint nodes: world-context lookup through outers, registration with the
// game instance, and the flags the engine sets and clears.

#include <gtest/gtest.h>

#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "Engine/World.h"
#include "Kismet/BlueprintAsyncActionBase.h"
#include "Misc/OutputDeviceRedirector.h"
#include "ReflectionTestTypes.h"
#include "UObject/UObjectGlobals.h"

namespace
{
	/** Exposes what the engine keeps protected, to look at it. */
	class UTestGameInstanceView : public UGameInstance
	{
	public:
		static int32 CountReferences(const UGameInstance& InGameInstance, const UObject* InObject)
		{
			// A pointer to the protected member, taken where it is accessible, reads it on any game instance.
			const TArray<UObject*>& References = InGameInstance.*(&UTestGameInstanceView::ReferencedObjects);
			int32 Count = 0;
			for (const UObject* Reference : References)
			{
				Count += Reference == InObject ? 1 : 0;
			}
			return Count;
		}
	};

	class FWarningCapture : public FOutputDevice
	{
	public:
		bool CanBeUsedOnMultipleThreads() const override { return true; }
		void Serialize(const TCHAR* V, ELogVerbosity::Type, const FName& Category) override
		{
			Lines.Add(Category.ToString() + TEXT(": ") + V);
		}
		TArray<FString> Lines;
	};

	class AsyncActions : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			GameInstance = NewObject<UGameInstance>(GEngine);
			GameInstance->InitializeStandalone();
			World = GameInstance->GetWorld();
			GLog->AddOutputDevice(&Warnings);
		}

		void TearDown() override
		{
			GLog->RemoveOutputDevice(&Warnings);
			GameInstance->Shutdown();
			GEngine->DestroyWorldContext(World);
			CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
		}

		UGameInstance* GameInstance = nullptr;
		UWorld* World = nullptr;
		FWarningCapture Warnings;
	};
}

TEST_F(AsyncActions, AnObjectFindsTheWorldOfItsOutersUntilTheGameInstanceShutsDown)
{
	const UObject* Inner = NewObject<UTestListener>(NewObject<UTestListener>(GameInstance));
	ASSERT_NE(GameInstance->GetWorld(), nullptr);
	EXPECT_EQ(Inner->GetWorld(), GameInstance->GetWorld());
	EXPECT_EQ(GameInstance->GetWorld()->GetWorld(), GameInstance->GetWorld());
	EXPECT_EQ(GameInstance->GetWorld()->GetGameInstance(), GameInstance);
	EXPECT_EQ(NewObject<UTestListener>()->GetWorld(), nullptr);
	GameInstance->Shutdown();
	EXPECT_EQ(Inner->GetWorld(), nullptr);
	UGameInstance* WithoutWorld = NewObject<UGameInstance>(GEngine);
	WithoutWorld->Init();
	EXPECT_EQ(WithoutWorld->GetWorld(), nullptr);
	WithoutWorld->Shutdown();
}

TEST_F(AsyncActions, RegisteringKeepsTheActionWithTheGameInstanceUntilItIsReadyToDestroy)
{
	UBlueprintAsyncActionBase* Action = NewObject<UBlueprintAsyncActionBase>();
	EXPECT_TRUE(Action->HasAnyFlags(RF_StrongRefOnFrame));
	Action->RegisterWithGameInstance(NewObject<UTestListener>(GameInstance));
	Action->RegisterWithGameInstance(static_cast<const UObject*>(GameInstance));
	EXPECT_EQ(UTestGameInstanceView::CountReferences(*GameInstance, Action), 1);
	Action->SetReadyToDestroy();
	EXPECT_EQ(UTestGameInstanceView::CountReferences(*GameInstance, Action), 0);
	EXPECT_FALSE(Action->HasAnyFlags(RF_StrongRefOnFrame));
	EXPECT_TRUE(Warnings.Lines.IsEmpty());
}

TEST_F(AsyncActions, ARegisteredActionLivesWithTheGameInstanceAndGoesWhenReadyToDestroy)
{
	UBlueprintAsyncActionBase* Action = NewObject<UBlueprintAsyncActionBase>();
	const FWeakObjectPtr Weak(Action);
	Action->RegisterWithGameInstance(static_cast<const UObject*>(GameInstance));
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_EQ(Weak.Get(), Action);
	Action->SetReadyToDestroy();
	CollectGarbage(GARBAGE_COLLECTION_KEEPFLAGS);
	EXPECT_EQ(Weak.Get(true), nullptr);
}

TEST(GameInstanceDeathTest, InitializeStandaloneWithoutAnEngineOuterIsFatal)
{
	EXPECT_DEATH(NewObject<UGameInstance>()->InitializeStandalone(), "Cast of .* to Engine failed");
}

TEST_F(AsyncActions, AContextWithoutAWorldIsReportedAsTheEngineReportsIt)
{
	UBlueprintAsyncActionBase* Action = NewObject<UBlueprintAsyncActionBase>();
	Action->RegisterWithGameInstance(static_cast<const UObject*>(nullptr));
	Action->RegisterWithGameInstance(NewObject<UTestListener>());
	ASSERT_EQ(Warnings.Lines.Num(), 2);
	EXPECT_TRUE(Warnings.Lines[0].Equals(TEXT("LogScript: Script Msg: A null object was passed as a world context object to UEngine::GetWorldFromContextObject().")));
	EXPECT_TRUE(Warnings.Lines[1].StartsWith(TEXT("LogScript: Script Msg: No world was found for object (/Engine/Transient.")));
	EXPECT_EQ(UTestGameInstanceView::CountReferences(*GameInstance, Action), 0);
}
