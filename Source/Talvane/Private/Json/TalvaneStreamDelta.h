#pragma once

#include "CoreMinimal.h"
#include "TalvaneStreamDeltaScan.h"
#include "TalvaneType.h"

namespace TalvaneJson
{
	/** What one choice of a streamed event gives a progress report. */
	struct FStreamDeltaChoice
	{
		/** Chat: "delta.content", else "message.content"; empty for FIM. */
		FString Content;
		/** Chat: "delta.reasoning_content", else "message.reasoning_content"; empty for FIM. */
		FString ReasoningContent;
		/** FIM: "text"; empty for chat. */
		FString Text;
		FString FinishReason;
	};

	/** What one event holds. */
	enum class EStreamDeltaKind : uint8
	{
		/** Not a JSON object (it does not parse, or its root is an array): no text, no error. */
		NotAnObject,
		/** An answer chunk with zero or more choices. */
		Answer,
		/** An error document (see TalvaneManageBody::IsErrorDocument): no choices are read. */
		Error,
	};

	/**
	 * Reads the data of one streamed event straight from its UTF-8 bytes, keeping only what a
	 * progress report needs and converting only the strings it keeps. The result is the one the
	 * tree path gives (IsErrorDocument, then StringToNimbrelChatResponses or
	 * StringToNimbrelFIMResponses on the event decoded from UTF-8), to the byte: the same JSON
	 * rules, the last of repeated keys, keys that ignore case, numbers and true/false read as text.
	 *
	 * One reader serves one request: its buffers are kept across events, so the steady path does
	 * not allocate. Not thread-safe.
	 */
	class TALVANE_API FStreamDeltaReader
	{
	public:
		/**
		 * Reads one event's data (the UTF-8 bytes after "data:", as the SSE decoder gathers them).
		 * The choices stay valid until the next call.
		 */
		EStreamDeltaKind Read(const uint8* InData, int32 InLength, ENimbrelProtocol InProtocol);

		/** The same, for data already decoded to text (one UTF-8 conversion more). */
		EStreamDeltaKind Read(const FString& InData, ENimbrelProtocol InProtocol);

		/** Choices of the last Answer read, in order; none after NotAnObject or Error. */
		int32 GetNumChoices() const { return NumChoices; }
		const FStreamDeltaChoice& GetChoice(const int32 InIndex) const { return Choices[InIndex]; }

	private:
		bool IsErrorDocument(const uint8* InData, int32 InLength, bool bLocalRefusal);
		void ReadChoices(const uint8* InData, ENimbrelProtocol InProtocol);
		void ReadText(const uint8* InData, const StreamDelta::FValueSpan& InSpan, FString& OutText);
		bool TryGetNumber(const uint8* InData, const StreamDelta::FValueSpan& InSpan, double& OutNumber);
		double NumberOf(const uint8* InData, const StreamDelta::FValueSpan& InSpan);

		/** Never shrinks, so the strings of its choices keep their memory from event to event. */
		TArray<FStreamDeltaChoice> Choices;
		int32 NumChoices = 0;
		StreamDelta::FDocumentSpans Spans;
		TArray<TCHAR> Scratch;
		FString NumberText;
	};
}
