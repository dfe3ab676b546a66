#include "GameToolsTestTypes.h"
#include "Misc/AutomationTest.h"
#include "TalvaneGameTools.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneGameToolsSpec, "Talvane.GameTools", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	UTalvaneTestInnkeeper* Innkeeper = nullptr;
	TArray<FName> Listed;

	bool Call(const FString& InName, const FString& InArguments, FString& OutContent);
	const FNimbrelTools* FindTool(const TArray<FNimbrelTools>& InTools, const FString& InName) const;
	void DefineMakeTools();
	void DefineDispatch();
	void DefineRefusals();
END_DEFINE_SPEC(FTalvaneGameToolsSpec)

bool FTalvaneGameToolsSpec::Call(const FString& InName, const FString& InArguments, FString& OutContent)
{
	FNimbrelChatResponseToolCall ToolCall;
	ToolCall.ID = TEXT("call_1");
	ToolCall.Function.Name = InName;
	ToolCall.Function.Arguments = InArguments;
	return TalvaneGameTools::DispatchToolCall(Innkeeper, Listed, ToolCall, OutContent);
}

const FNimbrelTools* FTalvaneGameToolsSpec::FindTool(const TArray<FNimbrelTools>& InTools, const FString& InName) const
{
	return InTools.FindByPredicate([&InName](const FNimbrelTools& Tool) { return Tool.Function.Name == InName; });
}

void FTalvaneGameToolsSpec::Define()
{
	BeforeEach([this]()
	{
		// Rooted: the engine may collect garbage between the steps of a spec.
		Innkeeper = NewObject<UTalvaneTestInnkeeper>();
		Innkeeper->AddToRoot();
		Listed = {TEXT("RollDie"), TEXT("PriceOf"), TEXT("PlaceOrder"), TEXT("Recommend")};
	});

	AfterEach([this]()
	{
		if (Innkeeper)
		{
			Innkeeper->RemoveFromRoot();
		}
		Innkeeper = nullptr;
	});

	DefineMakeTools();
	DefineDispatch();
	DefineRefusals();
}

