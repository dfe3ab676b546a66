#pragma once

#include <httplib.h>

#include <string>
#include <vector>

namespace TalvaneReference
{
	class FServerControl;

	/** How the events of a stream are framed. */
	struct FEventStyle
	{
		bool bCrlf = false;      // lines end with CR LF instead of LF
		bool bKeepAlive = false; // a ": keep-alive" comment before every event
		bool bDone = true;       // the stream ends with "data: [DONE]"
		bool bPingLines = false; // no blank line ends an event, and a "data: ping" line follows each answer event
	};

	/** Frames each JSON text as one "data:" event, in order, and adds the end marker. */
	std::vector<std::string> FormatEvents(const std::vector<std::string>& InJsons, const FEventStyle& InStyle);

	/** The bytes of a chunked body and how to pace them. */
	struct FDeliveryPlan
	{
		std::vector<std::string> Pieces; // each piece goes out as one chunk
		int DelayMs = 0;                 // pause between pieces
		size_t SliceBytes = 0;           // when set, the joined pieces are re-cut into slices of this size
		bool bAwkwardSlices = false;     // when set, the joined pieces are re-cut into slices of 1 to 89 bytes
		int PauseEveryPieces = 0;        // when set, DelayMs applies only after every this many pieces
		int StallAfterPiece = -1;        // pause StallMs after this piece
		int StallMs = 0;
		int DropAfterPiece = -1;         // close the connection after this piece, without the last chunk
	};

	/**
	 * Answers with a chunked body written piece by piece as the plan says. The writer gives up (and
	 * the connection closes) when the server stops or the client leaves.
	 */
	void DeliverChunked(httplib::Response& OutResponse, const std::string& InContentType, FDeliveryPlan InPlan,
		const FServerControl& InControl);
}
