#include "Misc/AutomationTest.h"
#include "TalvaneJsonStream.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/** A streamed chat body with one event per text; texts are JSON-escaped by the caller. */
	FString StreamOf(const TArray<FString>& Contents, const TCHAR* LineEnd = TEXT("\n"))
	{
		FString Body;
		for (const FString& Content : Contents)
		{
			Body += FString::Printf(TEXT("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"%s\"}}]}%s%s"), *Content, LineEnd, LineEnd);
		}
		return Body + TEXT("data: [DONE]") + LineEnd + LineEnd;
	}
}

BEGIN_DEFINE_SPEC(FTalvaneStreamTextSpec, "Talvane.StreamText", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FString Text;
	FString FullText;
	TArray<FString> Statements;
END_DEFINE_SPEC(FTalvaneStreamTextSpec)

void FTalvaneStreamTextSpec::Define()
{
	BeforeEach([this]()
	{
		Text = TEXT("stale");
		FullText = TEXT("stale");
		Statements.Reset();
	});

	Describe(TEXT("Text"), [this]()
	{
		It(TEXT("JoinsTheAnswerAndTheReasoningSeparately"), [this]()
		{
			const FString Body = TEXT("data: {\"choices\":[{\"delta\":{\"role\":\"assistant\",\"content\":null,\"reasoning_content\":\"Let me \"}}]}\n\n")
				TEXT("data: {\"choices\":[{\"delta\":{\"content\":null,\"reasoning_content\":\"think.\"}}]}\n\n")
				TEXT("data: {\"choices\":[{\"delta\":{\"content\":\"Answer\",\"reasoning_content\":null}}]}\n\n")
				TEXT("data: {\"choices\":[],\"usage\":{\"total_tokens\":9}}\n\ndata: [DONE]\n\n");
			TalvaneJson::StreamStringToTextResponses(Body, Text);
			TestTrue(TEXT("Answer: null contents add nothing"), Text.Equals(TEXT("Answer"), ESearchCase::CaseSensitive));
			TalvaneJson::StreamStringToReasoningTextResponses(Body, Text);
			TestTrue(TEXT("Reasoning"), Text.Equals(TEXT("Let me think."), ESearchCase::CaseSensitive));
		});

		It(TEXT("DropsOnlyTheLeadingLineBreaks"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("\\n\\n"), TEXT("Hi"), TEXT("\\r\\nthere")}), Text);
			TestTrue(TEXT("Text"), Text.Equals(TEXT("Hi\r\nthere"), ESearchCase::CaseSensitive));
		});

		It(TEXT("KeepsDataMarkersInsideTheAnswer"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("Send data: 1"), TEXT(", then\\ndata: 2")}), Text);
			TestTrue(TEXT("Text"), Text.Equals(TEXT("Send data: 1, then\ndata: 2"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReadsEveryEventAfterADataLineThatIsNotJson"), [this]()
		{
			const FString One = TEXT("data: {\"choices\":[{\"delta\":{\"content\":\"One\"}}]}");
			const FString Two = TEXT("data: {\"choices\":[{\"delta\":{\"content\":\" two\"}}]}");
			const FString Three = TEXT("data:{\"choices\":[{\"delta\":{\"content\":\" three\"}}]}");
			for (const TCHAR* const LineEnd : {TEXT("\n"), TEXT("\r\n")})
			{
				const FString End(LineEnd);
				// Without blank lines, and with a keep-alive word directly before the events that a blank line ends.
				TalvaneJson::StreamStringToTextResponses(One + End + TEXT("data: ping") + End + Two + End + Three + End + TEXT("data: [DONE]") + End, Text);
				TestTrue(TEXT("without blank lines"), Text.Equals(TEXT("One two three"), ESearchCase::CaseSensitive));
				TalvaneJson::StreamStringToTextResponses(One + End + End + TEXT("data: keepalive") + End + Two + End + End
					+ TEXT("data: keepalive") + End + Three + End + End, Text);
				TestTrue(TEXT("with blank lines"), Text.Equals(TEXT("One two three"), ESearchCase::CaseSensitive));
			}
		});

		It(TEXT("ReadsTheSameTextWhateverTheLineEnds"), [this]()
		{
			const TArray<FString> Contents = {TEXT("你好"), TEXT("，世界"), TEXT("😀")};
			for (const TCHAR* const LineEnd : {TEXT("\n"), TEXT("\r\n"), TEXT("\r")})
			{
				TalvaneJson::StreamStringToTextResponses(StreamOf(Contents, LineEnd), Text);
				TestTrue(TEXT("Text"), Text.Equals(TEXT("你好，世界😀"), ESearchCase::CaseSensitive));
			}
		});

		It(TEXT("ReadsTheMessageOfAWholeAnswer"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(TEXT("{\"choices\":[{\"message\":{\"content\":\"Whole\"}}]}"), Text);
			TestTrue(TEXT("Text"), Text.Equals(TEXT("Whole"), ESearchCase::CaseSensitive));
		});

		It(TEXT("GivesEmptyTextForABodyWithoutAnswers"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(TEXT(": keep-alive\n\n"), Text);
			TestTrue(TEXT("Text"), Text.Equals(TEXT(""), ESearchCase::CaseSensitive));
		});
	});

	Describe(TEXT("Statements"), [this]()
	{
		It(TEXT("CutAtEventsThatAreOneMarkAndDropBlanksAndTheOpenLast"), [this]()
		{
			Statements.Add(TEXT("earlier"));
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("Hello"), TEXT(" world"), TEXT("."), TEXT("Next")}), Statements, &FullText);
			TestTrue(TEXT("Statements are appended"), FString(FString::Join(Statements, TEXT("|"))).Equals(TEXT("earlier|Helloworld"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Full text"), FullText.Equals(TEXT("Hello world.Next"), ESearchCase::CaseSensitive));
		});

		It(TEXT("DoNotCutAtAMarkWithALineBreak"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("A"), TEXT(".\\n"), TEXT("B"), TEXT("。")}), Statements);
			TestTrue(TEXT("Statements"), FString(FString::Join(Statements, TEXT("|"))).Equals(TEXT("A.\nB"), ESearchCase::CaseSensitive));
		});

		It(TEXT("CutTheReasoningTheSameWay"), [this]()
		{
			const FString Body = TEXT("data: {\"choices\":[{\"delta\":{\"reasoning_content\":\"\\nA b\"}}]}\n")
				TEXT("data: {\"choices\":[{\"delta\":{\"reasoning_content\":\"？\"}}]}\n");
			TalvaneJson::StreamStringToReasoningTextResponses(Body, Statements, &FullText);
			TestTrue(TEXT("Statements"), FString(FString::Join(Statements, TEXT("|"))).Equals(TEXT("\nAb"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Full text"), FullText.Equals(TEXT("A b？"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
