#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace TalvaneReference
{
	/** How the "tools" scenarios ("X-Talvane-Scenario") play the model's part in a tool loop. */
	enum class EToolPlay : uint8_t
	{
		Off,
		Play,      // tools: call every offered tool with arguments that fit its schema; after results, quote them
		Unlisted,  // tools-unlisted: call a function that was never offered
		Malformed, // tools-malformed: call the first offered tool with arguments that are not JSON
		Endless,   // tools-endless: call again whatever the results, so only the caller's step limit ends it
	};

	/** One call the answer makes. */
	struct FToolCallPlan
	{
		std::string ID;
		std::string Name;
		std::string Arguments;
	};

	/** The answer of a tools scenario: its calls, or, with none, a text that quotes the results it got. */
	struct FToolTurn
	{
		std::vector<FToolCallPlan> Calls;
		std::string Text;
	};

	/** Reads the tools scenario of a scenario name ("tools", "tools-unlisted", ...); Off for any other name. */
	EToolPlay ReadToolPlay(const std::string& InScenarioName);

	/** Decides the answer from a chat request body: calls while the last message is no tool result, else the quoting text. */
	FToolTurn PlanToolTurn(const nlohmann::json& InBody, EToolPlay InPlay);

	/** A value that fits a JSON Schema of the kinds tools use (objects, arrays, strings, enums, numbers, booleans). */
	nlohmann::ordered_json SampleValue(const nlohmann::json& InSchema, int InDepth = 0);

	/** The calls as a whole message's "tool_calls". */
	nlohmann::ordered_json ToolCallsJson(const std::vector<FToolCallPlan>& InCalls);

	/**
	 * The calls as streamed delta fragments, each one element of a delta's "tool_calls": every call first
	 * names its index, id, type and function, then its arguments come in two pieces, the calls interleaved.
	 */
	std::vector<nlohmann::ordered_json> ToolCallFragmentsOf(const std::vector<FToolCallPlan>& InCalls);
}
