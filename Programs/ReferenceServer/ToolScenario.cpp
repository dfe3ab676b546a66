#include "ToolScenario.h"

#include <algorithm>

namespace TalvaneReference
{
	namespace
	{
		using FJson = nlohmann::ordered_json;

		constexpr int MaxSampleDepth = 16;

		std::string StringOf(const nlohmann::json& InObject, const char* InKey)
		{
			const nlohmann::json::const_iterator Found = InObject.is_object() ? InObject.find(InKey) : InObject.end();
			return Found != InObject.end() && Found->is_string() ? Found->get<std::string>() : std::string();
		}

		double NumberOr(const nlohmann::json& InSchema, const char* InKey, const double InDefault)
		{
			const nlohmann::json::const_iterator Found = InSchema.find(InKey);
			return Found != InSchema.end() && Found->is_number() ? Found->get<double>() : InDefault;
		}

		/** The offered functions: name and parameter schema of each tool, in order. */
		std::vector<std::pair<std::string, nlohmann::json>> OfferedTools(const nlohmann::json& InBody)
		{
			std::vector<std::pair<std::string, nlohmann::json>> Tools;
			const nlohmann::json::const_iterator Offered = InBody.find("tools");
			if (Offered == InBody.end() || !Offered->is_array())
			{
				return Tools;
			}
			for (const nlohmann::json& Tool : *Offered)
			{
				const nlohmann::json::const_iterator Function = Tool.is_object() ? Tool.find("function") : Tool.end();
				if (Function != Tool.end() && Function->is_object())
				{
					const nlohmann::json::const_iterator Parameters = Function->find("parameters");
					Tools.emplace_back(StringOf(*Function, "name"), Parameters != Function->end() ? *Parameters : nlohmann::json::object());
				}
			}
			return Tools;
		}

		/** The text of the answer after results: each trailing tool message, quoted with its call id. */
		std::string QuoteResults(const nlohmann::json& InMessages)
		{
			std::vector<std::string> Quotes;
			for (auto It = InMessages.rbegin(); It != InMessages.rend() && StringOf(*It, "role") == "tool"; ++It)
			{
				Quotes.push_back(StringOf(*It, "tool_call_id") + " gave " + StringOf(*It, "content"));
			}
			std::reverse(Quotes.begin(), Quotes.end());
			std::string Text = "The tools answered:";
			for (const std::string& Quote : Quotes)
			{
				Text += " " + Quote + ";";
			}
			return Text;
		}
	}

	EToolPlay ReadToolPlay(const std::string& InScenarioName)
	{
		return InScenarioName == "tools" ? EToolPlay::Play
			: InScenarioName == "tools-unlisted" ? EToolPlay::Unlisted
			: InScenarioName == "tools-malformed" ? EToolPlay::Malformed
			: InScenarioName == "tools-endless" ? EToolPlay::Endless
			: EToolPlay::Off;
	}

	FJson SampleValue(const nlohmann::json& InSchema, const int InDepth)
	{
		const std::string Type = StringOf(InSchema, "type");
		const nlohmann::json::const_iterator Enum = InSchema.is_object() ? InSchema.find("enum") : InSchema.end();
		if (Enum != InSchema.end() && Enum->is_array() && !Enum->empty())
		{
			// The last name, so a caller sees that the choice is read, not defaulted.
			return Enum->back();
		}
		if (Type == "integer" || Type == "number")
		{
			const double Minimum = NumberOr(InSchema, "minimum", -1.0e9);
			const double Maximum = NumberOr(InSchema, "maximum", 1.0e9);
			const double Wanted = Type == "integer" ? 3.0 : 2.5;
			const double Value = std::clamp(Wanted, Minimum, std::max(Minimum, Maximum));
			return Type == "integer" ? FJson(static_cast<long long>(Value)) : FJson(Value);
		}
		if (Type == "boolean")
		{
			return true;
		}
		if (Type == "string")
		{
			const double MaxLength = NumberOr(InSchema, "maxLength", 6.0);
			return std::string("sample").substr(0, static_cast<size_t>(std::clamp(MaxLength, 0.0, 6.0)));
		}
		FJson Value = Type == "array" ? FJson::array() : FJson::object();
		if (InDepth >= MaxSampleDepth)
		{
			return Value;
		}
		if (Type == "array")
		{
			const nlohmann::json::const_iterator Items = InSchema.find("items");
			Value.push_back(SampleValue(Items != InSchema.end() ? *Items : nlohmann::json::object(), InDepth + 1));
			return Value;
		}
		const nlohmann::json::const_iterator Properties = InSchema.is_object() ? InSchema.find("properties") : InSchema.end();
		if (Properties != InSchema.end() && Properties->is_object())
		{
			for (const auto& [Name, Schema] : Properties->items())
			{
				Value[Name] = SampleValue(Schema, InDepth + 1);
			}
		}
		return Value;
	}

