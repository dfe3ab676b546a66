#pragma once

// A header the header tool must refuse: the second property has a misspelt specifier.

#include "CoreMinimal.h"
#include "MalformedHeader.generated.h"

USTRUCT(BlueprintType)
struct FMalformed
{
	GENERATED_BODY()

	UPROPERTY(EditAnywhere, BlueprintReadAll)
	int32 Count = 0;
};
