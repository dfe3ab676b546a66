#pragma once

#include "CoreMinimal.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "Misc/Optional.h"
#include "Json/TalvaneStreamDelta.h"
#include "TalvaneSSEByteDecoder.h"
#include "TalvaneType.h"

/**
 * What the manager keeps for one request in flight: the body the transport receives for it, the
 * conversation its answer extends, and the streamed text decoded so far. Progress feeds it only the
 * bytes that arrived since the previous report, so the work per report follows the new bytes, not
 * the body so far.
 */
struct TALVANE_API FTalvaneRequestState
{
	FTalvaneRequestState(ENimbrelProtocol InProtocol, TArray<FNimbrelContextMessage>* InMessages, TWeakPtr<uint8> InLifetime);

	/** Decodes the bytes of the body not seen before; the text they complete is added to Text and returned. */
	void DecodeNewBytes(const TalvaneHttp::FTalvaneReceivedBody& InBody, FString& OutNewText, FString& OutNewReasoning);
	/** Decodes the rest of the finished body, including a last event without its line end. */
	void Finish(const TalvaneHttp::FTalvaneReceivedBody& InBody);
	/** As Finish, returning the text that only the end of the body completed (it was never in a progress report). */
	void Finish(const TalvaneHttp::FTalvaneReceivedBody& InBody, FString& OutNewText, FString& OutNewReasoning);
	/** The same two, for a body the transport did not keep: Content is the whole of it. */
	void Finish(const TArray<uint8>& Content);
	void Finish(const TArray<uint8>& Content, FString& OutNewText, FString& OutNewReasoning);

	/**
	 * Whether the body decoded so far is an event stream: it has a "data:" line. An error body is a
	 * JSON document, so it never is; that tells it apart while the status code is still unknown.
	 */
	bool IsEventStream() const { return Decoder.HasSeenDataLine(); }

	/**
	 * Whether a finished stream was cut off: it carried neither a finish reason nor the end marker,
	 * so the connection closed before the answer was whole (an empty body included).
	 */
	bool IsCutOff() const { return !bFinishReason && !Decoder.HasSeenEndMarker(); }

	/** The conversation to extend, or null when there is none, its record has been destroyed, or a newer question superseded this one. */
	TArray<FNimbrelContextMessage>* GetLiveMessages() const;

	/** Whether this request extends the conversation InMessages of the record that InLifetime watches, and that record still lives. */
	bool ExtendsConversation(const TArray<FNimbrelContextMessage>& InMessages, const TWeakPtr<uint8>& InLifetime) const;

	/** A fresh state for sending the same request again: same conversation, nothing decoded, one attempt more. */
	TSharedRef<FTalvaneRequestState> MakeRetry() const;

	const ENimbrelProtocol Protocol;
	/**
	 * Answer and reasoning text so far. A chat answer and its reasoning start at their first character
	 * that is not a line break; a completion (FIM) keeps every character, as its whole answer does.
	 */
	FString Text;
	FString ReasoningText;
	/** An event carried an error instead of an answer. */
	bool bErrorEvent = false;
	/** A choice of some event named why the answer ended. */
	bool bFinishReason = false;
	/** The request asked for a stream. A whole answer is read once it is complete, so progress decodes nothing of it. */
	bool bStreamed = true;
	/** The request's headers as reports carry them; made on the first progress report, since they never change. */
	TOptional<FNimbrelContextInfo> Meta;
	/** The body as the transport receives it; null for a request the transport did not send. */
	TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Body;
	/** The GUID the caller holds; it stays the same when the request is sent again. */
	FGuid RequestID;
	/** The sent-bytes count of the latest progress report, for a report made at completion. */
	int32 LastBytesSent = 0;
	/** How often the request has been sent again. */
	int32 Retries = 0;
	/** When the request was first sent, and when its first byte and first answer text arrived (FPlatformTime::Seconds; negative: not yet). */
	double SentSeconds = -1.0;
	double FirstByteSeconds = -1.0;
	double FirstTextSeconds = -1.0;
	/** The token usage the server sent, once the request has finished. */
	TOptional<FNimbrelChatResponseUsage> Usage;
	/** Notes the arrival of the first byte and of the first text, once each. */
	void NoteArrivals(int64 InBytes, double InNow);

	/**
	 * A step of a tool loop: the record is named, so a newer question supersedes the step, but the loop
	 * writes the answer's turn itself (with its tool calls), so the manager writes nothing.
	 */
	bool bLoopKeepsRecord = false;

	/** The caller cancelled the request: it is never sent again. */
	bool bCancelled = false;
	/**
	 * A newer question was sent on the same conversation: this request is cancelled, reports nothing
	 * more as progress, ends as a failure that says so, and never writes into the record.
	 */
	bool bSuperseded = false;

private:
	void DecodeBytes(const uint8* InBytes, int32 InCount, FString& OutNewText, FString& OutNewReasoning);
	void DecodeEvents(FString& OutNewText, FString& OutNewReasoning);
	void FinishDecoding(FString& OutNewText, FString& OutNewReasoning);
	void DecodeEvent(const FTalvaneSSEEventRange& Event, FString& OutNewText, FString& OutNewReasoning);

	TArray<FNimbrelContextMessage>* const Messages;
	const TWeakPtr<uint8> Lifetime;
	/**
	 * The event bytes go straight from the decoder to the reader, which converts only the strings a
	 * report keeps; both keep their buffers from event to event, so a steady stream allocates nothing
	 * per event but the text it adds.
	 */
	FTalvaneSSEByteDecoder Decoder;
	TalvaneJson::FStreamDeltaReader DeltaReader;
	TArray<FTalvaneSSEEventRange> Events;
	int64 BytesFed = 0;
};

namespace TalvaneManageBody
{
	/**
	 * Whether a body or event carries an error instead of an answer: a top-level "error" member that is
	 * not null, or, when bLocalRefusal, the local chat server's refusal (a non-zero "code", a "message"
	 * and no "choices").
	 */
	TALVANE_API bool IsErrorDocument(const FString& InBody, bool bLocalRefusal);

	/**
	 * Appends Piece to Text, dropping line breaks that would lead the text, and appends what was
	 * appended to OutAppended as well.
	 */
	TALVANE_API void AppendWithoutLeadingBreaks(FString& Text, const FString& Piece, FString& OutAppended);

	/** The same, when nothing else needs what was appended. */
	TALVANE_API void AppendWithoutLeadingBreaks(FString& Text, const FString& Piece);
}
