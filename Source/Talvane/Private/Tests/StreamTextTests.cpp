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
			TestEqual(TEXT("Answer: null contents add nothing"), Text, TEXT("Answer"));
			TalvaneJson::StreamStringToReasoningTextResponses(Body, Text);
			TestEqual(TEXT("Reasoning"), Text, TEXT("Let me think."));
		});

		It(TEXT("DropsOnlyTheLeadingLineBreaks"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("\\n\\n"), TEXT("Hi"), TEXT("\\r\\nthere")}), Text);
			TestEqual(TEXT("Text"), Text, TEXT("Hi\r\nthere"));
		});

		It(TEXT("KeepsDataMarkersInsideTheAnswer"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("Send data: 1"), TEXT(", then\\ndata: 2")}), Text);
			TestEqual(TEXT("Text"), Text, TEXT("Send data: 1, then\ndata: 2"));
		});

		It(TEXT("ReadsTheSameTextWhateverTheLineEnds"), [this]()
		{
			const TArray<FString> Contents = {TEXT("你好"), TEXT("，世界"), TEXT("😀")};
			for (const TCHAR* const LineEnd : {TEXT("\n"), TEXT("\r\n"), TEXT("\r")})
			{
				TalvaneJson::StreamStringToTextResponses(StreamOf(Contents, LineEnd), Text);
				TestEqual(TEXT("Text"), Text, TEXT("你好，世界😀"));
			}
		});

		It(TEXT("ReadsTheMessageOfAWholeAnswer"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(TEXT("{\"choices\":[{\"message\":{\"content\":\"Whole\"}}]}"), Text);
			TestEqual(TEXT("Text"), Text, TEXT("Whole"));
		});

		It(TEXT("GivesEmptyTextForABodyWithoutAnswers"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(TEXT(": keep-alive\n\n"), Text);
			TestEqual(TEXT("Text"), Text, TEXT(""));
		});
	});

	Describe(TEXT("Statements"), [this]()
	{
		It(TEXT("CutAtEventsThatAreOneMarkAndDropBlanksAndTheOpenLast"), [this]()
		{
			Statements.Add(TEXT("earlier"));
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("Hello"), TEXT(" world"), TEXT("."), TEXT("Next")}), Statements, &FullText);
			TestEqual(TEXT("Statements are appended"), FString::Join(Statements, TEXT("|")), TEXT("earlier|Helloworld"));
			TestEqual(TEXT("Full text"), FullText, TEXT("Hello world.Next"));
		});

		It(TEXT("DoNotCutAtAMarkWithALineBreak"), [this]()
		{
			TalvaneJson::StreamStringToTextResponses(StreamOf({TEXT("A"), TEXT(".\\n"), TEXT("B"), TEXT("。")}), Statements);
			TestEqual(TEXT("Statements"), FString::Join(Statements, TEXT("|")), TEXT("A.\nB"));
		});

		It(TEXT("CutTheReasoningTheSameWay"), [this]()
		{
			const FString Body = TEXT("data: {\"choices\":[{\"delta\":{\"reasoning_content\":\"\\nA b\"}}]}\n")
				TEXT("data: {\"choices\":[{\"delta\":{\"reasoning_content\":\"？\"}}]}\n");
			TalvaneJson::StreamStringToReasoningTextResponses(Body, Statements, &FullText);
			TestEqual(TEXT("Statements"), FString::Join(Statements, TEXT("|")), TEXT("\nAb"));
			TestEqual(TEXT("Full text"), FullText, TEXT("A b？"));
		});
	});
}

#endif
