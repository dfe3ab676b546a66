#include "UObject/UObjectGlobals.h"

// Registration of what generated files hold. A module's static registrants run when the
// module's library loads and only record their construct functions; the objects are built on
// first use or by ProcessNewlyLoadedUObjects.

namespace
{
	struct FPendingRegistrant
	{
		UObject* (*Construct)(const void*);
		const void* Function;
	};

	TArray<FPendingRegistrant>& PendingRegistrants()
	{
		// Never destroyed: registrants may run before and after other static objects.
		static TArray<FPendingRegistrant>* Pending = new TArray<FPendingRegistrant>();
		return *Pending;
	}

	template <typename InfoType>
	void AddPending(const InfoType* Infos, const size_t Count)
	{
		for (size_t Index = 0; Infos && Index < Count; ++Index)
		{
			FPendingRegistrant Registrant;
			Registrant.Function = &Infos[Index];
			Registrant.Construct = [](const void* Info) -> UObject*
			{
				return static_cast<const InfoType*>(Info)->OuterRegister();
			};
			PendingRegistrants().Add(Registrant);
		}
	}
}

void RegisterCompiledInInfo(const TCHAR*, const FClassRegisterCompiledInInfo* ClassInfo, const size_t NumClassInfo,
	const FStructRegisterCompiledInInfo* StructInfo, const size_t NumStructInfo, const FEnumRegisterCompiledInInfo* EnumInfo,
	const size_t NumEnumInfo, const FFunctionRegisterCompiledInInfo* FunctionInfo, const size_t NumFunctionInfo)
{
	AddPending(EnumInfo, NumEnumInfo);
	AddPending(StructInfo, NumStructInfo);
	AddPending(FunctionInfo, NumFunctionInfo);
	AddPending(ClassInfo, NumClassInfo);
}

void ProcessNewlyLoadedUObjects()
{
	static bool bProcessing = false;
	if (bProcessing)
	{
		return;
	}
	bProcessing = true;
	TArray<FPendingRegistrant>& Pending = PendingRegistrants();
	while (Pending.Num() > 0)
	{
		const FPendingRegistrant Registrant = Pending[0];
		Pending.RemoveAt(0, 1, false);
		Registrant.Construct(Registrant.Function);
	}
	bProcessing = false;
}
