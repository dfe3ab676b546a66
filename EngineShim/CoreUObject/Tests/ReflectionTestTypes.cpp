#include "ReflectionTestTypes.h"

#include "GarbageCollectionTestTypes.h"

int32 UTestSubsystem::AppendName(const FString& InText, FTestRecord& InRecord, const TMap<FString, FString>& InPairs)
{
	InRecord.BaseName += InText;
	for (const TPair<FString, FString>& Pair : InPairs)
	{
		InRecord.Pairs.Add(Pair.Key, Pair.Value);
	}
	return InRecord.BaseName.Len();
}

void UTestSubsystem::SplitWords(const FString& InText, TArray<FString>& OutWords, const bool bKeepEmpty, float, const int32 InLimit,
	const FString& InSeparator, ETestColour)
{
	TArray<FString> Words;
	InText.ParseIntoArray(Words, *InSeparator, !bKeepEmpty);
	for (const FString& Word : Words)
	{
		if (OutWords.Num() < InLimit)
		{
			OutWords.Add(Word);
		}
	}
}

FGuid UTestSubsystem::MakeId(const int32 InSeed)
{
	return FGuid(static_cast<uint32>(InSeed), 2, 3, 4);
}

bool UTestSubsystem::ShouldCreateSubsystem(UObject*) const
{
	return true;
}

void UTestSubsystem::Initialize(FSubsystemCollectionBase&)
{
	++InitializeCount;
}

void UTestSubsystem::Deinitialize()
{
	++DeinitializeCount;
}

int32 UTestListener::DestroyedCount = 0;

void UTestListener::HandleTwo(const int32 InNumber, const FString& InText)
{
	Calls.Add(FString::Printf(TEXT("Two %d %s"), InNumber, *InText));
	if (UnbindFrom)
	{
		UnbindFrom->RemoveDynamic(this, &UTestListener::HandleTwo);
	}
}

void UTestListener::HandleSix(const ETestColour InColour, const TArray<FString>& InLines, const FTestRecord& InRecord, const bool bFlag,
	const float InScale, const int32 InCount)
{
	Calls.Add(FString::Printf(TEXT("Six %d %s %s %d %g %d"), static_cast<int32>(InColour), *FString::Join(InLines, TEXT("+")),
		*InRecord.BaseName, bFlag ? 1 : 0, InScale, InCount));
}

void UTestListener::HandleNothing()
{
	Calls.Add(TEXT("Nothing"));
}

void UTestListener::BeginDestroy()
{
	++DestroyedCount;
	Super::BeginDestroy();
}

int32 UTestHolder::FinishedCount = 0;

void UTestHolder::AddReferencedObjects(UObject* InThis, FReferenceCollector& Collector)
{
	Collector.AddReferencedObject(static_cast<UTestHolder*>(InThis)->Reported, InThis);
	Super::AddReferencedObjects(InThis, Collector);
}

void UTestHolder::FinishDestroy()
{
	++FinishedCount;
	Super::FinishDestroy();
}
