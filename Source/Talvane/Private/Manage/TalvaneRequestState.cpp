#include "TalvaneRequestState.h"

#include "Dom/JsonObject.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneJsonStream.h"

FTalvaneRequestState::FTalvaneRequestState(const ENimbrelProtocol InProtocol, TArray<FNimbrelContextMessage>* InMessages,
	TWeakPtr<uint8> InLifetime)
	: Protocol(InProtocol)
	, Messages(InMessages)
	, Lifetime(MoveTemp(InLifetime))
{
}

void FTalvaneRequestState::DecodeNewBytes(const TArray<uint8>& Content, FString& OutNewText, FString& OutNewReasoning)
{
	if (BytesFed >= Content.Num())
	{
		return;
	}
	TArray<FString> Events;
	Decoder.Feed(Content.GetData() + BytesFed, Content.Num() - static_cast<int32>(BytesFed), Events);
	BytesFed = Content.Num();
	DecodeEvents(Events, OutNewText, OutNewReasoning);
}

void FTalvaneRequestState::Finish(const TArray<uint8>& Content)
{
	FString NewText;
	FString NewReasoning;
	Finish(Content, NewText, NewReasoning);
}

void FTalvaneRequestState::Finish(const TArray<uint8>& Content, FString& OutNewText, FString& OutNewReasoning)
{
	DecodeNewBytes(Content, OutNewText, OutNewReasoning);
	TArray<FString> Events;
	Decoder.Finish(Events);
	DecodeEvents(Events, OutNewText, OutNewReasoning);
}

TArray<FNimbrelContextMessage>* FTalvaneRequestState::GetLiveMessages() const
{
	return Messages && Lifetime.IsValid() ? Messages : nullptr;
}

TSharedRef<FTalvaneRequestState> FTalvaneRequestState::MakeRetry() const
{
	const TSharedRef<FTalvaneRequestState> Retry = MakeShared<FTalvaneRequestState>(Protocol, Messages, Lifetime);
	Retry->bStreamed = bStreamed;
	Retry->Meta = Meta;
	Retry->RequestID = RequestID;
	Retry->Retries = Retries + 1;
	return Retry;
}

void FTalvaneRequestState::DecodeEvents(const TArray<FString>& Events, FString& OutNewText, FString& OutNewReasoning)
{
	for (const FString& Event : Events)
	{
		DecodeEvent(Event, OutNewText, OutNewReasoning);
	}
}

void FTalvaneRequestState::DecodeEvent(const FString& Event, FString& OutNewText, FString& OutNewReasoning)
{
	if (TalvaneManageBody::IsErrorDocument(Event, Protocol == ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
	{
		bErrorEvent = true;
		return;
	}
	if (Protocol == ENimbrelProtocol::NIMBREL_FIM)
	{
		// A FIM event carries its text in its choices' "text".
		FNimbrelFIMResponses Chunk;
		TalvaneJson::StringToNimbrelFIMResponses(Event, Chunk);
		for (const FNimbrelFIMResponseChoice& Choice : Chunk.Choices)
		{
			OutNewText += TalvaneManageBody::AppendWithoutLeadingBreaks(Text, Choice.Text);
			bFinishReason |= !Choice.FinishReason.IsEmpty();
		}
		return;
	}
	FNimbrelChatResponses Chunk;
	TalvaneJson::StringToNimbrelChatResponses(Event, Chunk);
	for (const FNimbrelChatResponseChoice& Choice : Chunk.Choices)
	{
		OutNewText += TalvaneManageBody::AppendWithoutLeadingBreaks(Text, Choice.Message.Content);
		OutNewReasoning += TalvaneManageBody::AppendWithoutLeadingBreaks(ReasoningText, Choice.Message.ReasoningContent);
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

FString TalvaneManageBody::AppendWithoutLeadingBreaks(FString& Text, const FString& Piece)
{
	if (!Text.IsEmpty())
	{
		Text += Piece;
		return Piece;
	}
	FString Trimmed = Piece;
	TalvaneJson::RemoveStartWrapInLine(Trimmed);
	Text += Trimmed;
	return Trimmed;
}
