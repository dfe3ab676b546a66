#include "Scenarios.h"

#include "ServerConnection.h"
#include "SseWriter.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>

namespace TalvaneReference
{
	namespace
	{
		struct FStatusError
		{
			const char* Message;
			const char* Type;
			const char* Code;
		};

		const std::map<int, FStatusError>& StatusErrors()
		{
			// Never destroyed: a handler thread may still read it while the process exits.
			static const std::map<int, FStatusError>& Errors = *new std::map<int, FStatusError>{
				{400, {"Invalid Format (status 400): the request body is malformed", "invalid_request_error", "invalid_request_error"}},
				{401, {"Authentication Fails (status 401): invalid api key", "authentication_error", "invalid_request_error"}},
				{402, {"Insufficient Balance (status 402): the account has run out of credit", "payment_required_error", "insufficient_balance"}},
				{422, {"Invalid Parameters (status 422): the request holds invalid parameters", "invalid_request_error", "invalid_parameters"}},
				{429, {"Rate Limit Reached (status 429): too many requests", "rate_limit_error", "rate_limit_exceeded"}},
				{500, {"Server Error (status 500): the server had an internal error", "server_error", "internal_error"}},
				{503, {"Server Overloaded (status 503): the server is busy", "server_error", "service_unavailable"}},
			};
			return Errors;
		}

		std::string StatusErrorBody(const int InStatus)
		{
			const std::map<int, FStatusError>::const_iterator Found = StatusErrors().find(InStatus);
			if (Found != StatusErrors().end())
			{
				return MakeErrorBody(Found->second.Message, Found->second.Type, Found->second.Code);
			}
			const std::string Status = std::to_string(InStatus);
			return MakeErrorBody("Error (status " + Status + ")", InStatus >= 500 ? "server_error" : "invalid_request_error",
				"status_" + Status);
		}

		/** A whole-number header within [InMin, InMax], or InDefault when absent or malformed. */
		long long NumberHeader(const httplib::Request& InRequest, const char* InName, const long long InDefault,
			const long long InMin, const long long InMax)
		{
			if (!InRequest.has_header(InName))
			{
				return InDefault;
			}
			const std::string Text = InRequest.get_header_value(InName);
			long long Value = 0;
			const std::from_chars_result Result = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
			if (Result.ec != std::errc() || Result.ptr != Text.data() + Text.size())
			{
				return InDefault;
			}
			return std::clamp(Value, InMin, InMax);
		}

		EScenario ScenarioKind(const std::string& InName, int& OutStatus)
		{
			// Never destroyed: a handler thread may still read it while the process exits.
			static const std::map<std::string, EScenario>& Kinds = *new std::map<std::string, EScenario>{
				{"status-500-slow", EScenario::StatusSlow}, {"drop", EScenario::Drop}, {"trickle", EScenario::Trickle},
				{"stall", EScenario::Stall}, {"stall-after-headers", EScenario::StallAfterHeaders},
				{"split", EScenario::Split}, {"keepalive", EScenario::KeepAlive}, {"crlf", EScenario::Crlf},
				{"data-in-text", EScenario::DataInText}, {"huge", EScenario::Huge}, {"whole-json", EScenario::WholeJson},
				{"error-event", EScenario::ErrorEvent}, {"refusal", EScenario::Refusal}, {"no-done", EScenario::NoDone},
				{"many-events", EScenario::ManyEvents}, {"cut", EScenario::Cut}, {"empty-stream", EScenario::EmptyStream},
				{"tool-fragments", EScenario::ToolFragments}, {"ping-lines", EScenario::PingLines},
			};
			const std::map<std::string, EScenario>::const_iterator Found = Kinds.find(InName);
			if (Found != Kinds.end())
			{
				OutStatus = Found->second == EScenario::StatusSlow ? 500 : 200;
				return Found->second;
			}
			const std::string Prefix = "status-";
			int Status = 0;
			const char* const End = InName.data() + InName.size();
			if (InName.rfind(Prefix, 0) == 0
				&& std::from_chars(InName.data() + Prefix.size(), End, Status).ptr == End
				&& Status >= 400 && Status <= 599)
			{
				OutStatus = Status;
				return EScenario::Status;
			}
			return EScenario::Normal;
		}

		/** How many requests have come with this fail key, this one included. */
		int CountAttempt(const std::string& InKey)
		{
			// Never destroyed: a handler thread may still count while the process exits.
			static std::mutex& Lock = *new std::mutex;
			static std::map<std::string, int>& Attempts = *new std::map<std::string, int>;
			const std::lock_guard<std::mutex> Guard(Lock);
			return ++Attempts[InKey];
		}

