#pragma once

#include "CoreMinimal.h"
#include "TalvaneSSEByteDecoder.h"

/**
 * Incremental decoder of a streamed answer body (server-sent events).
 *
 * Takes the body's bytes in slices of any size and hands out the data of every complete event
 * exactly once, in order:
 * - lines end at LF, CRLF or a lone CR, also when the CR and the LF arrive in different slices;
 *   one UTF-8 byte-order mark at the very start is skipped;
 * - a line "data:<value>" carries data (one blank after the colon is dropped); a line that starts
 *   with ':' is a comment; every other field ("event:", "id:", "retry:", ...) carries no text;
 * - a data line that starts an event and holds one complete JSON object or array by itself (or the
 *   end marker "[DONE]") is an event at once, so servers that leave out the blank line between
 *   events work; otherwise data lines gather, joined with LF, until a blank line ends the event;
 * - a gathered event ends early, and the line is handled as the start of the next one, when the
 *   line is the end marker, when the gathered data is a JSON document already closed and the line
 *   is not blank, or when the gathered data can never be JSON (a word such as "ping") and the line
 *   begins a document ('{' or '['). So a stray line never takes the next events with it, with or
 *   without blank lines. Inside a document still open (its first line begins with '{' or '[', its
 *   brackets are not closed yet) every line belongs to it, even one that is a whole document by
 *   itself, as an object on a line of its own in pretty-printed JSON is: a multi-line event reads
 *   as one. The price: an event cut off inside its JSON, with no blank line after it, still takes
 *   the following JSON lines with it until a blank line or the end marker;
 * - an event whose data, without surrounding white space, is "[DONE]" or nothing is not handed out;
 * - text is decoded from UTF-8 only for complete lines, so a character split between slices is
 *   never broken.
 * Bytes kept between slices are never scanned again, so the cost is linear in the bytes fed,
 * however they are sliced.
 */
struct TALVANE_API FTalvaneSSEDecoder
{
	/** Feeds the next bytes; appends the data of each event they complete to OutEvents ("[DONE]" excluded). */
	void Feed(const uint8* InBytes, int32 InCount, TArray<FString>& OutEvents);

	/**
	 * Ends the stream: the unfinished last line and the gathered data become a last event (cut-off
	 * JSON included: the caller's parser decides what it is worth); a body without any data line is
	 * handed out whole, as one document. Afterwards the next Feed starts a new stream.
	 */
	void Finish(TArray<FString>& OutEvents);

	/** Forgets everything, the count of bytes fed included. */
	void Reset();

	/** Bytes fed so far. */
	int64 GetBytesFed() const { return Bytes.GetBytesFed(); }

	/**
	 * Whether the stream held a "data:" line (the body is an event stream), so far or, after Finish,
	 * until the next Feed.
	 */
	bool HasSeenDataLine() const { return Bytes.HasSeenDataLine(); }

	/** Whether the stream held the end marker "data: [DONE]", so far or, after Finish, until the next Feed. */
	bool HasSeenEndMarker() const { return Bytes.HasSeenEndMarker(); }

	/** Decodes a whole body in one go: Feed of all its bytes, then Finish. */
	static void DecodeAll(const FString& InBody, TArray<FString>& OutEvents);

private:
	/** Appends the text of each range of the byte decoder's last call. */
	void AppendEvents(const TArray<FTalvaneSSEEventRange>& InRanges, TArray<FString>& OutEvents) const;

	/** The rules live in the byte decoder; this one only turns each event's bytes into text. */
	FTalvaneSSEByteDecoder Bytes;
	TArray<FTalvaneSSEEventRange> Ranges;
};
