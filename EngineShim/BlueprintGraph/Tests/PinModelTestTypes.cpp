#include "PinModelTestTypes.h"

#include "UObject/UObjectGlobals.h"

UPinTestMixedAction* UPinTestMixedAction::StartMixed(UObject*, int32, TArray<FString>&, FString& OutNote)
{
	OutNote = TEXT("started");
	return NewObject<UPinTestMixedAction>();
}

void UPinTestLibrary::Fill(const FString& InName, TArray<FString>& InOutLines, TArray<FString>& OutLines, bool)
{
	InOutLines.Add(InName);
	OutLines = InOutLines;
}

int32 UPinTestLibrary::Twice(const int32 InValue)
{
	return InValue * 2;
}

FString UPinTestLibrary::Reveal(const FString& InSecret)
{
	return InSecret;
}

void UPinTestLibrary::NotCallable()
{
}