		/** Halves a body for the scenarios that send it in two parts. */
		std::vector<std::string> Halves(const std::string& InBody)
		{
			const size_t Middle = InBody.size() / 2;
			return {InBody.substr(0, Middle), InBody.substr(Middle)};
		}

		void DeliverStream(const FScenario& InScenario, const FAnswerShapes& InShapes, httplib::Response& OutResponse,
			const FServerControl& InControl)
		{
			FEventStyle Style;
			Style.bCrlf = InScenario.Kind == EScenario::Crlf;
			Style.bKeepAlive = InScenario.Kind == EScenario::KeepAlive;
			Style.bPingLines = InScenario.Kind == EScenario::PingLines;
			Style.bDone = InScenario.Kind != EScenario::NoDone && InScenario.Kind != EScenario::Cut;
			std::vector<std::string> Jsons = InShapes.Events;
			if (InScenario.Kind == EScenario::ErrorEvent)
			{
				// The role chunk and two content chunks, then the failure.
				Jsons.resize(std::min<size_t>(Jsons.size(), 3));
				Jsons.push_back(MakeErrorBody("stream interrupted", "server_error", "internal_error"));
			}

			if (InScenario.Kind == EScenario::Cut)
			{
				// The role chunk and two content chunks; the last chunk with its finish reason never comes.
				Jsons.resize(std::min<size_t>(Jsons.size(), 3));
			}

			FDeliveryPlan Plan;
			Plan.Pieces = InScenario.Kind == EScenario::EmptyStream ? std::vector<std::string>() : FormatEvents(Jsons, Style);
			switch (InScenario.Kind)
			{
			case EScenario::Trickle:
				Plan.DelayMs = InScenario.DelayMs;
				break;
			case EScenario::Split:
				Plan.DelayMs = InScenario.DelayMs;
				Plan.SliceBytes = 7;
				break;
			case EScenario::Drop:
				Plan.DropAfterPiece = std::min(2, static_cast<int>(Plan.Pieces.size()) - 2);
				break;
			case EScenario::StallAfterHeaders:
				Plan.StallAfterPiece = 0;
				Plan.StallMs = InScenario.StallMs;
				break;
			case EScenario::ManyEvents:
				// Slices of 1 to 89 bytes cut lines, events and characters anywhere; a short pause now and
				// then lets the client see the body in many different pieces.
				Plan.bAwkwardSlices = true;
				Plan.DelayMs = InScenario.DelayMs;
				Plan.PauseEveryPieces = 64;
				break;
			default:
				break;
			}
			DeliverChunked(OutResponse, "text/event-stream", std::move(Plan), InControl);
		}

		void DeliverWhole(const FScenario& InScenario, const std::string& InBody, httplib::Response& OutResponse,
			const FServerControl& InControl)
		{
			FDeliveryPlan Plan;
			Plan.Pieces = {InBody};
			switch (InScenario.Kind)
			{
			case EScenario::Trickle:
				Plan.DelayMs = InScenario.DelayMs;
				Plan.SliceBytes = 64;
				break;
			case EScenario::Split:
				Plan.DelayMs = InScenario.DelayMs;
				Plan.SliceBytes = 7;
				break;
			case EScenario::Drop:
				Plan.Pieces = Halves(InBody);
				Plan.DropAfterPiece = 0;
				break;
			case EScenario::StallAfterHeaders:
				Plan.Pieces = Halves(InBody);
				Plan.StallAfterPiece = 0;
				Plan.StallMs = InScenario.StallMs;
				break;
			default:
				OutResponse.set_content(InBody, "application/json");
				return;
			}
			DeliverChunked(OutResponse, "application/json", std::move(Plan), InControl);
		}
	}

	FScenario ReadScenario(const httplib::Request& InRequest)
	{
		FScenario Scenario;
		Scenario.Kind = ScenarioKind(InRequest.get_header_value("X-Talvane-Scenario"), Scenario.Status);
		Scenario.ToolPlay = ReadToolPlay(InRequest.get_header_value("X-Talvane-Scenario"));
		// Split pauses after every 7 bytes and a slow error body must show up as two reports, so those
		// two have their own default pace.
		const int DefaultDelayMs = Scenario.Kind == EScenario::Split || Scenario.Kind == EScenario::ManyEvents
			? (Scenario.Kind == EScenario::Split ? 2 : 1)
			: (Scenario.Kind == EScenario::StatusSlow ? 200 : 20);
		Scenario.DelayMs = static_cast<int>(NumberHeader(InRequest, "X-Talvane-Delay-Ms", DefaultDelayMs, 0, 60000));
		// A tool turn waits only when asked, so a client can act while the turn is surely still in flight.
		Scenario.ToolDelayMs = Scenario.ToolPlay != EToolPlay::Off && InRequest.has_header("X-Talvane-Delay-Ms") ? Scenario.DelayMs : 0;
		Scenario.SizeBytes = static_cast<size_t>(NumberHeader(InRequest, "X-Talvane-Size", 4 * 1024 * 1024, 1, 256LL * 1024 * 1024));
		Scenario.StallMs = static_cast<int>(NumberHeader(InRequest, "X-Talvane-Stall-Ms", 30000, 0, 600000));
		Scenario.EventCount = static_cast<int>(NumberHeader(InRequest, "X-Talvane-Events", 4000, 1, 100000));
		Scenario.FailTimes = static_cast<int>(NumberHeader(InRequest, "X-Talvane-Fail-Times", 0, 0, 1000));
		Scenario.FailKey = InRequest.get_header_value("X-Talvane-Fail-Key");
		Scenario.FailStatus = static_cast<int>(NumberHeader(InRequest, "X-Talvane-Fail-Status", 503, 400, 599));
		return Scenario;
	}

