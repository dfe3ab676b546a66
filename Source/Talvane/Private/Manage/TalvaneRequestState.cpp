#include "TalvaneRequestState.h"

#include "Dom/JsonObject.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"

FTalvaneRequestState::FTalvaneRequestState(const ENimbrelProtocol InProtocol, TArray<FNimbrelContextMessage>* InMessages,
	TWeakPtr<uint8> InLifetime)
	: Protocol(InProtocol)
	, Messages(InMessages)
	, Lifetime(MoveTemp(InLifetime))
{
}

void FTalvaneRequestState::DecodeNewBytes(const TalvaneHttp::FTalvaneReceivedBody& InBody, FString& OutNewText, FString& OutNewReasoning)
{
	if (BytesFed >= InBody.Num())
	{
		return;
	}
	InBody.VisitFrom(static_cast<int32>(BytesFed), [this, &OutNewText, &OutNewReasoning](const uint8* InBytes, const int32 InCount)
	{
		DecodeBytes(InBytes, InCount, OutNewText, OutNewReasoning);
	});
	BytesFed = InBody.Num();
}

void FTalvaneRequestState::Finish(const TalvaneHttp::FTalvaneReceivedBody& InBody)
{
	FString NewText;
	FString NewReasoning;
	Finish(InBody, NewText, NewReasoning);
}

void FTalvaneRequestState::Finish(const TalvaneHttp::FTalvaneReceivedBody& InBody, FString& OutNewText, FString& OutNewReasoning)
{
	DecodeNewBytes(InBody, OutNewText, OutNewReasoning);
	FinishDecoding(OutNewText, OutNewReasoning);
}

void FTalvaneRequestState::Finish(const TArray<uint8>& Content)
{
	FString NewText;
	FString NewReasoning;
	Finish(Content, NewText, NewReasoning);
}

void FTalvaneRequestState::Finish(const TArray<uint8>& Content, FString& OutNewText, FString& OutNewReasoning)
{
	if (BytesFed < Content.Num())
	{
		DecodeBytes(Content.GetData() + BytesFed, Content.Num() - static_cast<int32>(BytesFed), OutNewText, OutNewReasoning);
		BytesFed = Content.Num();
	}
	FinishDecoding(OutNewText, OutNewReasoning);
}

void FTalvaneRequestState::DecodeBytes(const uint8* InBytes, const int32 InCount, FString& OutNewText, FString& OutNewReasoning)
{
	// The event ranges point into the decoder's buffer until its next Feed, so they are read at once.
	Events.Reset();
	Decoder.Feed(InBytes, InCount, Events);
	DecodeEvents(OutNewText, OutNewReasoning);
}

void FTalvaneRequestState::FinishDecoding(FString& OutNewText, FString& OutNewReasoning)
{
	Events.Reset();
	Decoder.Finish(Events);
	DecodeEvents(OutNewText, OutNewReasoning);
}

TArray<FNimbrelContextMessage>* FTalvaneRequestState::GetLiveMessages() const
{
	return Messages && Lifetime.IsValid() && !bSuperseded ? Messages : nullptr;
}

bool FTalvaneRequestState::ExtendsConversation(const TArray<FNimbrelContextMessage>& InMessages, const TWeakPtr<uint8>& InLifetime) const
{
	// The address alone is not enough: a record destroyed and another made at the same place are two
	// conversations, and their lifetime tokens tell them apart.
	const TSharedPtr<uint8> Token = Lifetime.Pin();
	return Messages == &InMessages && Token.IsValid() && Token == InLifetime.Pin();
}

TSharedRef<FTalvaneRequestState> FTalvaneRequestState::MakeRetry() const
{
	const TSharedRef<FTalvaneRequestState> Retry = MakeShared<FTalvaneRequestState>(Protocol, Messages, Lifetime);
	Retry->bStreamed = bStreamed;
	Retry->Meta = Meta;
	Retry->RequestID = RequestID;
	Retry->Retries = Retries + 1;
	Retry->bLoopKeepsRecord = bLoopKeepsRecord;
	// Times run from the first send: the wait before a retry is part of what the player waits for.
	Retry->SentSeconds = SentSeconds;
	return Retry;
}

