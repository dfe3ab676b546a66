#include "TalvaneManage.h"

#include "HTTP/TalvaneHttp.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "HAL/PlatformTime.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "TalvaneJsonEnums.h"
#include "TalvaneJsonErrors.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneLog.h"
#include "TalvaneRequestState.h"

// Completion, failure and progress reports. Every report carries the request's own header lines as
// its meta data, so callers tell their requests apart by the custom headers they sent.
//
// The body comes from the transport's own copy (FTalvaneReceivedBody), never from the engine's
// response: while a request is in flight the engine fills its response on the HTTP thread, and its
// status code reads 0 until the request has finished.

namespace
{
	FNimbrelContextInfo MakeMeta(const IHttpRequest& Request)
	{
		FNimbrelContextInfo Meta;
		TalvaneJson::HandleHeaderArrayToHeaderMap(Request.GetAllHeaders(), Meta.Metas);
		return Meta;
	}

	FString GetProtocolHeader(const IHttpRequest& Request)
	{
		return Request.GetHeader(TEXT("Access-Protocol"));
	}

	bool IsProtocol(const FString& Header, const ENimbrelProtocol Protocol)
	{
		return Header.Equals(TalvaneJson::NimbrelProtocolToString(Protocol), ESearchCase::CaseSensitive);
	}

	/** How failures and progress name the protocol: chat or FIM by the header, anything else none. */
	ENimbrelProtocol GetReportedProtocol(const IHttpRequest& Request)
	{
		const FString Header = GetProtocolHeader(Request);
		if (IsProtocol(Header, ENimbrelProtocol::NIMBREL_CHAT))
		{
			return ENimbrelProtocol::NIMBREL_CHAT;
		}
		return IsProtocol(Header, ENimbrelProtocol::NIMBREL_FIM) ? ENimbrelProtocol::NIMBREL_FIM : ENimbrelProtocol::NIMBREL_NONE;
	}

