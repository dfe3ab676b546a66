// The reference server's tools scenario and the plugin agree: the arguments the server makes for a
// tool from the schema the plugin wrote fit the function behind it, so a call dispatched from them
// runs. (The server's code is linked in; no request crosses the network here.)

#include "GameToolsTestTypes.h"
#include "Misc/AutomationTest.h"
#include "TalvaneGameTools.h"
#include "ToolScenario.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneStandInToolScenarioSpec, "Talvane.StandIn.ToolScenario", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
END_DEFINE_SPEC(FTalvaneStandInToolScenarioSpec)

void FTalvaneStandInToolScenarioSpec::Define()
{
	It("makes arguments for every tool of a game object that its functions accept", [this]()
	{
		UTalvaneTestInnkeeper* Innkeeper = NewObject<UTalvaneTestInnkeeper>();
		Innkeeper->AddToRoot();
		const TArray<FName> Listed = {TEXT("RollDie"), TEXT("PriceOf"), TEXT("PlaceOrder"), TEXT("Recommend")};
		TArray<FNimbrelTools> Tools;
		FString Error;
		TestTrue("tools made", TalvaneGameTools::MakeTools(Innkeeper, Listed, Tools, Error));
		for (const FNimbrelTools& Tool : Tools)
		{
			const nlohmann::json Schema = nlohmann::json::parse(std::string(TCHAR_TO_UTF8(*Tool.Function.Parameters)));
			FNimbrelChatResponseToolCall Call;
			Call.ID = TEXT("call_1_0");
			Call.Function.Name = Tool.Function.Name;
			Call.Function.Arguments = UTF8_TO_TCHAR(TalvaneReference::SampleValue(Schema).dump().c_str());
			FString Content;
			const bool bRan = TalvaneGameTools::DispatchToolCall(Innkeeper, Listed, Call, Content);
			TestTrue(*(Tool.Function.Name + TEXT(" ran with ") + Call.Function.Arguments + TEXT(": ") + Content), bRan);
		}
		TestEqual("calls", Innkeeper->Calls, Listed.Num());
		Innkeeper->RemoveFromRoot();
	});
}

#endif