void FTalvaneRequestState::NoteArrivals(const int64 InBytes, const double InNow)
{
	if (FirstByteSeconds < 0.0 && InBytes > 0)
	{
		FirstByteSeconds = InNow;
	}
	if (FirstTextSeconds < 0.0 && !Text.IsEmpty())
	{
		FirstTextSeconds = InNow;
	}
}

void FTalvaneRequestState::DecodeEvents(FString& OutNewText, FString& OutNewReasoning)
{
	for (const FTalvaneSSEEventRange& Event : Events)
	{
		DecodeEvent(Event, OutNewText, OutNewReasoning);
	}
}

void FTalvaneRequestState::DecodeEvent(const FTalvaneSSEEventRange& Event, FString& OutNewText, FString& OutNewReasoning)
{
	const TalvaneJson::EStreamDeltaKind Kind = DeltaReader.Read(Decoder.GetEventBytes() + Event.Offset, Event.Length, Protocol);
	if (Kind == TalvaneJson::EStreamDeltaKind::Error)
	{
		bErrorEvent = true;
		return;
	}
	// A FIM event carries its text in its choices' "text", a chat event in "content" and
	// "reasoning_content"; the reader leaves the other kind's fields empty.
	for (int32 Index = 0; Index < DeltaReader.GetNumChoices(); ++Index)
	{
		const TalvaneJson::FStreamDeltaChoice& Choice = DeltaReader.GetChoice(Index);
		if (Protocol == ENimbrelProtocol::NIMBREL_FIM)
		{
			// A completion is spliced between its prefix and suffix: a leading line break is part of it.
			Text.Append(Choice.Text);
			OutNewText.Append(Choice.Text);
		}
		else
		{
			TalvaneManageBody::AppendWithoutLeadingBreaks(Text, Choice.Content, OutNewText);
		}
		TalvaneManageBody::AppendWithoutLeadingBreaks(ReasoningText, Choice.ReasoningContent, OutNewReasoning);
		bFinishReason |= !Choice.FinishReason.IsEmpty();
	}
}

bool TalvaneManageBody::IsErrorDocument(const FString& InBody, const bool bLocalRefusal)
{
	// Answers far outnumber errors: only a body that names the keys is worth parsing again.
	// Servers write these keys in lower case; a case-sensitive scan keeps this cheap on every event.
	const bool bMayHoldError = InBody.Contains(TEXT("\"error\""), ESearchCase::CaseSensitive);
	const bool bMayBeRefusal = bLocalRefusal && InBody.Contains(TEXT("\"code\""), ESearchCase::CaseSensitive);
	if (!bMayHoldError && !bMayBeRefusal)
	{
		return false;
	}
	TSharedPtr<FJsonObject> Object;
	if (!FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(InBody), Object) || !Object.IsValid())
	{
		return false;
	}
	const TSharedPtr<FJsonValue>* Error = Object->Values.Find(TEXT("error"));
	if (Error && Error->IsValid() && !(*Error)->IsNull())
	{
		return true;
	}
	double Code = 0.0;
	FString Message;
	return bLocalRefusal && Object->TryGetNumberField(TEXT("code"), Code) && Code != 0.0
		&& Object->TryGetStringField(TEXT("message"), Message) && !Object->HasField(TEXT("choices"));
}

namespace
{
	/** Where the part of Piece that Text takes starts: past the line breaks that would lead the text. */
	int32 GetKeptStart(const FString& Text, const FString& Piece)
	{
		int32 Start = 0;
		if (Text.IsEmpty())
		{
			while (Start < Piece.Len() && (Piece[Start] == TEXT('\n') || Piece[Start] == TEXT('\r')))
			{
				++Start;
			}
		}
		return Start;
	}
}

void TalvaneManageBody::AppendWithoutLeadingBreaks(FString& Text, const FString& Piece, FString& OutAppended)
{
	const int32 Start = GetKeptStart(Text, Piece);
	const int32 Count = Piece.Len() - Start;
	if (Count > 0)
	{
		Text.AppendChars(*Piece + Start, Count);
		OutAppended.AppendChars(*Piece + Start, Count);
	}
}

void TalvaneManageBody::AppendWithoutLeadingBreaks(FString& Text, const FString& Piece)
{
	const int32 Start = GetKeptStart(Text, Piece);
	if (Start < Piece.Len())
	{
		Text.AppendChars(*Piece + Start, Piece.Len() - Start);
	}
}