	/** The protocol a request was sent with, read back from its header when the manager has no state for it. */
	ENimbrelProtocol GetSentProtocol(const IHttpRequest& Request)
	{
		const FString Header = GetProtocolHeader(Request);
		if (IsProtocol(Header, ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
		{
			return ENimbrelProtocol::NIMBREL_LOCAL_CHAT;
		}
		return IsProtocol(Header, ENimbrelProtocol::NIMBREL_FIM) ? ENimbrelProtocol::NIMBREL_FIM : ENimbrelProtocol::NIMBREL_CHAT;
	}

	bool IsSuccessCode(const int32 Code)
	{
		return Code >= 200 && Code <= 206;
	}
}

void FTalvaneManage::CompleteRequest(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request,
	const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response, const bool bConnectedSuccessfully, TSharedPtr<FTalvaneRequestState> State)
{
	if (State.IsValid() && State->bSuperseded)
	{
		// Whatever the transfer got to, even a whole answer, it answers a question the record no longer holds.
		ReportFailure(Request, 0, GetSupersededMessage(), GetSupersededMessage());
		return;
	}
	const bool bCancelled = State.IsValid() && State->bCancelled;
	const double CompletedSeconds = Deliveries.FindRef(Request.Get()).CompletedSeconds;
	if (!Response.IsValid())
	{
		// Refused, unresolved, cancelled or timed out before the first byte: nothing to show but the failure.
		ReportFailure(Request, 0, FString(), bCancelled ? FString(TEXT("The request was cancelled."))
			: FString(TEXT("The connection failed before any answer arrived.")));
		return;
	}
	const FString Body = GetBodyText(Request, Response, State.Get());
	if (State.IsValid())
	{
		State->NoteArrivals(Body.Len(), CompletedSeconds);
	}
	if (!bConnectedSuccessfully || !IsSuccessCode(Response->GetResponseCode()))
	{
		const int32 Characters = State.IsValid() ? State->Text.Len() : 0;
		ReportFailure(Request, Response->GetResponseCode(), Body, bCancelled ? FString(TEXT("The request was cancelled."))
			: bConnectedSuccessfully ? TalvaneJson::ReadErrorMessage(Body)
			: FString::Printf(TEXT("The connection closed after %d characters of the answer."), Characters));
		return;
	}
	const bool bStream = FCString::Atoi(*Request->GetHeader(TEXT("bStream"))) != 0;
	const ENimbrelProtocol Protocol = State.IsValid() ? State->Protocol : GetSentProtocol(*Request);
	// Text that only the end of the body completed: a last event without its line end, or a whole
	// document sent to a streamed request. No progress report has carried it yet.
	FString LastText;
	FString LastReasoning;
	if (bStream)
	{
		if (!State.IsValid())
		{
			State = MakeShared<FTalvaneRequestState>(Protocol, nullptr, nullptr);
		}
		if (State->Body.IsValid())
		{
			State->Finish(*State->Body, LastText, LastReasoning);
		}
		else
		{
			const FTCHARToUTF8 Bytes(*Body, Body.Len());
			State->Finish(TArray<uint8>(reinterpret_cast<const uint8*>(Bytes.Get()), Bytes.Length()), LastText, LastReasoning);
		}
	}
	const bool bBodyIsError = bStream ? State->bErrorEvent
		: TalvaneManageBody::IsErrorDocument(Body, Protocol == ENimbrelProtocol::NIMBREL_LOCAL_CHAT);
	if (bBodyIsError)
	{
		// A success status around an error: report it as the failure it is, and keep it out of the conversation.
		OnErrorHandle(Request, Response->GetResponseCode(), Body);
		return;
	}
	if (bStream && State->IsCutOff())
	{
		// The connection closed cleanly, but before the answer was whole: half an answer is no answer,
		// and it must not enter the conversation as if it were complete.
		UE_LOG(TalvaneLog, Warning, TEXT("The stream ended early: the connection closed after %d characters of the answer, before a finish reason or \"data: [DONE]\"."),
			State->Text.Len());
		ReportFailure(Request, Response->GetResponseCode(), Body,
			FString::Printf(TEXT("The connection closed after %d characters of the answer."), State->Text.Len()));
		return;
	}
	if (bStream && (!LastText.IsEmpty() || !LastReasoning.IsEmpty()))
	{
		ReportLastProgress(Request, *State, LastText, LastReasoning);
	}
	if (State.IsValid())
	{
		// A whole answer's text arrives with its end; a stream's last piece may have come only now.
		ReadUsage(Body, bStream, *State);
		if (!bStream)
		{
			State->FirstTextSeconds = CompletedSeconds;
		}
		State->NoteArrivals(Body.Len(), CompletedSeconds);
	}
	if (SuccessDelegate.IsBound())
	{
		const FString ProtocolHeader = GetProtocolHeader(*Request);
		if (IsProtocol(ProtocolHeader, ENimbrelProtocol::NIMBREL_CHAT) || IsProtocol(ProtocolHeader, ENimbrelProtocol::NIMBREL_LOCAL_CHAT))
		{
			CompleteChat(Request, Body, bStream, State.Get());
		}
		else if (IsProtocol(ProtocolHeader, ENimbrelProtocol::NIMBREL_FIM))
		{
			CompleteFIM(Request, Body, bStream, State.Get());
		}
	}
	ReportOutcome(*Request, true, Response->GetResponseCode(), Body, FString());
}

void FTalvaneManage::CompleteChat(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const FString& Body, const bool bStream,
	FTalvaneRequestState* State)
{
	TArray<FString> Data;
	TArray<FString> ReasoningData;
	if (bStream)
	{
		if (bStreamCombinedReply)
		{
			Data.Add(State->Text);
			ReasoningData.Add(State->ReasoningText);
		}
		else
		{
			// The text already reached the listener piece by piece.
			Data.Add(TEXT(" "));
		}
		TArray<FNimbrelContextMessage>* Messages = State->bLoopKeepsRecord ? nullptr : State->GetLiveMessages();
		if (Messages)
		{
			AddAnswer(State->Text, *Messages);
		}
	}
	else
	{
		FNimbrelChatResponses Responses;
		TalvaneJson::StringToNimbrelChatResponses(Body, Responses);
		for (const FNimbrelChatResponseChoice& Choice : Responses.Choices)
		{
			Data.Add(Choice.Message.Content);
			ReasoningData.Add(Choice.Message.ReasoningContent);
		}
	}
	SuccessDelegate.ExecuteIfBound(ENimbrelProtocol::NIMBREL_CHAT, Data, ReasoningData, FString(), MakeMeta(*Request));
}

void FTalvaneManage::CompleteFIM(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const FString& Body, const bool bStream,
	const FTalvaneRequestState* State)
{
	TArray<FString> Data;
	if (bStream)
	{
		// In whole mode the text already reached the listener through progress; delta mode hands it over here.
		Data.Add(bStreamCombinedReply ? FString(TEXT(" ")) : State->Text);
	}
	else
	{
		FNimbrelFIMResponses Responses;
		TalvaneJson::StringToNimbrelFIMResponses(Body, Responses);
		for (const FNimbrelFIMResponseChoice& Choice : Responses.Choices)
		{
			Data.Add(Choice.Text);
		}
	}
	SuccessDelegate.ExecuteIfBound(ENimbrelProtocol::NIMBREL_FIM, Data, TArray<FString>(), FString(), MakeMeta(*Request));
}

FString FTalvaneManage::GetBodyText(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request,
	const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response, const FTalvaneRequestState* State) const
{
	TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Body = State ? State->Body : nullptr;
	if (!Body.IsValid() && HTTP.IsValid())
	{
		Body = HTTP->FindReceivedBody(Request);
	}
	if (Body.IsValid())
	{
		Body->TakeReceived();
		return Body->ToString();
	}
	// Only a request sent past the transport gets here; its response is complete by now.
	return Response.IsValid() ? Response->GetContentAsString() : FString();
}

void FTalvaneManage::OnErrorHandle(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, TSharedPtr<IHttpResponse, ESPMode::ThreadSafe> Response)
{
	const int32 Code = Response.IsValid() ? Response->GetResponseCode() : 0;
	OnErrorHandle(Request, Code, GetBodyText(Request, Response, FindRequestState(Request).Get()));
}

void FTalvaneManage::OnErrorHandle(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, const int32 Code, const FString& Content)
{
	ReportFailure(Request, Code, Content, TalvaneJson::ReadErrorMessage(Content));
}

void FTalvaneManage::ReportFailure(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, const int32 Code, const FString& Content,
	const FString& Message)
{
	if (!Request.IsValid())
	{
		return;
	}
	const TArray<FString> Data = {Content};
	FailureDelegate.ExecuteIfBound(GetReportedProtocol(*Request), Data, TArray<FString>(), FString(TEXT("Error")), MakeMeta(*Request));
	TalvaneJson::ErrorPrintToLog(Code, Content);
	ReportOutcome(*Request, false, Code, Content, Message);
}

void FTalvaneManage::ReportOutcome(const IHttpRequest& Request, const bool bSucceeded, const int32 Code, const FString& Body,
	const FString& Message)
{
	FTalvaneRequestListener Listener;
	if (!Listeners.RemoveAndCopyValue(&Request, Listener))
	{
		return;
	}
	FTalvaneRequestOutcome Outcome;
	Outcome.Protocol = GetSentProtocol(Request);
	Outcome.bSucceeded = bSucceeded;
	Outcome.bStreamed = FCString::Atoi(*Request.GetHeader(TEXT("bStream"))) != 0;
	Outcome.Code = Code;
	Outcome.Body = Body;
	if (const FDelivery* Delivery = Deliveries.Find(&Request))
	{
		Outcome.Timings = MakeTimings(Delivery->State.Get(), Delivery->CompletedSeconds);
	}
	Outcome.Message = !Message.IsEmpty() || bSucceeded ? Message
		: Code > 0 ? FString::Printf(TEXT("The server answered with status %d."), Code) : FString(TEXT("The request failed."));
	// Taken out of the map first: the listener may start, cancel or listen to other requests.
	Listener.OnComplete.ExecuteIfBound(Outcome);
}

void FTalvaneManage::ReportProgressToListener(const IHttpRequest& Request, const ENimbrelProtocol InProtocol, const FString& InText,
	const FString& InReasoning, const FNimbrelContextInfo& InMeta, const int32 BytesSent, const int32 BytesReceived) const
{
	if (const FTalvaneRequestListener* Listener = Listeners.Find(&Request))
	{
		// A copy: the listener may remove itself, or cancel, from inside the call.
		const FTalvaneProgressDelegate OnProgress = Listener->OnProgress;
		OnProgress.ExecuteIfBound(InProtocol, InText, InReasoning, InMeta, BytesSent, BytesReceived);
	}
}

void FTalvaneManage::ReportLastProgress(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request, FTalvaneRequestState& State,
	const FString& NewText, const FString& NewReasoning)
{
	// A listener in delta mode joins the progress texts, and one in whole mode reads the last, while the
	// success carries only a placeholder where progress carries the text: so the text reaches it here.
	if (!State.Meta.IsSet())
	{
		State.Meta = MakeMeta(*Request);
	}
	const int32 BytesReceived = State.Body.IsValid() ? State.Body->Num() : 0;
	const ENimbrelProtocol Protocol = GetReportedProtocol(*Request);
	const FString& ReportedText = bStreamCombinedReply ? State.Text : NewText;
	const FString& ReportedReasoning = bStreamCombinedReply ? State.ReasoningText : NewReasoning;
	ProgressDelegate.ExecuteIfBound(Protocol, ReportedText, ReportedReasoning, State.Meta.GetValue(), State.LastBytesSent, BytesReceived);
	ReportProgressToListener(*Request, Protocol, ReportedText, ReportedReasoning, State.Meta.GetValue(), State.LastBytesSent, BytesReceived);
}

void FTalvaneManage::OnRequestProgress(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, const int32 BytesSent, const int32 BytesReceived)
{
	OnRequestProgress64(Request, static_cast<uint64>(static_cast<int64>(BytesSent)), static_cast<uint64>(static_cast<int64>(BytesReceived)));
}

void FTalvaneManage::OnRequestProgress64(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request, const uint64 BytesSent, const uint64 BytesReceived)
{
	const TSharedPtr<FTalvaneRequestState> State = FindRequestState(Request);
	if (!State.IsValid() || !State->Body.IsValid() || State->bSuperseded)
	{
		return;
	}
	State->Body->TakeReceived();
	const double Now = FPlatformTime::Seconds();
	State->NoteArrivals(State->Body->Num(), Now);
	if (State->Body->Num() == 0 || !State->bStreamed)
	{
		return;
	}
	FString NewText;
	FString NewReasoning;
	State->DecodeNewBytes(*State->Body, NewText, NewReasoning);
	State->NoteArrivals(State->Body->Num(), Now);
	// The status code reads 0 until the request finishes, so an error is told by its body: a JSON
	// document, not an event stream. It is reported once, whole, when the request completes.
	if (!State->IsEventStream() || (!ProgressDelegate.IsBound() && !Listeners.Contains(Request.Get())))
	{
		return;
	}
	if (!State->Meta.IsSet())
	{
		State->Meta = MakeMeta(*Request);
	}
	State->LastBytesSent = static_cast<int32>(BytesSent);
	const FString& ReportedText = bStreamCombinedReply ? State->Text : NewText;
	const FString& ReportedReasoning = bStreamCombinedReply ? State->ReasoningText : NewReasoning;
	const ENimbrelProtocol Protocol = GetReportedProtocol(*Request);
	// State is held here, so its meta outlives both calls.
	const FNimbrelContextInfo& Meta = State->Meta.GetValue();
	ProgressDelegate.ExecuteIfBound(Protocol, ReportedText, ReportedReasoning, Meta, static_cast<int32>(BytesSent), static_cast<int32>(BytesReceived));
	ReportProgressToListener(*Request, Protocol, ReportedText, ReportedReasoning, Meta, static_cast<int32>(BytesSent),
		static_cast<int32>(BytesReceived));
}
