#include "TalvaneJsonStreamAssembly.h"

#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "Manage/TalvaneRequestState.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneSSEDecoder.h"

// Each event is read twice: once by the record reader, which knows every field of a chunk but
// drops the tool calls of a delta, and once as a JSON tree for those tool calls and for whether the
// event carries a usage at all (a usage of zeros is not an absent one). That happens once per
// request, when it ends, so the second parse costs nothing that matters.

namespace
{
	TSharedPtr<FJsonObject> ParseObject(const FString& InEvent)
	{
		TSharedPtr<FJsonObject> Object;
		if (!FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(InEvent), Object))
		{
			return nullptr;
		}
		return Object;
	}

	bool HasUsage(const FJsonObject& InEvent)
	{
		const TSharedPtr<FJsonObject>* Usage = nullptr;
		return InEvent.TryGetObjectField(TEXT("usage"), Usage);
	}

	void TakeFirst(FString& InOutValue, const FString& InCandidate)
	{
		if (InOutValue.IsEmpty())
		{
			InOutValue = InCandidate;
		}
	}

	void TakeBase(FNimbrelResponsesBase& InOutBase, const FNimbrelResponsesBase& InChunk, const bool bChunkHasUsage)
	{
		TakeFirst(InOutBase.ID, InChunk.ID);
		TakeFirst(InOutBase.Model, InChunk.Model);
		TakeFirst(InOutBase.SystemFingerprint, InChunk.SystemFingerprint);
		TakeFirst(InOutBase.Object, InChunk.Object);
		if (InOutBase.Created == 0)
		{
			InOutBase.Created = InChunk.Created;
		}
		if (bChunkHasUsage)
		{
			InOutBase.Usage = InChunk.Usage;
		}
	}

	template <typename ChoiceType>
	ChoiceType& FindOrAddChoice(TArray<ChoiceType>& InOutChoices, const int32 InIndex)
	{
		for (ChoiceType& Choice : InOutChoices)
		{
			if (Choice.Index == InIndex)
			{
				return Choice;
			}
		}
		ChoiceType& Added = InOutChoices.AddDefaulted_GetRef();
		Added.Index = InIndex;
		return Added;
	}

	FNimbrelChatResponseToolCall& FindOrAddToolCall(TArray<FNimbrelChatResponseToolCall>& InOutCalls, TArray<int32>& InOutIndices,
		const int32 InIndex)
	{
		const int32 Found = InOutIndices.Find(InIndex);
		if (Found != INDEX_NONE)
		{
			return InOutCalls[Found];
		}
		InOutIndices.Add(InIndex);
		return InOutCalls.AddDefaulted_GetRef();
	}

	/** Merges one delta's tool-call fragments into the choice's calls, by each fragment's "index" (its position when it has none). */
	void MergeToolCalls(const FJsonObject& InDelta, FNimbrelChatResponseMessage& InOutMessage, TArray<int32>& InOutIndices)
	{
		const TArray<TSharedPtr<FJsonValue>>* Fragments = nullptr;
		if (!InDelta.TryGetArrayField(TEXT("tool_calls"), Fragments))
		{
			return;
		}
		for (int32 Position = 0; Position < Fragments->Num(); ++Position)
		{
			const TSharedPtr<FJsonObject>* Fragment = nullptr;
			if (!(*Fragments)[Position].IsValid() || !(*Fragments)[Position]->TryGetObject(Fragment))
			{
				continue;
			}
			double Index = Position;
			(*Fragment)->TryGetNumberField(TEXT("index"), Index);
			FNimbrelChatResponseToolCall& Call = FindOrAddToolCall(InOutMessage.ToolCalls, InOutIndices, static_cast<int32>(Index));
			FString Text;
			if ((*Fragment)->TryGetStringField(TEXT("id"), Text))
			{
				TakeFirst(Call.ID, Text);
			}
			if ((*Fragment)->TryGetStringField(TEXT("type"), Text))
			{
				TakeFirst(Call.Type, Text);
			}
			const TSharedPtr<FJsonObject>* Function = nullptr;
			if ((*Fragment)->TryGetObjectField(TEXT("function"), Function))
			{
				Call.Function.Name += (*Function)->TryGetStringField(TEXT("name"), Text) ? Text : FString();
				Call.Function.Arguments += (*Function)->TryGetStringField(TEXT("arguments"), Text) ? Text : FString();
			}
		}
	}

	/** The delta object of the choice at that position of the event, or null. */
	const FJsonObject* FindDelta(const FJsonObject& InEvent, const int32 InPosition)
	{
		const TArray<TSharedPtr<FJsonValue>>* Choices = nullptr;
		const TSharedPtr<FJsonObject>* Choice = nullptr;
		const TSharedPtr<FJsonObject>* Delta = nullptr;
		if (InEvent.TryGetArrayField(TEXT("choices"), Choices) && Choices->IsValidIndex(InPosition) && (*Choices)[InPosition].IsValid()
			&& (*Choices)[InPosition]->TryGetObject(Choice) && (*Choice)->TryGetObjectField(TEXT("delta"), Delta))
		{
			return Delta->Get();
		}
		return nullptr;
	}

	/** Positions of the JSON choices that the record reader kept (it skips entries that are not objects). */
	TArray<int32> ObjectChoicePositions(const FJsonObject& InEvent)
	{
		TArray<int32> Positions;
		const TArray<TSharedPtr<FJsonValue>>* Choices = nullptr;
		if (InEvent.TryGetArrayField(TEXT("choices"), Choices))
		{
			for (int32 Position = 0; Position < Choices->Num(); ++Position)
			{
				if ((*Choices)[Position].IsValid() && (*Choices)[Position]->Type == EJson::Object)
				{
					Positions.Add(Position);
				}
			}
		}
		return Positions;
	}

	void MergeChatChoice(const FNimbrelChatResponseChoice& InChunk, const FJsonObject* InDelta, FNimbrelChatResponseChoice& InOutChoice,
		TArray<int32>& InOutToolIndices)
	{
		TalvaneManageBody::AppendWithoutLeadingBreaks(InOutChoice.Message.Content, InChunk.Message.Content);
		TalvaneManageBody::AppendWithoutLeadingBreaks(InOutChoice.Message.ReasoningContent, InChunk.Message.ReasoningContent);
		if (!InChunk.Message.Role.IsEmpty())
		{
			InOutChoice.Message.Role = InChunk.Message.Role;
		}
		if (!InChunk.FinishReason.IsEmpty())
		{
			InOutChoice.FinishReason = InChunk.FinishReason;
		}
		// Whole tool calls come only from a "message" object (the record reader drops those of a delta).
		for (const FNimbrelChatResponseToolCall& Whole : InChunk.Message.ToolCalls)
		{
			InOutToolIndices.Add(INDEX_NONE);
			InOutChoice.Message.ToolCalls.Add(Whole);
		}
		if (InDelta)
		{
			MergeToolCalls(*InDelta, InOutChoice.Message, InOutToolIndices);
		}
	}
}

