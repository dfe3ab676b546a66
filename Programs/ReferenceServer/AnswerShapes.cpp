#include "AnswerBuilder.h"

#include <algorithm>

namespace TalvaneReference
{
	namespace
	{
		using FJson = nlohmann::ordered_json;

		constexpr double ChosenLogprob = -0.5;
		const char* const SystemFingerprint = "fp_reference";
		const char* const AlternativeTokens[] = {" the", " a", " of"};

		FJson ByteValues(const std::string& InToken)
		{
			FJson Bytes = FJson::array();
			for (const char Char : InToken)
			{
				Bytes.push_back(static_cast<int>(static_cast<unsigned char>(Char)));
			}
			return Bytes;
		}

		FJson TokenEntry(const std::string& InToken, const double InLogprob)
		{
			return FJson{{"token", InToken}, {"logprob", InLogprob}, {"bytes", ByteValues(InToken)}};
		}

		/** Chat log probabilities of the given pieces: the piece itself, then up to InTop alternatives. */
		FJson ChatLogprobs(const std::vector<std::string>& InPieces, const int InTop)
		{
			FJson Content = FJson::array();
			for (const std::string& Piece : InPieces)
			{
				FJson Entry = TokenEntry(Piece, ChosenLogprob);
				FJson Alternatives = FJson::array();
				for (int Index = 0; Index < InTop; ++Index)
				{
					const bool bChosen = Index == 0;
					const std::string Token = bChosen ? Piece : AlternativeTokens[(Index - 1) % 3];
					Alternatives.push_back(TokenEntry(Token, ChosenLogprob - Index));
				}
				Entry["top_logprobs"] = std::move(Alternatives);
				Content.push_back(std::move(Entry));
			}
			return FJson{{"content", std::move(Content)}};
		}

		/** FIM log probabilities in parallel arrays; "logprobs" repeats each token with its bytes. */
		FJson FimLogprobs(const std::vector<std::string>& InPieces)
		{
			FJson Offsets = FJson::array();
			FJson TokenLogprobs = FJson::array();
			FJson Tokens = FJson::array();
			FJson Top = FJson::array();
			FJson Entries = FJson::array();
			int CharacterOffset = 0;
			for (const std::string& Piece : InPieces)
			{
				Offsets.push_back(CharacterOffset);
				TokenLogprobs.push_back(ChosenLogprob);
				Tokens.push_back(Piece);
				Top.push_back(FJson{{Piece, ChosenLogprob}});
				Entries.push_back(TokenEntry(Piece, ChosenLogprob));
				// Offsets count characters: every byte that does not continue a UTF-8 sequence.
				CharacterOffset += static_cast<int>(std::count_if(Piece.begin(), Piece.end(), [](const char InChar)
				{
					return (static_cast<unsigned char>(InChar) & 0xC0) != 0x80;
				}));
			}
			return FJson{{"text_offset", std::move(Offsets)}, {"token_logprobs", std::move(TokenLogprobs)},
				{"tokens", std::move(Tokens)}, {"top_logprobs", std::move(Top)}, {"logprobs", std::move(Entries)}};
		}

		FJson Usage(const int InPromptTokens, const FAnswerText& InText)
		{
			const int ReasoningTokens = CountWords(InText.Reasoning);
			const int CompletionTokens = CountWords(InText.Content) + ReasoningTokens;
			return FJson{
				{"prompt_tokens", InPromptTokens},
				{"completion_tokens", CompletionTokens},
				{"total_tokens", InPromptTokens + CompletionTokens},
				{"prompt_cache_hit_tokens", 0},
				{"prompt_cache_miss_tokens", InPromptTokens},
				{"completion_tokens_details", FJson{{"reasoning_tokens", ReasoningTokens}}}};
		}

		int ChatPromptTokens(const FChatQuery& InQuery)
		{
			int Tokens = 0;
			for (const FChatMessage& Message : InQuery.Messages)
			{
				Tokens += CountWords(Message.Content);
			}
			return Tokens;
		}

