#pragma once

#include "CoreMinimal.h"
#include "UObject/Object.h"

/** A package: the outermost object. Native types live in "/Script/<Module>" packages. */
class COREUOBJECT_API UPackage : public UObject
{
	DECLARE_CLASS(UPackage, UObject, CLASS_Native | CLASS_Intrinsic, CASTCLASS_None, TEXT("/Script/CoreUObject"), NO_API)

public:
	UPackage() = default;
};