	FToolTurn PlanToolTurn(const nlohmann::json& InBody, const EToolPlay InPlay)
	{
		FToolTurn Turn;
		const nlohmann::json::const_iterator Messages = InBody.find("messages");
		const bool bAfterResults = Messages != InBody.end() && Messages->is_array() && !Messages->empty()
			&& StringOf(Messages->back(), "role") == "tool";
		const std::vector<std::pair<std::string, nlohmann::json>> Tools = OfferedTools(InBody);
		if (Tools.empty() || (bAfterResults && InPlay != EToolPlay::Endless))
		{
			Turn.Text = bAfterResults ? QuoteResults(*Messages) : "No tools were offered.";
			return Turn;
		}
		// Ids differ from step to step of one conversation, as a service's do.
		const std::string Step = std::to_string(Messages != InBody.end() && Messages->is_array() ? Messages->size() : 0);
		if (InPlay == EToolPlay::Unlisted)
		{
			Turn.Calls.push_back({"call_" + Step + "_0", "unlisted_function", "{}"});
			return Turn;
		}
		if (InPlay == EToolPlay::Malformed)
		{
			Turn.Calls.push_back({"call_" + Step + "_0", Tools.front().first, "{\"broken\": "});
			return Turn;
		}
		for (size_t Index = 0; Index < Tools.size(); ++Index)
		{
			Turn.Calls.push_back({"call_" + Step + "_" + std::to_string(Index), Tools[Index].first,
				SampleValue(Tools[Index].second).dump()});
		}
		return Turn;
	}

	FJson ToolCallsJson(const std::vector<FToolCallPlan>& InCalls)
	{
		FJson Calls = FJson::array();
		for (const FToolCallPlan& Call : InCalls)
		{
			Calls.push_back(FJson{{"id", Call.ID}, {"type", "function"},
				{"function", FJson{{"name", Call.Name}, {"arguments", Call.Arguments}}}});
		}
		return Calls;
	}

	std::vector<FJson> ToolCallFragmentsOf(const std::vector<FToolCallPlan>& InCalls)
	{
		std::vector<FJson> Fragments;
		for (size_t Index = 0; Index < InCalls.size(); ++Index)
		{
			Fragments.push_back(FJson{{"index", Index}, {"id", InCalls[Index].ID}, {"type", "function"},
				{"function", FJson{{"name", InCalls[Index].Name}, {"arguments", ""}}}});
		}
		for (const int Half : {0, 1})
		{
			for (size_t Index = 0; Index < InCalls.size(); ++Index)
			{
				const std::string& Arguments = InCalls[Index].Arguments;
				const size_t Middle = Arguments.size() / 2;
				const std::string Piece = Half == 0 ? Arguments.substr(0, Middle) : Arguments.substr(Middle);
				Fragments.push_back(FJson{{"index", Index}, {"function", FJson{{"arguments", Piece}}}});
			}
		}
		return Fragments;
	}
}
