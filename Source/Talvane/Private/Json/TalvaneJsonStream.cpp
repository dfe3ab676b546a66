// Answer and reasoning text of streamed chat bodies.

#include "TalvaneJsonStream.h"

#include "TalvaneJsonResponses.h"
#include "TalvaneSSEDecoder.h"
#include "TalvaneType.h"

namespace
{
	/** Which text of a choice's message to read: the answer or the reasoning. */
	typedef FString FNimbrelChatResponseDelta::*FChoiceTextField;

	/** Calls InVisit with the chosen text of every choice of every event of the body, empty texts included. */
	template <typename VisitorType>
	void ForEachChoiceText(const FString& InStreamBody, const FChoiceTextField InField, const VisitorType& InVisit)
	{
		TArray<FString> Events;
		FTalvaneSSEDecoder::DecodeAll(InStreamBody, Events);
		for (const FString& Event : Events)
		{
			FNimbrelChatResponses Chunk;
			TalvaneJson::StringToNimbrelChatResponses(Event, Chunk);
			for (const FNimbrelChatResponseChoice& Choice : Chunk.Choices)
			{
				InVisit(Choice.Message.*InField);
			}
		}
	}

	void JoinText(const FString& InStreamBody, const FChoiceTextField InField, FString& OutText)
	{
		// Built aside, so a caller may pass one string as both body and result.
		FString Text;
		ForEachChoiceText(InStreamBody, InField, [&Text](const FString& InText)
		{
			Text.Append(InText);
		});
		TalvaneJson::RemoveStartWrapInLine(Text);
		OutText = MoveTemp(Text);
	}

	void CutIntoStatements(const FString& InStreamBody, const FChoiceTextField InField, TArray<FString>& OutStatements, FString* OutFullText)
	{
		FString Current;
		FString FullText;
		ForEachChoiceText(InStreamBody, InField, [&Current, &FullText, &OutStatements](const FString& InText)
		{
			if (InText.IsEmpty())
			{
				return;
			}
			if (TalvaneJson::IsSplit(InText))
			{
				OutStatements.Add(Current);
				Current.Reset();
			}
			else
			{
				// A reported statement never holds a blank; line breaks and other white space stay.
				Current.Append(InText.Replace(TEXT(" "), TEXT(""), ESearchCase::CaseSensitive));
			}
			FullText.Append(InText);
		});
		if (OutFullText != nullptr)
		{
			TalvaneJson::RemoveStartWrapInLine(FullText);
			*OutFullText = MoveTemp(FullText);
		}
	}
}

void TalvaneJson::StreamStringToTextResponses(const FString& InStreamBody, FString& OutText)
{
	JoinText(InStreamBody, &FNimbrelChatResponseDelta::Content, OutText);
}

void TalvaneJson::StreamStringToReasoningTextResponses(const FString& InStreamBody, FString& OutText)
{
	JoinText(InStreamBody, &FNimbrelChatResponseDelta::ReasoningContent, OutText);
}

void TalvaneJson::StreamStringToTextResponses(const FString& InStreamBody, TArray<FString>& OutStatements, FString* OutFullText)
{
	CutIntoStatements(InStreamBody, &FNimbrelChatResponseDelta::Content, OutStatements, OutFullText);
}

void TalvaneJson::StreamStringToReasoningTextResponses(const FString& InStreamBody, TArray<FString>& OutStatements, FString* OutFullText)
{
	CutIntoStatements(InStreamBody, &FNimbrelChatResponseDelta::ReasoningContent, OutStatements, OutFullText);
}
