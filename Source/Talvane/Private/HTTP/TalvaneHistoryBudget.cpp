#include "HTTP/TalvaneHttp.h"
#include "TalvaneLog.h"
#include "TalvaneSettings.h"

// The history budget. Every request resends the whole conversation, so without a limit its cost and
// latency grow with playing time until the service refuses the context. The budget is counted in
// characters, since the plugin cannot count the service's tokens.

namespace TalvaneHttp
{
	namespace
	{
		int64 CountCharacters(const FNimbrelContextMessage& InMessage)
		{
			return InMessage.Content.Len() + InMessage.Name.Len();
		}

		bool IsSystemMessage(const FNimbrelContextMessage& InMessage)
		{
			return InMessage.Role == ENimbrelRole::NIMBREL_SYSTEM;
		}

		bool IsQuestion(const FNimbrelContextMessage& InMessage)
		{
			return InMessage.Role == ENimbrelRole::NIMBREL_USER;
		}

		/** The record's budget, the ini's when the record sets none; 0 means no limit. */
		int32 GetBudget(const int32 InMaxCharacters)
		{
			return InMaxCharacters > 0 ? InMaxCharacters : InMaxCharacters == 0 ? TalvaneSettings::GetMaxHistoryCharacters() : 0;
		}

		/** Where the kept last turn starts: the last question, so what follows it (tool turns) stays with it. */
		int32 FindLastTurn(const TArray<FNimbrelContextMessage>& InMessages)
		{
			for (int32 Index = InMessages.Num() - 1; Index >= 0; --Index)
			{
				if (IsQuestion(InMessages[Index]))
				{
					return Index;
				}
			}
			return FMath::Max(InMessages.Num() - 1, 0);
		}
	}

	int32 FHTTP::TrimHistory(TArray<FNimbrelContextMessage>& InMessages, const int32 InMaxCharacters)
	{
		const int32 Budget = GetBudget(InMaxCharacters);
		int64 Total = 0;
		for (const FNimbrelContextMessage& Message : InMessages)
		{
			Total += CountCharacters(Message);
		}
		if (Budget <= 0 || Total <= Budget)
		{
			return 0;
		}
		// Whole turns go, oldest first: a turn runs from a question up to the next one, so an answer, and a
		// tool call with its results, always go with their question. System messages are never counted out.
		const int32 LastTurn = FindLastTurn(InMessages);
		int32 Cut = 0;
		int32 Turns = 0;
		int32 Removed = 0;
		while (Total > Budget && Cut < LastTurn)
		{
			int32 End = Cut + 1;
			while (End < LastTurn && !IsQuestion(InMessages[End]))
			{
				++End;
			}
			const int32 RemovedBefore = Removed;
			for (int32 Index = Cut; Index < End; ++Index)
			{
				if (!IsSystemMessage(InMessages[Index]))
				{
					Total -= CountCharacters(InMessages[Index]);
					++Removed;
				}
			}
			Turns += Removed > RemovedBefore ? 1 : 0;
			Cut = End;
		}
		if (Removed == 0)
		{
			UE_LOG(TalvaneLog, Log, TEXT("History budget of %d characters: nothing could be removed; the system messages and the last turn alone hold %lld."),
				Budget, Total);
			return 0;
		}
		// One pass keeps the system messages of the removed part and everything after it, in order.
		TArray<FNimbrelContextMessage> Kept;
		Kept.Reserve(InMessages.Num() - Removed);
		for (int32 Index = 0; Index < InMessages.Num(); ++Index)
		{
			if (Index >= Cut || IsSystemMessage(InMessages[Index]))
			{
				Kept.Add(MoveTemp(InMessages[Index]));
			}
		}
		InMessages = MoveTemp(Kept);
		UE_LOG(TalvaneLog, Log, TEXT("History budget of %d characters: %d oldest turns (%d messages) removed before sending; %lld characters remain%s."),
			Budget, Turns, Removed, Total, Total > Budget ? TEXT(", still over: the system messages and the last turn alone exceed it") : TEXT(""));
		return Turns;
	}
}
