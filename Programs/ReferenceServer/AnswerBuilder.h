#pragma once

#include "ToolScenario.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace TalvaneReference
{
	/** One message of a chat request body. */
	struct FChatMessage
	{
		std::string Role;
		std::string Content;
	};

	/** What a chat request (cloud or local) asks for, as read from its body. */
	struct FChatQuery
	{
		std::vector<FChatMessage> Messages;
		std::string Model;
		bool bLocal = false;
		std::string ChatID;       // local chat only, percent-decoded
		bool bStream = false;
		bool bIncludeUsage = false;
		std::string ToolName;     // set when the answer is due to call a tool: the first offered function
		bool bToolFragments = false; // streamed: two tool calls whose arguments arrive in interleaved fragments
		std::vector<FToolCallPlan> PlannedCalls; // the tools scenarios: the calls of this answer (none after results)
		bool bLogprobs = false;
		int TopLogprobs = 0;
	};

	/** What a fill-in-the-middle request asks for. */
	struct FFimQuery
	{
		std::string Model;
		std::string Prompt;
		std::string Suffix;
		bool bEcho = false;
		int Logprobs = 0;
		bool bStream = false;
		bool bIncludeUsage = false;
	};

	/** The texts of one answer before they take the shape of a body. */
	struct FAnswerText
	{
		std::string Content;
		std::string Reasoning;
	};

	/** One answer in both shapes: the whole JSON body, and the JSON of each stream event in order. */
	struct FAnswerShapes
	{
		std::string WholeBody;
		std::vector<std::string> Events;
	};

	/** The value of "created" in every answer, so answers are reproducible. */
	constexpr long long CreatedTime = 1700000000;

	/** Reads a chat body; false with OutProblem set when "messages" is missing or not an array. */
	bool ReadChatQuery(const nlohmann::json& InBody, FChatQuery& OutQuery, std::string& OutProblem);

	/** Reads a FIM body; false with OutProblem set when "prompt" is missing or not a string. */
	bool ReadFimQuery(const nlohmann::json& InBody, FFimQuery& OutQuery, std::string& OutProblem);

	/** "Echo: <last user content> (turn T, M messages)" ("1 message" for one) plus the system text, chat identifier and reasoning. */
	FAnswerText MakeChatText(const FChatQuery& InQuery);

	/** "[fill between "<prompt>" and "<suffix>"]", led by the prompt when the request asks for an echo. */
	FAnswerText MakeFimText(const FFimQuery& InQuery);

	/**
	 * Cuts a text into word pieces that keep their leading blanks, so joined they equal the text.
	 * Pieces shorter than InMinPieceBytes are merged with the following ones.
	 */
	std::vector<std::string> SplitIntoPieces(const std::string& InText, size_t InMinPieceBytes = 0);

	/** Number of blank-separated words: the reference server's token count. */
	int CountWords(const std::string& InText);

	/** Chat completion body and chunk events for the given texts. */
	FAnswerShapes ShapeChatAnswer(const FChatQuery& InQuery, const FAnswerText& InText, const std::string& InID, size_t InMinPieceBytes = 0);

	/** FIM completion body and events for the given text. */
	FAnswerShapes ShapeFimAnswer(const FFimQuery& InQuery, const FAnswerText& InText, const std::string& InID, size_t InMinPieceBytes = 0);

	/** Serialises JSON as UTF-8 without escaping non-ASCII text; invalid UTF-8 becomes U+FFFD. */
	std::string DumpJson(const nlohmann::ordered_json& InJson);
}