		/** The one tool call of an answer; a streamed delta also numbers it with "index". */
		FJson ToolCall(const std::string& InName, const bool bInDelta)
		{
			FJson Call = bInDelta ? FJson{{"index", 0}} : FJson::object();
			Call["id"] = "call_0";
			Call["type"] = "function";
			Call["function"] = FJson{{"name", InName}, {"arguments", "{}"}};
			return Call;
		}

		/**
		 * Two streamed tool calls in pieces, as large models send them: each call first names its id,
		 * type and function, then its arguments arrive a fragment at a time, the two calls interleaved.
		 * Joined by "index": call_0 InName({"zone":"UTC"}) and call_1 InName_again({}).
		 */
		std::vector<FJson> ToolCallFragments(const std::string& InName)
		{
			const auto Arguments = [](const int InIndex, const char* InText)
			{
				return FJson{{"index", InIndex}, {"function", FJson{{"arguments", InText}}}};
			};
			return {
				FJson{{"index", 0}, {"id", "call_0"}, {"type", "function"}, {"function", FJson{{"name", InName}, {"arguments", ""}}}},
				Arguments(0, "{\"zone\":"),
				FJson{{"index", 1}, {"id", "call_1"}, {"type", "function"}, {"function", FJson{{"name", InName + "_again"}}}},
				Arguments(1, "{}"),
				Arguments(0, "\"UTC\"}"),
			};
		}

		bool CallsTools(const FChatQuery& InQuery)
		{
			return !InQuery.ToolName.empty() || !InQuery.PlannedCalls.empty();
		}

		FJson Header(const std::string& InID, const char* InObject, const std::string& InModel)
		{
			return FJson{{"id", InID}, {"object", InObject}, {"created", CreatedTime}, {"model", InModel},
				{"system_fingerprint", SystemFingerprint}};
		}

		std::string ChatChunk(const FChatQuery& InQuery, const std::string& InID, FJson InDelta, FJson InLogprobs, FJson InFinish)
		{
			FJson Chunk = Header(InID, "chat.completion.chunk", InQuery.Model);
			Chunk["choices"] = FJson::array({FJson{{"index", 0}, {"delta", std::move(InDelta)},
				{"logprobs", std::move(InLogprobs)}, {"finish_reason", std::move(InFinish)}}});
			return DumpJson(Chunk);
		}

		std::string WholeChatBody(const FChatQuery& InQuery, const FAnswerText& InText, const std::string& InID)
		{
			FJson Message{{"role", "assistant"}, {"content", InText.Content}};
			if (!InText.Reasoning.empty())
			{
				Message["reasoning_content"] = InText.Reasoning;
			}
			if (!InQuery.ToolName.empty())
			{
				Message["tool_calls"] = FJson::array({ToolCall(InQuery.ToolName, false)});
			}
			if (!InQuery.PlannedCalls.empty())
			{
				Message["tool_calls"] = ToolCallsJson(InQuery.PlannedCalls);
			}
			FJson Body = Header(InID, "chat.completion", InQuery.Model);
			Body["choices"] = FJson::array({FJson{{"index", 0}, {"message", std::move(Message)},
				{"logprobs", InQuery.bLogprobs ? ChatLogprobs(SplitIntoPieces(InText.Content), InQuery.TopLogprobs) : FJson()},
				{"finish_reason", CallsTools(InQuery) ? "tool_calls" : "stop"}}});
			Body["usage"] = Usage(ChatPromptTokens(InQuery), InText);
			return DumpJson(Body);
		}
	}

