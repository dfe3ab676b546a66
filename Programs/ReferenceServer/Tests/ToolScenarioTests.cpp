// The tools scenarios: the server plays a model that calls the offered functions with arguments that
// fit their schemas, whole or in streamed fragments, then quotes the results; and the variants that
// call an unlisted function, send arguments that are no JSON, or never stop calling.

#include "ReferenceServerTestSupport.h"
#include "ToolScenario.h"

#include <map>

using namespace TalvaneReferenceTests;
using FJson = nlohmann::json;

namespace
{
	class FToolScenarioTest : public FServerTest
	{
	protected:
		/** A question with two tools offered: a die roll with an integer and a flag, a price with an enum and a struct. */
		static FJson ToolRequest(const bool bInStream)
		{
			FJson Request = ChatBody({{"user", "Roll and price"}}, bInStream);
			Request["tools"] = FJson::parse(R"([
				{"type":"function","function":{"name":"RollDie","description":"","parameters":{"type":"object","properties":{"Sides":{"type":"integer","minimum":4,"maximum":20},"bLoud":{"type":"boolean"}},"required":["Sides","bLoud"],"additionalProperties":false}}},
				{"type":"function","function":{"name":"PriceOf","description":"","parameters":{"type":"object","properties":{"Drink":{"type":"string","enum":["Ale","Mead"]},"Order":{"type":"object","properties":{"Items":{"type":"array","items":{"type":"number"}}}}},"required":["Drink","Order"]}}}])");
			Request["tool_choice"] = "auto";
			return Request;
		}

		/** The streamed calls joined by index, as a client merges the fragments: index to (name, arguments). */
		static std::map<int, std::pair<std::string, std::string>> JoinStreamedCalls(const std::string& InBody)
		{
			std::map<int, std::pair<std::string, std::string>> Calls;
			for (const std::string& Event : DataEvents(InBody))
			{
				if (Event == "[DONE]")
				{
					continue;
				}
				for (const FJson& Fragment : FJson::parse(Event)["choices"][0]["delta"].value("tool_calls", FJson::array()))
				{
					std::pair<std::string, std::string>& Call = Calls[Fragment["index"].get<int>()];
					Call.first += Fragment["function"].value("name", "");
					Call.second += Fragment["function"].value("arguments", "");
				}
			}
			return Calls;
		}
	};

	const char* const RollArguments = R"({"Sides":4,"bLoud":true})";
	const char* const PriceArguments = R"({"Drink":"Mead","Order":{"Items":[2.5]}})";

	TEST_F(FToolScenarioTest, CallsEveryOfferedToolWithArgumentsThatFitItsSchema)
	{
		const FJson Whole = FJson::parse(Post("/chat/completions", ToolRequest(false), {{"X-Talvane-Scenario", "tools"}})->body);
		const FJson& Calls = Whole["choices"][0]["message"]["tool_calls"];
		ASSERT_EQ(Calls.size(), 2u);
		EXPECT_EQ(Calls[0], FJson({{"id", "call_1_0"}, {"type", "function"}, {"function", {{"name", "RollDie"}, {"arguments", RollArguments}}}}));
		EXPECT_EQ(Calls[1]["function"]["arguments"], PriceArguments);
		EXPECT_EQ(Whole["choices"][0]["finish_reason"], "tool_calls");

		const std::string Streamed = Post("/chat/completions", ToolRequest(true), {{"X-Talvane-Scenario", "tools"}})->body;
		const std::map<int, std::pair<std::string, std::string>> Joined = JoinStreamedCalls(Streamed);
		ASSERT_EQ(Joined.size(), 2u);
		EXPECT_EQ(Joined.at(0), std::make_pair(std::string("RollDie"), std::string(RollArguments)));
		EXPECT_EQ(Joined.at(1), std::make_pair(std::string("PriceOf"), std::string(PriceArguments)));
	}

	TEST_F(FToolScenarioTest, AnswersResultsWithATextThatQuotesThem)
	{
		FJson Request = ToolRequest(false);
		Request["messages"].push_back({{"content", ""}, {"role", "assistant"}, {"tool_calls", FJson::array()}});
		Request["messages"].push_back({{"content", "{\"ReturnValue\":4}"}, {"role", "tool"}, {"tool_call_id", "call_1_0"}});
		Request["messages"].push_back({{"content", "Error: no mead"}, {"role", "tool"}, {"tool_call_id", "call_1_1"}});
		const FJson Whole = FJson::parse(Post("/chat/completions", Request, {{"X-Talvane-Scenario", "tools"}})->body);
		EXPECT_FALSE(Whole["choices"][0]["message"].contains("tool_calls"));
		EXPECT_EQ(Whole["choices"][0]["message"]["content"], "The tools answered: call_1_0 gave {\"ReturnValue\":4}; call_1_1 gave Error: no mead;");
		EXPECT_EQ(Whole["choices"][0]["finish_reason"], "stop");

		Request["stream"] = true;
		const std::string Streamed = Post("/chat/completions", Request, {{"X-Talvane-Scenario", "tools"}})->body;
		EXPECT_EQ(JoinDeltas(DataEvents(Streamed), "content"), Whole["choices"][0]["message"]["content"]);
	}

	TEST_F(FToolScenarioTest, VariantsCallAnUnlistedFunctionSendBrokenArgumentsOrNeverStop)
	{
		const FJson Unlisted = FJson::parse(Post("/chat/completions", ToolRequest(false), {{"X-Talvane-Scenario", "tools-unlisted"}})->body);
		EXPECT_EQ(Unlisted["choices"][0]["message"]["tool_calls"][0]["function"]["name"], "unlisted_function");

		const FJson Malformed = FJson::parse(Post("/chat/completions", ToolRequest(false), {{"X-Talvane-Scenario", "tools-malformed"}})->body);
		const std::string Broken = Malformed["choices"][0]["message"]["tool_calls"][0]["function"]["arguments"];
		EXPECT_FALSE(FJson::accept(Broken));

		FJson Request = ToolRequest(false);
		Request["messages"].push_back({{"content", "3"}, {"role", "tool"}, {"tool_call_id", "call_1_0"}});
		const FJson Again = FJson::parse(Post("/chat/completions", Request, {{"X-Talvane-Scenario", "tools-endless"}})->body);
		ASSERT_EQ(Again["choices"][0]["message"]["tool_calls"].size(), 2u);
		EXPECT_EQ(Again["choices"][0]["message"]["tool_calls"][0]["id"], "call_2_0");
	}

	TEST(ToolScenario, SampleValuesStayWithinTheirSchemas)
	{
		using TalvaneReference::SampleValue;
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"integer","minimum":10,"maximum":20})")), 10);
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"integer","minimum":-5,"maximum":1})")), 1);
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"string","maxLength":3})")), "sam");
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"string","enum":["a","b"]})")), "b");
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"array","items":{"type":"boolean"}})")).dump(), "[true]");
		EXPECT_EQ(SampleValue(FJson::parse(R"({"type":"object"})")).dump(), "{}");
	}
}
