#include "SseWriter.h"

#include "ServerConnection.h"

#include <memory>

namespace TalvaneReference
{
	namespace
	{
		/** A plan and how far its writing got; shared by the calls of one content provider. */
		struct FDeliveryCursor
		{
			FDeliveryPlan Plan;
			size_t Next = 0;
		};

		/** The pieces joined and cut again; a slice size of 0 cuts slices of 1 to 89 bytes in a fixed odd order. */
		std::vector<std::string> Reslice(const std::vector<std::string>& InPieces, const size_t InSliceBytes)
		{
			std::string Joined;
			for (const std::string& Piece : InPieces)
			{
				Joined += Piece;
			}
			std::vector<std::string> Slices;
			size_t Offset = 0;
			for (size_t Index = 0; Offset < Joined.size(); ++Index)
			{
				const size_t Size = InSliceBytes > 0 ? InSliceBytes : 1 + (Index * 37) % 89;
				Slices.push_back(Joined.substr(Offset, Size));
				Offset += Size;
			}
			return Slices;
		}

		/** Writes the next piece; false ends the response without its terminating chunk. */
		bool WriteNextPiece(FDeliveryCursor& InOutCursor, httplib::DataSink& InSink, const FServerControl& InControl)
		{
			const FDeliveryPlan& Plan = InOutCursor.Plan;
			if (InControl.IsStopping() || !InSink.is_writable())
			{
				return false;
			}
			if (InOutCursor.Next >= Plan.Pieces.size())
			{
				InSink.done();
				return true;
			}
			const int Index = static_cast<int>(InOutCursor.Next++);
			const std::string& Piece = Plan.Pieces[Index];
			// An empty write would read as the end of the body, so empty pieces are skipped.
			if (!Piece.empty() && !InSink.write(Piece.data(), Piece.size()))
			{
				return false;
			}
			if (Index == 0)
			{
				InControl.NoteBodyStarted();
			}
			if (Index == Plan.DropAfterPiece)
			{
				return false;
			}
			if (Index == Plan.StallAfterPiece && !InControl.Wait(Plan.StallMs))
			{
				return false;
			}
			if (InOutCursor.Next == Plan.Pieces.size())
			{
				InSink.done();
				return true;
			}
			const bool bPause = Plan.PauseEveryPieces <= 0 || InOutCursor.Next % static_cast<size_t>(Plan.PauseEveryPieces) == 0;
			return Plan.DelayMs <= 0 || !bPause || InControl.Wait(Plan.DelayMs);
		}
	}

	std::vector<std::string> FormatEvents(const std::vector<std::string>& InJsons, const FEventStyle& InStyle)
	{
		const std::string LineEnd = InStyle.bCrlf ? "\r\n" : "\n";
		const std::string KeepAlive = ": keep-alive" + LineEnd + LineEnd;
		std::vector<std::string> Events;
		const std::string EventEnd = InStyle.bPingLines ? "data: ping" + LineEnd : LineEnd;
		const auto Add = [&Events, &InStyle, &LineEnd, &KeepAlive](const std::string& InData, const std::string& InEnd)
		{
			Events.push_back((InStyle.bKeepAlive ? KeepAlive : std::string()) + "data: " + InData + LineEnd + InEnd);
		};
		for (const std::string& Json : InJsons)
		{
			Add(Json, EventEnd);
		}
		if (InStyle.bDone)
		{
			Add("[DONE]", InStyle.bPingLines ? std::string() : LineEnd);
		}
		return Events;
	}

	void DeliverChunked(httplib::Response& OutResponse, const std::string& InContentType, FDeliveryPlan InPlan,
		const FServerControl& InControl)
	{
		if (InPlan.SliceBytes > 0 || InPlan.bAwkwardSlices)
		{
			InPlan.Pieces = Reslice(InPlan.Pieces, InPlan.bAwkwardSlices ? 0 : InPlan.SliceBytes);
		}
		const std::shared_ptr<FDeliveryCursor> Cursor = std::make_shared<FDeliveryCursor>();
		Cursor->Plan = std::move(InPlan);
		// The control outlives every provider: Stop joins all workers before the server state goes.
		const FServerControl* Control = &InControl;
		OutResponse.set_header("Cache-Control", "no-cache");
		OutResponse.set_chunked_content_provider(InContentType, [Cursor, Control](size_t, httplib::DataSink& InSink)
		{
			return WriteNextPiece(*Cursor, InSink, *Control);
		});
	}
}
