#include "HTTP/TalvaneHttp.h"

// The conversation bookkeeping of FHTTP. The service remembers nothing between requests, so the
// caller's record carries the whole history; these two operations keep it a sequence of turns.
// Both are loops over the array, never recursion, so no length of history can exhaust the stack.

namespace TalvaneHttp
{
	namespace
	{
		void AppendMessage(TArray<FNimbrelContextMessage>& InOutMessages, const ENimbrelRole InRole, const FString& InContent)
		{
			FNimbrelContextMessage& Message = InOutMessages.AddDefaulted_GetRef();
			Message.Role = InRole;
			Message.Content = InContent;
		}

		bool IsUserMessage(const FNimbrelContextMessage& InMessage)
		{
			return InMessage.Role == ENimbrelRole::NIMBREL_USER;
		}
	}

	void FHTTP::AddAskQuestion(const FString& InQuestion, TArray<FNimbrelContextMessage>& InMessages)
	{
		// Questions at the end were never answered: the new one takes their place. What comes before
		// them (answers, a system prompt) is kept.
		int32 FirstUnanswered = InMessages.Num();
		while (FirstUnanswered > 0 && IsUserMessage(InMessages[FirstUnanswered - 1]))
		{
			--FirstUnanswered;
		}
		// One removal for the whole run keeps a long run linear.
		if (FirstUnanswered < InMessages.Num())
		{
			InMessages.RemoveAt(FirstUnanswered, InMessages.Num() - FirstUnanswered);
		}
		AppendMessage(InMessages, ENimbrelRole::NIMBREL_USER, InQuestion);
	}

	void FHTTP::AddAnswer(const FString& InAnswer, TArray<FNimbrelContextMessage>& InMessages)
	{
		const int32 Count = InMessages.Num();
		if (Count <= 1)
		{
			AppendMessage(InMessages, ENimbrelRole::NIMBREL_ASSISTANT, InAnswer);
			return;
		}
		if (IsUserMessage(InMessages.Last()))
		{
			// An even count ending in two questions: the answer goes to the earlier one. A question after
			// a system prompt (or an answer) keeps its place and gets the answer after it.
			if (Count % 2 == 0 && IsUserMessage(InMessages.Last(1)))
			{
				InMessages.RemoveAt(Count - 1);
			}
			AppendMessage(InMessages, ENimbrelRole::NIMBREL_ASSISTANT, InAnswer);
			return;
		}
		// The answer continues the message already last, as the pieces of a streamed answer do; one
		// line break at each end of the text so far is dropped first.
		FString& Text = InMessages.Last().Content;
		if (Text.EndsWith(TEXT("\n"), ESearchCase::CaseSensitive))
		{
			Text.LeftChopInline(1, false);
		}
		if (Text.StartsWith(TEXT("\n"), ESearchCase::CaseSensitive))
		{
			Text.RemoveAt(0, 1, false);
		}
		Text += InAnswer;
	}
}
