// Tool calls of the model on a game object: any name and arguments text either runs a listed function
// and answers with one JSON object, or runs nothing and answers with an error text. Never a crash.
// The first byte picks the function named in the call (one of them is not listed); the rest is the
// arguments text.

#include "FuzzSupport.h"
#include "GameToolsTestTypes.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneGameTools.h"
#include "UObject/UObjectGlobals.h"

namespace
{
	const TCHAR* const CalledNames[] = {TEXT("RollDie"), TEXT("PriceOf"), TEXT("PlaceOrder"), TEXT("Recommend"), TEXT("Befriend")};

	UTalvaneTestInnkeeper* GetInnkeeper()
	{
		static UTalvaneTestInnkeeper* Innkeeper = []()
		{
			UTalvaneTestInnkeeper* Made = NewObject<UTalvaneTestInnkeeper>();
			Made->AddToRoot();
			return Made;
		}();
		return Innkeeper;
	}
}

extern "C" int LLVMFuzzerInitialize(int* /*Argc*/, char*** /*Argv*/)
{
	TalvaneFuzz::SilenceConsole();
	GetInnkeeper();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, const size_t Size)
{
	if (Size == 0 || Size > 1 << 17)
	{
		return 0;
	}
	UTalvaneTestInnkeeper* Innkeeper = GetInnkeeper();
	const TArray<FName> Listed = {TEXT("RollDie"), TEXT("PriceOf"), TEXT("PlaceOrder"), TEXT("Recommend")};
	FNimbrelChatResponseToolCall Call;
	Call.Function.Name = CalledNames[Data[0] % UE_ARRAY_COUNT(CalledNames)];
	Call.Function.Arguments = TalvaneFuzz::TextOf(Data + 1, Size - 1);
	const int32 CallsBefore = Innkeeper->Calls;
	FString Content;
	const bool bCalled = TalvaneGameTools::DispatchToolCall(Innkeeper, Listed, Call, Content);
	if (bCalled)
	{
		TSharedPtr<FJsonObject> Results;
		if (Innkeeper->Calls != CallsBefore + 1 || !FJsonSerializer::Deserialize(TJsonReaderFactory<TCHAR>::Create(Content), Results))
		{
			TalvaneFuzz::Fail("a call that ran did not run once, or answered with something other than a JSON object");
		}
	}
	else if (Innkeeper->Calls != CallsBefore || !Content.StartsWith(TEXT("Error: "), ESearchCase::CaseSensitive))
	{
		TalvaneFuzz::Fail("a refused call ran, or answered without an error text");
	}
	return 0;
}