	FAnswerShapes ShapeChatAnswer(const FChatQuery& InQuery, const FAnswerText& InText, const std::string& InID, const size_t InMinPieceBytes)
	{
		FAnswerShapes Shapes;
		Shapes.WholeBody = WholeChatBody(InQuery, InText, InID);

		std::vector<std::string>& Events = Shapes.Events;
		Events.push_back(ChatChunk(InQuery, InID, FJson{{"role", "assistant"}, {"content", ""}}, FJson(), FJson()));
		for (const std::string& Piece : SplitIntoPieces(InText.Reasoning, InMinPieceBytes))
		{
			Events.push_back(ChatChunk(InQuery, InID, FJson{{"reasoning_content", Piece}}, FJson(), FJson()));
		}
		for (const std::string& Piece : SplitIntoPieces(InText.Content, InMinPieceBytes))
		{
			FJson Logprobs = InQuery.bLogprobs ? ChatLogprobs({Piece}, InQuery.TopLogprobs) : FJson();
			Events.push_back(ChatChunk(InQuery, InID, FJson{{"content", Piece}}, std::move(Logprobs), FJson()));
		}
		for (FJson& Fragment : ToolCallFragmentsOf(InQuery.PlannedCalls))
		{
			FJson Delta{{"tool_calls", FJson::array({std::move(Fragment)})}};
			Events.push_back(ChatChunk(InQuery, InID, std::move(Delta), FJson(), FJson()));
		}
		if (!InQuery.ToolName.empty() && InQuery.bToolFragments)
		{
			for (FJson& Fragment : ToolCallFragments(InQuery.ToolName))
			{
				FJson Delta{{"tool_calls", FJson::array({std::move(Fragment)})}};
				Events.push_back(ChatChunk(InQuery, InID, std::move(Delta), FJson(), FJson()));
			}
		}
		else if (!InQuery.ToolName.empty())
		{
			FJson Delta{{"tool_calls", FJson::array({ToolCall(InQuery.ToolName, true)})}};
			Events.push_back(ChatChunk(InQuery, InID, std::move(Delta), FJson(), FJson()));
		}
		Events.push_back(ChatChunk(InQuery, InID, FJson::object(), FJson(), CallsTools(InQuery) ? "tool_calls" : "stop"));
		if (InQuery.bIncludeUsage)
		{
			FJson Chunk = Header(InID, "chat.completion.chunk", InQuery.Model);
			Chunk["choices"] = FJson::array();
			Chunk["usage"] = Usage(ChatPromptTokens(InQuery), InText);
			Events.push_back(DumpJson(Chunk));
		}
		return Shapes;
	}

	FAnswerShapes ShapeFimAnswer(const FFimQuery& InQuery, const FAnswerText& InText, const std::string& InID, const size_t InMinPieceBytes)
	{
		const int PromptTokens = CountWords(InQuery.Prompt) + CountWords(InQuery.Suffix);
		FAnswerShapes Shapes;

		FJson Body = Header(InID, "text_completion", InQuery.Model);
		Body["choices"] = FJson::array({FJson{{"text", InText.Content}, {"index", 0},
			{"logprobs", InQuery.Logprobs > 0 ? FimLogprobs(SplitIntoPieces(InText.Content)) : FJson()},
			{"finish_reason", "stop"}}});
		Body["usage"] = Usage(PromptTokens, InText);
		Shapes.WholeBody = DumpJson(Body);

		const auto Event = [&InQuery, &InID](const std::string& InPiece, FJson InFinish)
		{
			FJson Chunk = Header(InID, "text_completion", InQuery.Model);
			Chunk["choices"] = FJson::array({FJson{{"text", InPiece}, {"index", 0}, {"logprobs", FJson()},
				{"finish_reason", std::move(InFinish)}}});
			return DumpJson(Chunk);
		};
		for (const std::string& Piece : SplitIntoPieces(InText.Content, InMinPieceBytes))
		{
			Shapes.Events.push_back(Event(Piece, FJson()));
		}
		Shapes.Events.push_back(Event(std::string(), "stop"));
		if (InQuery.bIncludeUsage)
		{
			FJson Chunk = Header(InID, "text_completion", InQuery.Model);
			Chunk["choices"] = FJson::array();
			Chunk["usage"] = Usage(PromptTokens, InText);
			Shapes.Events.push_back(DumpJson(Chunk));
		}
		return Shapes;
	}
}
