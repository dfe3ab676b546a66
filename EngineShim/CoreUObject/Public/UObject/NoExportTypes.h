#pragma once

// Reflection of types that Core declares without markup. The header tool reads the
// declarations below; the compiler never sees them and uses Core's own types, whose layout
// they describe.

#include "CoreMinimal.h"
#include "Misc/Guid.h"
#include "UObject/ObjectMacros.h"
#include "NoExportTypes.generated.h"

#if !CPP

/** A globally unique identifier. */
USTRUCT(immutable, noexport, BlueprintType)
struct FGuid
{
	UPROPERTY(EditAnywhere, SaveGame, Category = Guid)
	uint32 A;

	UPROPERTY(EditAnywhere, SaveGame, Category = Guid)
	uint32 B;

	UPROPERTY(EditAnywhere, SaveGame, Category = Guid)
	uint32 C;

	UPROPERTY(EditAnywhere, SaveGame, Category = Guid)
	uint32 D;
};

#endif
