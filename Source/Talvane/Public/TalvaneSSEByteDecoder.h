#pragma once

#include "CoreMinimal.h"

/** Where one event's data lies in FTalvaneSSEByteDecoder::GetEventBytes(). */
struct FTalvaneSSEEventRange
{
	int32 Offset = 0;
	int32 Length = 0;
};

/**
 * FTalvaneSSEDecoder without the text: the same events, the same rules and the same flags, but
 * each event's data is handed out as its UTF-8 bytes (data lines joined with LF), which decode to
 * exactly the FString the text decoder hands out. Nothing is converted and, once its buffers have
 * grown, nothing is allocated per event, so a reader that works on UTF-8 (TalvaneJson's
 * FStreamDeltaReader) pays for the text it keeps only.
 */
struct TALVANE_API FTalvaneSSEByteDecoder
{
	/**
	 * Feeds the next bytes; appends the range of each event they complete to OutEvents ("[DONE]"
	 * and blank events excluded). The ranges index GetEventBytes() until the next Feed, Finish or Reset.
	 */
	void Feed(const uint8* InBytes, int32 InCount, TArray<FTalvaneSSEEventRange>& OutEvents);

	/** Ends the stream as FTalvaneSSEDecoder::Finish does; the next Feed starts a new stream. */
	void Finish(TArray<FTalvaneSSEEventRange>& OutEvents);

	/** Forgets everything, the count of bytes fed included. */
	void Reset();

	/** The bytes the ranges of the last Feed or Finish point into. */
	const uint8* GetEventBytes() const { return EventBytes.GetData(); }

	int64 GetBytesFed() const { return BytesFed; }
	bool HasSeenDataLine() const { return bSawDataLine; }
	bool HasSeenEndMarker() const { return bSawEndMarker; }

private:
	void ConsumeBytes(const uint8* InBytes, int32 InCount, TArray<FTalvaneSSEEventRange>& OutEvents);
	void HandleLine(const uint8* InLine, int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents);
	void HandleDataValue(const uint8* InValue, int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents);
	void DispatchGathered(TArray<FTalvaneSSEEventRange>& OutEvents);
	bool AddEvent(const uint8* InData, int32 InLength, TArray<FTalvaneSSEEventRange>& OutEvents);
	void ClearStreamState();

	/**
	 * What the data gathered for the current event is so far: nothing but white space, a JSON
	 * document begun with '{' or '[' whose brackets are still open, one whose brackets have closed
	 * (white space after them only), or something else. It tells whether a data line still belongs
	 * to the event or starts the next one.
	 */
	struct FGatheredShape
	{
		void Reset();
		/** Takes the next gathered bytes; each byte is looked at once. */
		void Append(const uint8* InBytes, int32 InLength);
		/**
		 * Whether the data line ends the gathered event instead of joining it: any line that is not
		 * blank after a closed document, a line that begins a document after data that is none.
		 */
		bool IsEndedBy(const uint8* InLine, int32 InLength) const;

		/** Whether the bytes begin, after white space, with '{' or '['. */
		static bool BeginsDocument(const uint8* InBytes, int32 InLength);
		static bool IsJsonWhiteSpace(uint8 Byte);
		static bool IsBlank(const uint8* InBytes, int32 InLength);

	private:
		enum class EKind : uint8
		{
			Blank,
			OpenDocument,
			ClosedDocument,
			Other,
		};
		EKind Kind = EKind::Blank;
		int32 Depth = 0;
		bool bInString = false;
		bool bEscaped = false;
	};

	TArray<uint8> PendingLine;
	TArray<uint8> WholeBody;
	TArray<uint8> GatheredData;
	TArray<uint8> EventBytes;
	FGatheredShape GatheredShape;
	int64 BytesFed = 0;
	int32 MarkBytesMatched = 0;
	bool bStartChecked = false;
	bool bGathering = false;
	bool bSawDataLine = false;
	bool bSawEndMarker = false;
	bool bStreamEnded = false;
	bool bSkipNextLineFeed = false;
};
