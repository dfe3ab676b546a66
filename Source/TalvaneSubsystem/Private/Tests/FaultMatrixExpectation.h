#pragma once

// What one cell of the fault matrix must end in: the final report, the text, the record and the log.

#include "CoreMinimal.h"
#include "FaultMatrixRows.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneFaultMatrix
{
	/** Lines of one category that contain Substring, at a problem verbosity (Warning, Error) or below it. */
	struct FLogRule
	{
		FName Category;
		bool bProblem = false;
		FString Substring;
		int32 MinCount = 0;
		int32 MaxCount = 0;
	};

	struct FCellExpectation
	{
		bool bSuccess = true;
		/** The answer the server means; a success reports it exactly, a failure's progress shows only a prefix of it. */
		FString Answer;
		/** The code the failure's log line names ("[code=N]"). */
		int32 Code = 0;
		/** Text the failure body holds (empty: anything, as sent). */
		FString BodyMarker;
		/** The success carries no text at all: the server's 200 body held no choices. */
		bool bNoText = false;
		/** Whether the answer may be reported piece by piece; a streamed success must then end at the whole answer. */
		bool bProgress = false;
		TArray<FLogRule> LogRules;
	};

	inline constexpr int32 Unbounded = MAX_int32;

	inline bool IsStatusFailure(const FFaultRow& InRow)
	{
		return InRow.Fault == EFault::Status;
	}

	/** Whether the request ends as a failure, by the row's fault and the request's kind and mode. */
	inline bool IsFailure(const FFaultRow& InRow, const ERequestKind InKind, const bool bInStream)
	{
		switch (InRow.Fault)
		{
		case EFault::Status:
		case EFault::NoResponse:
		case EFault::Interrupted:
			return true;
		case EFault::ErrorEvent:
		case EFault::CutStream:
			return bInStream;
		case EFault::Refusal:
			// Only the local path knows the refusal; to a cloud stream it is a stream without events.
			return InKind == ERequestKind::LocalChat || bInStream;
		default:
			return false;
		}
	}

	/**
	 * The failure code the manager logs: the status; 0 with no response or after a time-out (the engine
	 * reports no code for a request it timed out); 200 when a success status carries the failure.
	 */
	inline int32 GetFailureCode(const FFaultRow& InRow)
	{
		switch (InRow.Fault)
		{
		case EFault::Status:
			return InRow.Status;
		case EFault::NoResponse:
			return 0;
		default:
			return InRow.bShortTimeout ? 0 : 200;
		}
	}

	/** A cloud answer without choices (the local refusal sent to a cloud path): a success that carries no text. */
	inline bool IsAnswerWithoutChoices(const FFaultRow& InRow, const ERequestKind InKind, const bool bInStream)
	{
		return InRow.Fault == EFault::Refusal && InKind != ERequestKind::LocalChat && !bInStream;
	}

	inline void AddRule(FCellExpectation& Out, const TCHAR* InCategory, const bool bInProblem, const FString& InSubstring,
		const int32 InMin, const int32 InMax)
	{
		Out.LogRules.Add({FName(InCategory), bInProblem, InSubstring, InMin, InMax});
	}

	/**
	 * The log of the engine's HTTP module for this cell, at LogHttp's default verbosity (Display): only
	 * the warnings the fault gives. Its "Starting … request to URL=" line is at Log, so it never shows.
	 */
	inline void AddHttpRules(const FFaultRow& InRow, FCellExpectation& Out)
	{
		AddRule(Out, TEXT("LogHttp"), false, TEXT("request to URL="), 0, 0);
		const int32 ServerErrors = InRow.Status >= 500 && InRow.Status <= 503 ? 1 : 0;
		if (ServerErrors > 0)
		{
			// The engine makes a server error visible: its completion line and its response headers.
			AddRule(Out, TEXT("LogHttp"), true, TEXT("request has been successfully processed"), ServerErrors, ServerErrors);
			AddRule(Out, TEXT("LogHttp"), true, TEXT("Response Header"), 1, Unbounded);
		}
		if (InRow.Fault == EFault::NoResponse || InRow.Fault == EFault::Interrupted)
		{
			AddRule(Out, TEXT("LogHttp"), true, TEXT("request failed, libcurl error"), 1, 1);
		}
		if (InRow.bShortTimeout)
		{
			AddRule(Out, TEXT("LogHttp"), true, TEXT("HTTP request timed out"), 1, 1);
		}
		if (InRow.Fault == EFault::NoResponse || InRow.Fault == EFault::Interrupted || InRow.bShortTimeout)
		{
			// After a failure that is no cancel, the engine writes out the libcurl info texts it kept.
			AddRule(Out, TEXT("LogHttp"), true, TEXT("libcurl info message cache "), 1, Unbounded);
		}
	}

	/** The plugin's log for this cell. */
	inline void AddPluginRules(const FFaultRow& InRow, const ERequestKind InKind, const bool bInFailure, const int32 InAttempts,
		FCellExpectation& Out)
	{
		// The URL and the body, once per send (a retry sends the built request again without logging it).
		AddRule(Out, TEXT("TalvaneLog"), false, TEXT("URL="), 2, 2);
		AddRule(Out, TEXT("TalvaneLog"), false, TEXT("[OnRequestProgress] "), 0, Unbounded);
		const bool bAnyResponse = InRow.Fault != EFault::NoResponse;
		const bool bConnected = bAnyResponse && InRow.Fault != EFault::Interrupted;
		if (!bAnyResponse)
		{
			AddRule(Out, TEXT("TalvaneLog"), true, TEXT("Request error response is empty."), 1, 1);
		}
		else if (!bConnected)
		{
			AddRule(Out, TEXT("TalvaneLog"), true, TEXT("[OnRequestComplete] "), 1, 1);
		}
		else if (InKind != ERequestKind::LocalChat)
		{
			// The transport logs each finished cloud response, the failed first attempt of a retry included.
			AddRule(Out, TEXT("TalvaneLog"), false, TEXT("[OnRequestComplete] "), InAttempts, InAttempts);
		}
		if (bInFailure)
		{
			AddRule(Out, TEXT("TalvaneLog"), false, FString::Printf(TEXT("[code=%d]"), GetFailureCode(InRow)), 1, 1);
		}
		const bool bCut = InRow.Fault == EFault::CutStream || (InRow.Fault == EFault::Refusal && InKind != ERequestKind::LocalChat);
		if (bInFailure && bCut)
		{
			AddRule(Out, TEXT("TalvaneLog"), true, TEXT("The stream ended early"), 1, 1);
		}
		if (InRow.Fault == EFault::FailOnceRetried)
		{
			AddRule(Out, TEXT("TalvaneLog"), false, TEXT("Retrying request "), 1, 1);
		}
	}

	inline FCellExpectation Expect(const FFaultRow& InRow, const ERequestKind InKind, const bool bInStream)
	{
		FCellExpectation Expected;
		Expected.bSuccess = !IsFailure(InRow, InKind, bInStream);
		Expected.Answer = GetServerAnswer(InRow, InKind);
		Expected.Code = GetFailureCode(InRow);
		Expected.bNoText = IsAnswerWithoutChoices(InRow, InKind, bInStream);
		if (IsStatusFailure(InRow))
		{
			Expected.BodyMarker = FString::Printf(TEXT("(status %d)"), InRow.Status);
		}
		// Only a stream is reported as it arrives; an error status or a refusal never is.
		Expected.bProgress = bInStream && InRow.Fault != EFault::Status && InRow.Fault != EFault::Refusal;
		const int32 Attempts = InRow.Fault == EFault::FailOnceRetried ? 2 : 1;
		AddHttpRules(InRow, Expected);
		AddPluginRules(InRow, InKind, !Expected.bSuccess, Attempts, Expected);
		return Expected;
	}
}

#endif
