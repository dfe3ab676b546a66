#pragma once

// Types that exercise every piece of reflection markup the header tool reads. The tests check
// what the reflection system reports about them against the declarations below.

#include "CoreMinimal.h"
#include "Subsystems/GameInstanceSubsystem.h"
#include "UObject/Object.h"
#include "ReflectionTestTypes.generated.h"

/** A comment is not a tooltip. */
UENUM(BlueprintType, meta = (ToolTip = "测试枚举"))
enum class ETestColour : uint8
{
	TC_RED UMETA(DisplayName = "Red", ToolTip = "第一行\n第二行"),
	TC_GREEN = 4 UMETA(DisplayName = "Green"),
	TC_BLUE,
};

UENUM()
enum ETestPlain : uint8
{
	PLAIN_A = 1,
	PLAIN_B = (PLAIN_A + 1) * 2,
};

USTRUCT(BlueprintType)
struct FTestInner
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Inner")
	int32 Count = 0;
};

USTRUCT(BlueprintType)
struct FTestBase
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Base", meta = (ToolTip = "基础"))
	FString BaseName;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Base")
	float BaseScale{1.0f};
};

USTRUCT(BlueprintType)
struct FTestRecord : public FTestBase
{
	GENERATED_BODY()

	FTestRecord() : Flag(true) {}

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Values", meta = (DisplayName = "The Flag"))
	bool Flag;

	UPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category = "Record|Values")
	int64 Big = 0;

	UPROPERTY(EditAnywhere, Category = "Record|Values")
	double Precise = 0.0;

	UPROPERTY(EditAnywhere, Category = "Record|Values")
	uint8 Small = 0;

	UPROPERTY(EditAnywhere, Category = "Record|Values")
	FName Label;

	UPROPERTY(EditAnywhere, Category = "Record|Values")
	FText Shown;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Nested")
	ETestColour Colour = ETestColour::TC_GREEN;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Nested")
	FTestInner Inner;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Lists")
	TArray<FTestInner> Inners;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Lists")
	TArray<ETestColour> Colours;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Lists")
	TMap<FString, FString> Pairs;

	UPROPERTY(EditAnywhere, BlueprintReadWrite, Category = "Record|Lists")
	FGuid Id;

	/** Not reflected: no markup. */
	int32 Hidden = 7;
};

DECLARE_DYNAMIC_MULTICAST_DELEGATE(FTestNoParamsDelegate);
DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FTestTwoParamsDelegate, int32, InNumber, const FString&, InText);
DECLARE_DYNAMIC_MULTICAST_DELEGATE_SixParams(FTestSixParamsDelegate,
	ETestColour, InColour, const TArray<FString>&, InLines, const FTestRecord&, InRecord, bool, bFlag, float, InScale,
	int32, InCount);

UCLASS(BlueprintType)
class UTestSubsystem : public UGameInstanceSubsystem
{
	GENERATED_BODY()

public:
	UPROPERTY(BlueprintAssignable, meta = (ToolTip = "两个参数"))
	FTestTwoParamsDelegate OnTwo;

	UPROPERTY(BlueprintAssignable)
	FTestSixParamsDelegate OnSix;

	UPROPERTY(BlueprintAssignable)
	FTestNoParamsDelegate OnNothing;

	/** Adds the text to the record's name and returns how long the name became. */
	UFUNCTION(BlueprintCallable, Category = "Test|Calls", meta = (ToolTip = "追加"))
	int32 AppendName(const FString& InText, UPARAM(ref) FTestRecord& InRecord, const TMap<FString, FString>& InPairs);

	UFUNCTION(BlueprintCallable, Category = "Test|Calls")
	void SplitWords(const FString& InText, TArray<FString>& OutWords, bool bKeepEmpty = false, float InScale = 0.5f,
		int32 InLimit = 8, const FString& InSeparator = TEXT(" "), ETestColour InColour = ETestColour::TC_BLUE);

	UFUNCTION(BlueprintPure, Category = "Test")
	bool IsReady() const { return bReady; }

	UFUNCTION(BlueprintCallable, Category = "Test")
	static FGuid MakeId(int32 InSeed);

	bool ShouldCreateSubsystem(UObject* Outer) const override;
	void Initialize(FSubsystemCollectionBase& Collection) override;
	void Deinitialize() override;

	int32 InitializeCount = 0;
	int32 DeinitializeCount = 0;

protected:
	UFUNCTION()
	void ProtectedHelper() {}

private:
	bool bReady = true;
};

/** Never created by a game instance: it says no. */
UCLASS()
class UTestRefusingSubsystem : public UGameInstanceSubsystem
{
	GENERATED_BODY()

public:
	bool ShouldCreateSubsystem(UObject*) const override { return false; }
};

/** Never created by a game instance: it is abstract. */
UCLASS(Abstract)
class UTestAbstractSubsystem : public UGameInstanceSubsystem
{
	GENERATED_BODY()
};

/** Receives dynamic delegate calls and records them. */
UCLASS()
class UTestListener : public UObject
{
	GENERATED_BODY()

public:
	UFUNCTION()
	void HandleTwo(int32 InNumber, const FString& InText);

	UFUNCTION()
	void HandleSix(ETestColour InColour, const TArray<FString>& InLines, const FTestRecord& InRecord, bool bFlag,
		float InScale, int32 InCount);

	UFUNCTION()
	void HandleNothing();

	void BeginDestroy() override;

	/** Every call received, in order, as text. */
	TArray<FString> Calls;
	/** When set, HandleTwo unbinds itself from this delegate. */
	FTestTwoParamsDelegate* UnbindFrom = nullptr;
	/** Counts BeginDestroy calls of all listeners. */
	static int32 DestroyedCount;
};
