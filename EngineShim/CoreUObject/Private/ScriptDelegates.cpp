#include "UObject/DynamicDelegates.h"

FName UE::Delegates::Private::GetTrimmedMemberFunctionName(const TCHAR* InMacroFunctionName)
{
	FString Name(InMacroFunctionName);
	const int32 ScopeIndex = Name.Find(TEXT("::"), ESearchCase::CaseSensitive, ESearchDir::FromEnd);
	if (ScopeIndex != INDEX_NONE)
	{
		Name.RightChopInline(ScopeIndex + 2);
	}
	Name.TrimStartAndEndInline();
	return FName(Name);
}