void FTalvaneGameToolsSpec::DefineMakeTools()
{
	Describe(TEXT("MakeTools"), [this]()
	{
		It(TEXT("DescribesEachFunctionWithAJsonSchemaOfItsInputs"), [this]()
		{
			TArray<FNimbrelTools> Tools;
			FString Error;
			TestTrue(TEXT("Made"), TalvaneGameTools::MakeTools(Innkeeper, Listed, Tools, Error));
			TestEqual(TEXT("Count"), Tools.Num(), 4);
			const FNimbrelTools* Roll = FindTool(Tools, TEXT("RollDie"));
			const FNimbrelTools* Price = FindTool(Tools, TEXT("PriceOf"));
			if (!TestNotNull(TEXT("RollDie"), Roll) || !TestNotNull(TEXT("PriceOf"), Price))
			{
				return;
			}
#if WITH_EDITORONLY_DATA
			TestTrue(TEXT("Tooltip"), Roll->Function.Description.Equals(TEXT("Rolls a die with the given number of sides."), ESearchCase::CaseSensitive));
#endif
			TestTrue(TEXT("Fallback description"), Price->Function.Description.Equals(TEXT("Calls the game function PriceOf."), ESearchCase::CaseSensitive));
			TestTrue(TEXT("RollDie schema"), Roll->Function.Parameters.Equals(TEXT(R"({"type":"object","properties":{"Sides":{"type":"integer","minimum":-2147483648,"maximum":2147483647},"bLoud":{"type":"boolean"}},"required":["Sides","bLoud"],"additionalProperties":false})"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("PriceOf schema"), Price->Function.Parameters.Equals(TEXT(R"({"type":"object","properties":{"Item":{"type":"string","maxLength":16384},"Drink":{"type":"string","enum":["Ale","Mead","Water"]},"Discount":{"type":"number"}},"required":["Item","Drink","Discount"],"additionalProperties":false})"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("No inputs"), FindTool(Tools, TEXT("Recommend"))->Function.Parameters.Equals(TEXT(R"({"type":"object","properties":{},"required":[],"additionalProperties":false})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("DescribesStructsArraysAndInOutReferencesButNotOutputs"), [this]()
		{
			TArray<FNimbrelTools> Tools;
			FString Error;
			TalvaneGameTools::MakeTools(Innkeeper, {TEXT("PlaceOrder")}, Tools, Error);
			TestTrue(TEXT("PlaceOrder schema"), Tools.Num() == 1 && Tools[0].Function.Parameters.Equals(TEXT(R"({"type":"object","properties":{"Order":{"type":"object","properties":{"Guest":{"type":"string","maxLength":1023},"Note":{"type":"string","maxLength":16384},"Drinks":{"type":"array","items":{"type":"string","enum":["Ale","Mead","Water"]},"maxItems":1024},"Table":{"type":"integer","minimum":0,"maximum":255},"Coins":{"type":"integer","minimum":-9007199254740991,"maximum":9007199254740991},"Tip":{"type":"number"}},"required":["Guest","Note","Drinks","Table","Coins","Tip"],"additionalProperties":false},"Counter":{"type":"integer","minimum":-2147483648,"maximum":2147483647}},"required":["Order","Counter"],"additionalProperties":false})"), ESearchCase::CaseSensitive));
		});

		It(TEXT("RefusesEveryFunctionJsonCannotCarryWhenTheListIsMade"), [this]()
		{
			AddExpectedError(TEXT("Cannot offer these functions of"), EAutomationExpectedErrorFlags::Contains, 1);
			TArray<FNimbrelTools> Tools;
			Tools.AddDefaulted();
			FString Error;
			TestFalse(TEXT("Made"), TalvaneGameTools::MakeTools(Innkeeper, {TEXT("RollDie"), TEXT("Befriend"), TEXT("Remember"), TEXT("FindGuest"), TEXT("Vanish"), TEXT("RollDie")}, Tools, Error));
			TestEqual(TEXT("List untouched"), Tools.Num(), 1);
			TestTrue(TEXT("Object pointer"), Error.Contains(TEXT("Befriend: parameter Other: its type UObject* has no JSON form")));
			TestTrue(TEXT("Map"), Error.Contains(TEXT("Remember: parameter Facts: its type TMap<FString,int32> has no JSON form")));
			TestTrue(TEXT("Result"), Error.Contains(TEXT("FindGuest: parameter ReturnValue: its type UObject* has no JSON form")));
			TestTrue(TEXT("Unknown"), Error.Contains(TEXT("Vanish: the object has no function of that name")));
			TestTrue(TEXT("Twice"), Error.Contains(TEXT("RollDie: listed twice")));
		});

		It(TEXT("RefusesAMissingTarget"), [this]()
		{
			AddExpectedError(TEXT("Cannot make tools without a game object"), EAutomationExpectedErrorFlags::Contains, 1);
			TArray<FNimbrelTools> Tools;
			FString Error;
			TestFalse(TEXT("Made"), TalvaneGameTools::MakeTools(nullptr, Listed, Tools, Error));
			TestEqual(TEXT("None"), Tools.Num(), 0);
		});
	});
}

void FTalvaneGameToolsSpec::DefineDispatch()
{
	Describe(TEXT("DispatchToolCall"), [this]()
	{
		It(TEXT("CallsTheListedFunctionAndAnswersWithItsResult"), [this]()
		{
			FString Content;
			TestTrue(TEXT("Called"), Call(TEXT("RollDie"), TEXT(R"({"Sides":20,"bLoud":true})"), Content));
			TestTrue(TEXT("Result"), Content.Equals(TEXT(R"({"ReturnValue":-20})"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Enum and float"), Call(TEXT("PriceOf"), TEXT(R"({"Drink":"Mead","Item":"mug \"big\" 😀","Discount":0.5})"), Content)
				&& Content.Equals(TEXT(R"({"ReturnValue":4})"), ESearchCase::CaseSensitive) && Innkeeper->LastItem == TEXT("mug \"big\" 😀"));
			TestTrue(TEXT("Enum result"), Call(TEXT("Recommend"), TEXT(" "), Content) && Content.Equals(TEXT(R"({"ReturnValue":"Mead"})"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Calls"), Innkeeper->Calls, 3);
		});

		It(TEXT("FillsStructsAndArraysAndAnswersWithOutputsAndInOutReferences"), [this]()
		{
			FString Content;
			TestTrue(TEXT("Called"), Call(TEXT("PlaceOrder"), TEXT(R"({"Order":{"Guest":"Ada","Note":"by the fire","Drinks":["Ale","Water","Ale"],"Table":255,"Coins":9007199254740991,"Tip":0.25},"Counter":10})"), Content));
			TestTrue(TEXT("Results"), Content.Equals(TEXT(R"({"OutLines":["Ada","by the fire"],"Counter":13,"ReturnValue":true})"), ESearchCase::CaseSensitive));
			const FTalvaneTestOrder& Order = Innkeeper->LastOrder;
			TestTrue(TEXT("Order"), Order.Guest == FName(TEXT("Ada")) && Order.Note.ToString() == TEXT("by the fire") && Order.Table == 255
				&& Order.Coins == 9007199254740991LL && Order.Tip == 0.25 && Order.Drinks.Num() == 3 && Order.Drinks[1] == ETalvaneTestDrink::Water);
		});
	});
}

void FTalvaneGameToolsSpec::DefineRefusals()
{
	Describe(TEXT("DispatchToolCall"), [this]()
	{
		It(TEXT("RefusesWhatDoesNotFitWithAnErrorTheModelCanActOnAndNeverCalls"), [this]()
		{
			const FString LongText = FString::ChrN(16385, TEXT('a'));
			FString ManyDrinks = TEXT("\"Ale\"");
			for (int32 Index = 0; Index < 1024; ++Index)
			{
				ManyDrinks += TEXT(",\"Ale\"");
			}
			const FString Order = TEXT(R"({"Order":{"Guest":"A","Note":"","Drinks":[],"Table":1,"Coins":1,"Tip":0},"Counter":0})");
			struct FCase
			{
				FString Name;
				FString Arguments;
				FString Expected;
			};
			const TArray<FCase> Cases = {
				{TEXT("Explode"), TEXT("{}"), TEXT("there is no tool named \"Explode\"; the tools are: RollDie, PriceOf, PlaceOrder, Recommend.")},
				{TEXT("Befriend"), TEXT("{}"), TEXT("there is no tool named \"Befriend\"")},
				{TEXT("rolldie"), TEXT(R"({"Sides":6,"bLoud":false})"), TEXT("there is no tool named \"rolldie\"")},
				{TEXT("RollDie"), TEXT(R"({"Sides":)"), TEXT("the arguments are not one JSON object.")},
				{TEXT("RollDie"), TEXT("[6,false]"), TEXT("the arguments are not one JSON object.")},
				{TEXT("RollDie"), TEXT(R"({"Sides":6})"), TEXT("argument bLoud: missing; nothing was called.")},
				{TEXT("RollDie"), TEXT(R"({"Sides":6,"bLoud":false,"Cheat":1})"), TEXT("argument Cheat: unexpected; expected exactly: Sides, bLoud;")},
				{TEXT("RollDie"), TEXT(R"({"sides":6,"bLoud":false})"), TEXT("argument sides: unexpected")},
				{TEXT("RollDie"), TEXT(R"({"Sides":"6","bLoud":false})"), TEXT("argument Sides: expected a whole number from -2147483648 to 2147483647;")},
				{TEXT("RollDie"), TEXT(R"({"Sides":2.5,"bLoud":false})"), TEXT("argument Sides: expected a whole number")},
				{TEXT("RollDie"), TEXT(R"({"Sides":2147483648,"bLoud":false})"), TEXT("argument Sides: expected a whole number")},
				{TEXT("RollDie"), TEXT(R"({"Sides":6,"bLoud":1})"), TEXT("argument bLoud: expected a boolean;")},
				{TEXT("RollDie"), TEXT(R"({"Sides":null,"bLoud":true})"), TEXT("argument Sides: expected a whole number")},
				{TEXT("PriceOf"), TEXT(R"({"Item":"x","Drink":"Wine","Discount":0})"), TEXT("argument Drink: expected one of the strings \"Ale\", \"Mead\", \"Water\";")},
				{TEXT("PriceOf"), TEXT(R"({"Item":"x","Drink":"ale","Discount":0})"), TEXT("argument Drink: expected one of the strings")},
				{TEXT("PriceOf"), TEXT(R"({"Item":"x","Drink":"Ale","Discount":1e39})"), TEXT("argument Discount: expected a number;")},
				{TEXT("PriceOf"), TEXT(R"({"Item":")") + LongText + TEXT(R"(","Drink":"Ale","Discount":0})"), TEXT("argument Item: expected a string of at most 16384 characters;")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("\"Drinks\":[]"), *(TEXT("\"Drinks\":[") + ManyDrinks + TEXT("]"))), TEXT("argument Order.Drinks: expected an array of at most 1024 elements;")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("\"Drinks\":[]"), TEXT("\"Drinks\":[\"Ale\",7]")), TEXT("argument Order.Drinks[1]: expected one of the strings")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("\"Coins\":1,"), TEXT("")), TEXT("argument Order.Coins: missing;")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("\"Table\":1"), TEXT("\"Table\":256")), TEXT("argument Order.Table: expected a whole number from 0 to 255;")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("\"Coins\":1"), TEXT("\"Coins\":9007199254740993")), TEXT("argument Order.Coins: expected a whole number")},
				{TEXT("PlaceOrder"), Order.Replace(TEXT("{\"Guest\""), TEXT("[{\"Guest\"")).Replace(TEXT(",\"Counter\""), TEXT("],\"Counter\"")), TEXT("argument Order: expected an object;")},
				{TEXT("RollDie"), TEXT("{\"Sides\":6,\"bLoud\":true,\"Pad\":\"") + FString::ChrN(65536, TEXT(' ')) + TEXT("\"}"), TEXT("the arguments are longer than 65536 characters.")},
				{TEXT("RollDie"), TEXT("{\"Sides\":") + FString::ChrN(19, TEXT('[')) + FString::ChrN(19, TEXT(']')) + TEXT("}"), TEXT("the arguments nest deeper than any tool's parameters do.")},
				{TEXT("RollDie"), TEXT("{\"Sides\":\"[[[[[[[[[[[[[[[[[[[[\\\"\",\"bLoud\":[[[[]]]]}"), TEXT("argument Sides: expected a whole number")},
			};
			AddExpectedError(TEXT("not made: "), EAutomationExpectedErrorFlags::Contains, Cases.Num());
			for (const FCase& Case : Cases)
			{
				FString Content;
				const bool bCalled = Call(Case.Name, Case.Arguments, Content);
				TestFalse(*(TEXT("Called: ") + Case.Expected), bCalled);
				TestTrue(*(TEXT("Error: ") + Case.Expected + TEXT(" / got: ") + Content.Left(200)), Content.StartsWith(TEXT("Error: "), ESearchCase::CaseSensitive)
					&& Content.Contains(Case.Expected, ESearchCase::CaseSensitive));
			}
			TestEqual(TEXT("Calls"), Innkeeper->Calls, 0);
		});

		It(TEXT("RefusesACallOnAGameObjectThatIsGone"), [this]()
		{
			AddExpectedError(TEXT("the game object behind this tool is gone"), EAutomationExpectedErrorFlags::Contains, 1);
			const TWeakObjectPtr<UObject> Target(Innkeeper);
			// The engine refuses to mark a rooted object as garbage; the collection between steps then frees it.
			Innkeeper->RemoveFromRoot();
			Innkeeper->MarkAsGarbage();
			FNimbrelChatResponseToolCall ToolCall;
			ToolCall.Function.Name = TEXT("RollDie");
			ToolCall.Function.Arguments = TEXT(R"({"Sides":6,"bLoud":false})");
			FString Content;
			TestFalse(TEXT("Called"), TalvaneGameTools::DispatchToolCall(Target, Listed, ToolCall, Content));
			TestTrue(TEXT("Error"), Content.StartsWith(TEXT("Error: the game object behind this tool is gone"), ESearchCase::CaseSensitive));
			TestEqual(TEXT("Calls"), Innkeeper->Calls, 0);
			Innkeeper = nullptr;
		});
	});
}

#endif