void TalvaneJson::AssembleStreamedChatResponses(const FString& InStreamBody, FNimbrelChatResponses& OutResponses)
{
	TArray<FString> Events;
	FTalvaneSSEDecoder::DecodeAll(InStreamBody, Events);
	// The tool-call indices seen so far, per choice, parallel to each choice's ToolCalls.
	TMap<int32, TArray<int32>> ToolIndices;
	for (const FString& Event : Events)
	{
		const TSharedPtr<FJsonObject> Object = ParseObject(Event);
		if (!Object.IsValid() || TalvaneManageBody::IsErrorDocument(Event, true))
		{
			continue;
		}
		FNimbrelChatResponses Chunk;
		StringToNimbrelChatResponses(Event, Chunk);
		TakeBase(OutResponses, Chunk, HasUsage(*Object));
		const TArray<int32> Positions = ObjectChoicePositions(*Object);
		for (int32 Kept = 0; Kept < Chunk.Choices.Num(); ++Kept)
		{
			const FNimbrelChatResponseChoice& ChunkChoice = Chunk.Choices[Kept];
			const FJsonObject* Delta = Positions.IsValidIndex(Kept) ? FindDelta(*Object, Positions[Kept]) : nullptr;
			MergeChatChoice(ChunkChoice, Delta, FindOrAddChoice(OutResponses.Choices, ChunkChoice.Index),
				ToolIndices.FindOrAdd(ChunkChoice.Index));
		}
	}
}

void TalvaneJson::AssembleStreamedFIMResponses(const FString& InStreamBody, FNimbrelFIMResponses& OutResponses)
{
	TArray<FString> Events;
	FTalvaneSSEDecoder::DecodeAll(InStreamBody, Events);
	for (const FString& Event : Events)
	{
		const TSharedPtr<FJsonObject> Object = ParseObject(Event);
		if (!Object.IsValid() || TalvaneManageBody::IsErrorDocument(Event, false))
		{
			continue;
		}
		FNimbrelFIMResponses Chunk;
		StringToNimbrelFIMResponses(Event, Chunk);
		TakeBase(OutResponses, Chunk, HasUsage(*Object));
		for (const FNimbrelFIMResponseChoice& ChunkChoice : Chunk.Choices)
		{
			FNimbrelFIMResponseChoice& Choice = FindOrAddChoice(OutResponses.Choices, ChunkChoice.Index);
			// Spliced between prefix and suffix, a completion keeps its leading line breaks.
			Choice.Text.Append(ChunkChoice.Text);
			if (!ChunkChoice.FinishReason.IsEmpty())
			{
				Choice.FinishReason = ChunkChoice.FinishReason;
			}
		}
	}
}