	std::string MakeErrorBody(const std::string& InMessage, const std::string& InType, const std::string& InCode)
	{
		nlohmann::ordered_json Error{{"message", InMessage}, {"type", InType}, {"param", nullptr}, {"code", InCode}};
		return DumpJson(nlohmann::ordered_json{{"error", std::move(Error)}});
	}

	bool AnswerWithoutBody(const FScenario& InScenario, httplib::Response& OutResponse, const FServerControl& InControl)
	{
		if (InScenario.FailTimes > 0 && CountAttempt(InScenario.FailKey) <= InScenario.FailTimes)
		{
			OutResponse.status = InScenario.FailStatus;
			if (InScenario.FailStatus == 429 || InScenario.FailStatus == 503)
			{
				OutResponse.set_header("Retry-After", "1");
			}
			OutResponse.set_content(StatusErrorBody(InScenario.FailStatus), "application/json");
			return true;
		}
		switch (InScenario.Kind)
		{
		case EScenario::Status:
			OutResponse.status = InScenario.Status;
			if (InScenario.Status == 429 || InScenario.Status == 503)
			{
				OutResponse.set_header("Retry-After", "1");
			}
			OutResponse.set_content(StatusErrorBody(InScenario.Status), "application/json");
			return true;
		case EScenario::StatusSlow:
		{
			OutResponse.status = InScenario.Status;
			FDeliveryPlan Plan;
			Plan.Pieces = Halves(StatusErrorBody(InScenario.Status));
			Plan.DelayMs = InScenario.DelayMs;
			DeliverChunked(OutResponse, "application/json", std::move(Plan), InControl);
			return true;
		}
		case EScenario::Refusal:
			OutResponse.set_content(R"({"code":1001,"message":"chat refused"})", "application/json");
			return true;
		default:
			return false;
		}
	}

	bool StallIfAsked(const FScenario& InScenario, const FServerControl& InControl)
	{
		if (InScenario.Kind != EScenario::Stall || InControl.Wait(InScenario.StallMs))
		{
			return true;
		}
		FServerControl::AbandonConnection();
		return false;
	}

	void ReshapeText(const FScenario& InScenario, FAnswerText& InOutText)
	{
		std::string& Content = InOutText.Content;
		if (InScenario.Kind == EScenario::DataInText)
		{
			const std::string Lead = "Echo: ";
			Content.insert(Content.rfind(Lead, 0) == 0 ? Lead.size() : 0, "data: is not a marker, ");
		}
		else if (InScenario.Kind == EScenario::Split)
		{
			Content += " 你好，世界。🙂";
		}
		else if (InScenario.Kind == EScenario::ManyEvents)
		{
			// One word per event, each with characters of two, three and four UTF-8 bytes.
			static const char* const Marks[] = {"é", "✓", "😀", "你好", "ß"};
			for (int Word = 1; Word <= InScenario.EventCount; ++Word)
			{
				Content += " w" + std::to_string(Word) + Marks[Word % 5];
			}
		}
		else if (InScenario.Kind == EScenario::Huge)
		{
			for (size_t Word = 1; Content.size() < InScenario.SizeBytes; ++Word)
			{
				Content += " word" + std::to_string(Word);
			}
		}
	}

	size_t MinPieceBytes(const FScenario& InScenario)
	{
		return InScenario.Kind == EScenario::Huge ? 4096 : 0;
	}

	void DeliverAnswer(const FScenario& InScenario, const bool bInStream, const FAnswerShapes& InShapes,
		httplib::Response& OutResponse, const FServerControl& InControl)
	{
		if (bInStream && InScenario.Kind != EScenario::WholeJson)
		{
			DeliverStream(InScenario, InShapes, OutResponse, InControl);
		}
		else
		{
			DeliverWhole(InScenario, InShapes.WholeBody, OutResponse, InControl);
		}
	}
}
