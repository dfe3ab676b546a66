#pragma once

#include "Containers/UnrealString.h"

/** Display text. The engine localises it; here it holds its source string. */
class FText
{
public:
	FText() = default;

	static FText FromString(const FString& InString) { FText Result; Result.Source = InString; return Result; }
	static FText FromString(FString&& InString) { FText Result; Result.Source = MoveTemp(InString); return Result; }
	static const FText& GetEmpty() { static const FText Empty; return Empty; }

	const FString& ToString() const { return Source; }
	bool IsEmpty() const { return Source.IsEmpty(); }
	bool EqualTo(const FText& Other) const { return Source.Equals(Other.Source); }

private:
	FString Source;
};
