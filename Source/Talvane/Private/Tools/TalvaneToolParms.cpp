#include "Tools/TalvaneToolParms.h"

#include "UObject/Class.h"
#include "UObject/UnrealType.h"

namespace
{
	// Enough for every parameter type a tool can take; the engine aligns to the function's own minimum.
	constexpr UPTRINT ParmsAlignment = 16;
}

FTalvaneToolParms::FTalvaneToolParms(const UFunction& InFunction)
	: Function(InFunction)
{
	if (Function.ParmsSize == 0)
	{
		return;
	}
	Storage.SetNumZeroed(static_cast<int32>(Function.ParmsSize + ParmsAlignment));
	const UPTRINT Address = reinterpret_cast<UPTRINT>(Storage.GetData());
	Parms = reinterpret_cast<uint8*>((Address + ParmsAlignment - 1) & ~(ParmsAlignment - 1));
	for (TFieldIterator<FProperty> It(&Function); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		It->InitializeValue_InContainer(Parms);
	}
}

FTalvaneToolParms::~FTalvaneToolParms()
{
	if (!Parms)
	{
		return;
	}
	for (TFieldIterator<FProperty> It(&Function); It && It->HasAnyPropertyFlags(CPF_Parm); ++It)
	{
		It->DestroyValue_InContainer(Parms);
	}
}
