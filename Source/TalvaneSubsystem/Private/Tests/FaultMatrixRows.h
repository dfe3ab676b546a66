#pragma once

// The rows of the fault matrix: every fault scenario of the reference server, with what a request of
// each kind must end in when the server answers it that way. Kept apart from the test file so the table
// reads as a table.

#include "CoreMinimal.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneFaultMatrix
{
	enum class ERequestKind : uint8
	{
		Chat,
		LocalChat,
		FIM,
	};

	/** How a scenario breaks a request. */
	enum class EFault : uint8
	{
		/** The answer arrives whole, however it is sliced or decorated. */
		None,
		/** An error status with the cloud error body. */
		Status,
		/** Nothing at all comes back before the request's time-out. */
		NoResponse,
		/** The connection breaks after part of the answer (dropped, or stalled past the time-out). */
		Interrupted,
		/** A streamed answer ends in an error event; a whole answer is unaffected. */
		ErrorEvent,
		/** A streamed answer ends before its finish reason; a whole answer is unaffected. */
		CutStream,
		/** The local chat server's refusal document, sent with status 200 on every path. */
		Refusal,
		/** The first attempt fails with a 503 and the ini allows one retry. */
		FailOnceRetried,
	};

	/** How the scenario changes the answer text the server means. */
	enum class EAnswerShape : uint8
	{
		Plain,
		DataInText,
		Split,
		ManyEvents,
		Huge,
	};

	struct FFaultRow
	{
		/** The row's name in test names and in the report: the scenario, or the scenario and its setting. */
		FString Name;
		/** "X-Talvane-Scenario", or empty for none. */
		FString Scenario;
		EFault Fault = EFault::None;
		EAnswerShape Shape = EAnswerShape::Plain;
		/** The status a Status row (or a first attempt that fails) answers with. */
		int32 Status = 0;
		/** Further scenario headers. */
		TArray<TPair<FString, FString>> Headers;
		/** A unique "X-Talvane-Fail-Key" per request, so the server counts the attempts of each on its own. */
		bool bFailOnce = false;
		/** Uses the short request time-out: the server keeps quiet for longer than it. */
		bool bShortTimeout = false;
	};

	/** Small enough to keep every row quick; the shapes' own tests use the large defaults. */
	inline constexpr int32 ManyEventsCount = 60;
	inline constexpr int32 HugeBytes = 64 * 1024;

	inline TArray<FFaultRow> GetRows()
	{
		const auto Status = [](const FString& Name, const int32 Code)
		{
			FFaultRow Row;
			Row.Name = Name;
			Row.Scenario = Name;
			Row.Fault = EFault::Status;
			Row.Status = Code;
			return Row;
		};
		const auto Make = [](const TCHAR* Name, const EFault Fault, const EAnswerShape Shape = EAnswerShape::Plain)
		{
			FFaultRow Row;
			Row.Name = Name;
			Row.Scenario = Name;
			Row.Fault = Fault;
			Row.Shape = Shape;
			return Row;
		};
		TArray<FFaultRow> Rows;
		Rows.Add(Make(TEXT("normal"), EFault::None));
		Rows[0].Scenario.Reset();
		for (const int32 Code : {400, 401, 402, 422, 429, 500, 503, 418})
		{
			Rows.Add(Status(FString::Printf(TEXT("status-%d"), Code), Code));
		}
		Rows.Add(Status(TEXT("status-500-slow"), 500));
		Rows.Add(Make(TEXT("drop"), EFault::Interrupted));
		Rows.Add(Make(TEXT("trickle"), EFault::None));
		FFaultRow& Stall = Rows.Add_GetRef(Make(TEXT("stall"), EFault::NoResponse));
		Stall.Headers.Add({TEXT("X-Talvane-Stall-Ms"), TEXT("30000")});
		Stall.bShortTimeout = true;
		FFaultRow& StallAfterHeaders = Rows.Add_GetRef(Make(TEXT("stall-after-headers"), EFault::Interrupted));
		StallAfterHeaders.Headers.Add({TEXT("X-Talvane-Stall-Ms"), TEXT("30000")});
		StallAfterHeaders.bShortTimeout = true;
		Rows.Add(Make(TEXT("split"), EFault::None, EAnswerShape::Split));
		Rows.Add(Make(TEXT("keepalive"), EFault::None));
		Rows.Add(Make(TEXT("crlf"), EFault::None));
		Rows.Add(Make(TEXT("ping-lines"), EFault::None));
		Rows.Add(Make(TEXT("data-in-text"), EFault::None, EAnswerShape::DataInText));
		FFaultRow& Huge = Rows.Add_GetRef(Make(TEXT("huge"), EFault::None, EAnswerShape::Huge));
		Huge.Headers.Add({TEXT("X-Talvane-Size"), FString::FromInt(HugeBytes)});
		Rows.Add(Make(TEXT("whole-json"), EFault::None));
		Rows.Add(Make(TEXT("error-event"), EFault::ErrorEvent));
		Rows.Add(Make(TEXT("refusal"), EFault::Refusal));
		Rows.Add(Make(TEXT("no-done"), EFault::None));
		FFaultRow& Many = Rows.Add_GetRef(Make(TEXT("many-events"), EFault::None, EAnswerShape::ManyEvents));
		Many.Headers.Add({TEXT("X-Talvane-Events"), FString::FromInt(ManyEventsCount)});
		Rows.Add(Make(TEXT("cut"), EFault::CutStream));
		Rows.Add(Make(TEXT("empty-stream"), EFault::CutStream));
		FFaultRow& FailOnce = Rows.Add_GetRef(Status(TEXT("fail-once"), 503));
		FailOnce.Scenario.Reset();
		FailOnce.bFailOnce = true;
		FFaultRow& Retried = Rows.Add_GetRef(Make(TEXT("fail-once-retried"), EFault::FailOnceRetried));
		Retried.Scenario.Reset();
		Retried.Status = 503;
		Retried.bFailOnce = true;
		return Rows;
	}

	inline const TCHAR* GetKindName(const ERequestKind InKind)
	{
		switch (InKind)
		{
		case ERequestKind::LocalChat:
			return TEXT("local chat");
		case ERequestKind::FIM:
			return TEXT("FIM");
		default:
			return TEXT("chat");
		}
	}

	/** The text the reference server answers the matrix's question with, shaped as the row asks. */
	inline FString GetServerAnswer(const FFaultRow& InRow, const ERequestKind InKind)
	{
		FString Text = InKind == ERequestKind::FIM ? FString(TEXT("[fill between \"a\" and \"b\"]"))
			: FString(TEXT("Echo: Hello (turn 1, 1 message)"));
		if (InKind == ERequestKind::LocalChat)
		{
			Text += TEXT(" [chat: 7]");
		}
		switch (InRow.Shape)
		{
		case EAnswerShape::DataInText:
			Text.InsertAt(Text.StartsWith(TEXT("Echo: "), ESearchCase::CaseSensitive) ? 6 : 0, TEXT("data: is not a marker, "));
			break;
		case EAnswerShape::Split:
			Text += TEXT(" 你好，世界。🙂");
			break;
		case EAnswerShape::ManyEvents:
		{
			const TCHAR* const Marks[] = {TEXT("é"), TEXT("✓"), TEXT("😀"), TEXT("你好"), TEXT("ß")};
			for (int32 Word = 1; Word <= ManyEventsCount; ++Word)
			{
				Text += FString::Printf(TEXT(" w%d%s"), Word, Marks[Word % 5]);
			}
			break;
		}
		case EAnswerShape::Huge:
			// The text is ASCII here, so its length is its size in bytes.
			for (int32 Word = 1; Text.Len() < HugeBytes; ++Word)
			{
				Text += FString::Printf(TEXT(" word%d"), Word);
			}
			break;
		default:
			break;
		}
		return Text;
	}
}

#endif
