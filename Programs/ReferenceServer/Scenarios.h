#pragma once

#include "AnswerBuilder.h"
#include "ToolScenario.h"

#include <httplib.h>

#include <cstdint>
#include <string>

namespace TalvaneReference
{
	class FServerControl;

	/** The faults a request can ask for with the header "X-Talvane-Scenario". */
	enum class EScenario : uint8_t
	{
		Normal,
		Status,            // status-400 ... status-503
		StatusSlow,        // status-500-slow
		Drop,
		Trickle,
		Stall,
		StallAfterHeaders,
		Split,
		KeepAlive,
		Crlf,
		DataInText,
		Huge,
		WholeJson,
		ErrorEvent,
		Refusal,
		NoDone,
		ManyEvents,        // many-events: "X-Talvane-Events" one-word events of multi-byte text, cut at odd places
		Cut,               // cut: a stream that ends cleanly after three events, with no finish reason and no end marker
		EmptyStream,       // empty-stream: a streamed answer with an empty body
		ToolFragments,     // tool-fragments: a streamed tool call answer sends two calls in interleaved fragments
		PingLines,         // ping-lines: events without blank lines, each followed by a "data: ping" line that is not JSON
	};

	/** A scenario with its parameters, read from the request headers. */
	struct FScenario
	{
		EScenario Kind = EScenario::Normal;
		int Status = 200;
		int DelayMs = 20;                     // "X-Talvane-Delay-Ms"
		size_t SizeBytes = 4 * 1024 * 1024;   // "X-Talvane-Size"
		int StallMs = 30000;                  // "X-Talvane-Stall-Ms"
		int EventCount = 4000;                // "X-Talvane-Events"
		int FailTimes = 0;                    // "X-Talvane-Fail-Times": the first this many requests with ...
		std::string FailKey;                  // ... the same "X-Talvane-Fail-Key" fail ...
		int FailStatus = 503;                 // ... with "X-Talvane-Fail-Status"; later ones are answered
		EToolPlay ToolPlay = EToolPlay::Off;  // tools, tools-unlisted, tools-malformed, tools-endless (delivered as Normal)
		int ToolDelayMs = 0;                  // tools scenarios: "X-Talvane-Delay-Ms" when sent, a wait before each answer
	};

	/** Reads the scenario headers; an unknown or absent scenario is Normal. */
	FScenario ReadScenario(const httplib::Request& InRequest);

	/** The cloud error body: {"error":{"message","type","param":null,"code"}}. */
	std::string MakeErrorBody(const std::string& InMessage, const std::string& InType, const std::string& InCode);

	/** Answers the scenarios that need no request body (error statuses, refusal); true when it did. */
	bool AnswerWithoutBody(const FScenario& InScenario, httplib::Response& OutResponse, const FServerControl& InControl);

	/**
	 * Holds the request back for a stall; false when the client left or the server stopped first, in
	 * which case the connection has been cut and nothing more may be answered.
	 */
	bool StallIfAsked(const FScenario& InScenario, const FServerControl& InControl);

	/** Rewrites the answer text as the scenario asks (marker look-alikes, multi-byte text, huge size). */
	void ReshapeText(const FScenario& InScenario, FAnswerText& InOutText);

	/** Smallest stream piece for the scenario: huge answers go in large pieces. */
	size_t MinPieceBytes(const FScenario& InScenario);

	/** Sends the shaped answer, streamed or whole, the way the scenario asks. */
	void DeliverAnswer(const FScenario& InScenario, bool bInStream, const FAnswerShapes& InShapes,
		httplib::Response& OutResponse, const FServerControl& InControl);
}
