#include "AnswerBuilder.h"

#include <algorithm>

namespace TalvaneReference
{
	namespace
	{
		constexpr int MaxTopLogprobs = 20;

		std::string StringMember(const nlohmann::json& InObject, const char* InKey)
		{
			const nlohmann::json::const_iterator Found = InObject.find(InKey);
			return Found != InObject.end() && Found->is_string() ? Found->get<std::string>() : std::string();
		}

		bool BoolMember(const nlohmann::json& InObject, const char* InKey)
		{
			const nlohmann::json::const_iterator Found = InObject.find(InKey);
			return Found != InObject.end() && Found->is_boolean() && Found->get<bool>();
		}

		int IntMember(const nlohmann::json& InObject, const char* InKey)
		{
			const nlohmann::json::const_iterator Found = InObject.find(InKey);
			if (Found == InObject.end() || !Found->is_number())
			{
				return 0;
			}
			// Clamped first: casting an out-of-range double to int is undefined.
			return static_cast<int>(std::clamp(Found->get<double>(), -1.0e6, 1.0e6));
		}

		bool IncludesUsage(const nlohmann::json& InBody)
		{
			const nlohmann::json::const_iterator Options = InBody.find("stream_options");
			return Options != InBody.end() && Options->is_object() && BoolMember(*Options, "include_usage");
		}

		/** The function a tool call names: the first offered tool's, unless the caller chose "none". */
		std::string ChooseToolName(const nlohmann::json& InBody)
		{
			const nlohmann::json::const_iterator Tools = InBody.find("tools");
			if (Tools == InBody.end() || !Tools->is_array() || Tools->empty())
			{
				return std::string();
			}
			const nlohmann::json::const_iterator Choice = InBody.find("tool_choice");
			if (Choice != InBody.end() && Choice->is_string() && Choice->get<std::string>() == "none")
			{
				return std::string();
			}
			const nlohmann::json& FirstTool = Tools->front();
			std::string Name;
			if (FirstTool.is_object())
			{
				const nlohmann::json::const_iterator Function = FirstTool.find("function");
				if (Function != FirstTool.end() && Function->is_object())
				{
					Name = StringMember(*Function, "name");
				}
			}
			// An unnamed tool still gets a call, so the caller sees the tool path taken.
			return Name.empty() ? std::string("tool") : Name;
		}

		bool IsBlank(const char InChar)
		{
			return InChar == ' ' || InChar == '\t' || InChar == '\n' || InChar == '\r';
		}
	}

	bool ReadChatQuery(const nlohmann::json& InBody, FChatQuery& OutQuery, std::string& OutProblem)
	{
		const nlohmann::json::const_iterator Messages = InBody.find("messages");
		if (Messages == InBody.end() || !Messages->is_array())
		{
			OutProblem = "the request body has no \"messages\" array";
			return false;
		}
		for (const nlohmann::json& Message : *Messages)
		{
			if (Message.is_object())
			{
				OutQuery.Messages.push_back({StringMember(Message, "role"), StringMember(Message, "content")});
			}
		}
		OutQuery.Model = StringMember(InBody, "model");
		OutQuery.bStream = BoolMember(InBody, "stream");
		OutQuery.bIncludeUsage = OutQuery.bStream && IncludesUsage(InBody);
		OutQuery.ToolName = ChooseToolName(InBody);
		OutQuery.bLogprobs = BoolMember(InBody, "logprobs");
		OutQuery.TopLogprobs = OutQuery.bLogprobs ? std::clamp(IntMember(InBody, "top_logprobs"), 0, MaxTopLogprobs) : 0;
		return true;
	}

	bool ReadFimQuery(const nlohmann::json& InBody, FFimQuery& OutQuery, std::string& OutProblem)
	{
		const nlohmann::json::const_iterator Prompt = InBody.find("prompt");
		if (Prompt == InBody.end() || !Prompt->is_string())
		{
			OutProblem = "the request body has no \"prompt\" string";
			return false;
		}
		OutQuery.Model = StringMember(InBody, "model");
		OutQuery.Prompt = Prompt->get<std::string>();
		OutQuery.Suffix = StringMember(InBody, "suffix");
		OutQuery.bEcho = BoolMember(InBody, "echo");
		OutQuery.Logprobs = std::clamp(IntMember(InBody, "logprobs"), 0, MaxTopLogprobs);
		OutQuery.bStream = BoolMember(InBody, "stream");
		OutQuery.bIncludeUsage = OutQuery.bStream && IncludesUsage(InBody);
		return true;
	}

	FAnswerText MakeChatText(const FChatQuery& InQuery)
	{
		int UserTurns = 0;
		std::string LastUserContent;
		const FChatMessage* FirstSystem = nullptr;
		for (const FChatMessage& Message : InQuery.Messages)
		{
			if (Message.Role == "user")
			{
				++UserTurns;
				LastUserContent = Message.Content;
			}
			else if (Message.Role == "system" && FirstSystem == nullptr)
			{
				FirstSystem = &Message;
			}
		}

		FAnswerText Text;
		Text.Content = "Echo: " + LastUserContent + " (turn " + std::to_string(UserTurns) + ", "
			+ std::to_string(InQuery.Messages.size()) + (InQuery.Messages.size() == 1 ? " message)" : " messages)");
		if (FirstSystem != nullptr)
		{
			Text.Content += " [system: " + FirstSystem->Content + "]";
		}
		if (InQuery.bLocal)
		{
			Text.Content += " [chat: " + InQuery.ChatID + "]";
		}
		if (InQuery.Model == "nimbrel-reasoner")
		{
			Text.Reasoning = "Thinking about \"" + LastUserContent + "\".";
		}
		return Text;
	}

	FAnswerText MakeFimText(const FFimQuery& InQuery)
	{
		FAnswerText Text;
		const std::string Fill = "[fill between \"" + InQuery.Prompt + "\" and \"" + InQuery.Suffix + "\"]";
		Text.Content = InQuery.bEcho ? InQuery.Prompt + Fill : Fill;
		return Text;
	}

	std::vector<std::string> SplitIntoPieces(const std::string& InText, const size_t InMinPieceBytes)
	{
		std::vector<std::string> Pieces;
		size_t Start = 0;
		while (Start < InText.size())
		{
			size_t End = Start;
			// Every piece is its leading blanks plus one word; UTF-8 never hides an ASCII blank inside a
			// character, so pieces never cut one.
			do
			{
				while (End < InText.size() && IsBlank(InText[End]))
				{
					++End;
				}
				while (End < InText.size() && !IsBlank(InText[End]))
				{
					++End;
				}
			}
			while (End < InText.size() && End - Start < InMinPieceBytes);
			Pieces.push_back(InText.substr(Start, End - Start));
			Start = End;
		}
		return Pieces;
	}

	int CountWords(const std::string& InText)
	{
		int Words = 0;
		bool bInWord = false;
		for (const char Char : InText)
		{
			const bool bBlank = IsBlank(Char);
			if (!bBlank && !bInWord)
			{
				++Words;
			}
			bInWord = !bBlank;
		}
		return Words;
	}

	std::string DumpJson(const nlohmann::ordered_json& InJson)
	{
		return InJson.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
	}
}
