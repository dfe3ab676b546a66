#include "TalvaneManage.h"

#include "HTTP/TalvaneHttp.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "HttpModule.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "Modules/ModuleManager.h"
#include "TalvaneJsonErrors.h"
#include "TalvaneLog.h"
#include "TalvaneRequestState.h"
#include "TalvaneRetryPolicy.h"
#include "TalvaneSettings.h"

// Sending a failed request again. A request is retried only while nothing of its answer can have
// reached the game: its body is no event stream (an error document, or no body at all), so no
// progress report was made for it. The caller keeps its GUID and its record, and hears only the
// final outcome.

bool FTalvaneManage::ScheduleRetry(const TSharedPtr<IHttpRequest, ESPMode::ThreadSafe>& Request,
	const TSharedPtr<IHttpResponse, ESPMode::ThreadSafe>& Response, const TSharedPtr<FTalvaneRequestState>& State)
{
	const int32 MaxRetries = TalvaneSettings::GetMaxRetries();
	if (!State.IsValid() || State->bCancelled || State->Retries >= MaxRetries || !State->RequestID.IsValid())
	{
		return false;
	}
	const int32 Code = Response.IsValid() ? Response->GetResponseCode() : 0;
	const bool bNoConnection = !Response.IsValid() && Request->GetStatus() == EHttpRequestStatus::Failed_ConnectionError;
	if (!bNoConnection && !(Response.IsValid() && TalvaneRetryPolicy::IsRetryableStatus(Code)))
	{
		return false;
	}
	// Decoding the rest tells whether the body was an event stream, whose text may have reached the game.
	const FString Body = GetBodyText(Request, Response, State.Get());
	if (State->Body.IsValid())
	{
		State->Finish(*State->Body);
	}
	else
	{
		State->Finish(TArray<uint8>());
	}
	if (State->IsEventStream())
	{
		return false;
	}
	const FString RetryAfter = Response.IsValid() ? Response->GetHeader(TEXT("Retry-After")) : FString();
	const double Delay = TalvaneRetryPolicy::GetRetryDelaySeconds(State->Retries + 1, RetryAfter);
	const FGuid RequestID = State->RequestID;
	UE_LOG(TalvaneLog, Log, TEXT("Retrying request %s in %.2f seconds (retry %d of %d) after %s."), *RequestID.ToString(EGuidFormats::Digits),
		Delay, State->Retries + 1, MaxRetries, bNoConnection ? TEXT("a failed connection") : *FString::Printf(TEXT("status %d"), Code));
	FPendingRetry& Pending = PendingRetries.Add(RequestID, FPendingRetry());
	Pending.Request = Request;
	Pending.State = State->MakeRetry();
	Pending.Code = Code;
	Pending.Body = Body;
	// A plain pointer to this manager is sound: the manager removes its tickers before it dies.
	Pending.Ticker = FTSTicker::GetCoreTicker().AddTicker(FTickerDelegate::CreateLambda([this, RequestID](float)
	{
		SendAgain(RequestID);
		return false;
	}), static_cast<float>(Delay));
	return true;
}

void FTalvaneManage::SendAgain(const FGuid& InRequestID)
{
	FPendingRetry Pending;
	if (!PendingRetries.RemoveAndCopyValue(InRequestID, Pending) || !HTTP.IsValid())
	{
		return;
	}
	// The engine lets a finished request be processed again: same object, URL, headers and body.
	if (!HTTP->Resend(InRequestID, Pending.Request))
	{
		ReportPendingFailure(Pending, Pending.Code, Pending.Body, TalvaneJson::ReadErrorMessage(Pending.Body));
		return;
	}
	Pending.State->Body = HTTP->FindReceivedBody(Pending.Request);
	Requests.Add(Pending.Request.Get(), Pending.State);
}

bool FTalvaneManage::CancelPendingRetry(const FGuid& InRequestID)
{
	FPendingRetry Pending;
	if (!PendingRetries.RemoveAndCopyValue(InRequestID, Pending))
	{
		return false;
	}
	FTSTicker::RemoveTicker(Pending.Ticker);
	// The delegate hears the failure that made it wait; its own listener hears why it ends now.
	ReportPendingFailure(Pending, Pending.Code, Pending.Body, TEXT("The request was cancelled."));
	return true;
}

void FTalvaneManage::DropPendingRetries()
{
	for (const TPair<FGuid, FPendingRetry>& Entry : PendingRetries)
	{
		FTSTicker::RemoveTicker(Entry.Value.Ticker);
	}
	PendingRetries.Empty();
}

void FTalvaneManage::CancelRequestsInFlight()
{
	// Once the HTTP module has shut down it has ended every request itself, and must not be woken again.
	if (!HTTP.IsValid() || !FModuleManager::Get().IsModuleLoaded(TEXT("HTTP")))
	{
		return;
	}
	const TMap<FGuid, FHttpRequestPtr> InFlight = HTTP->HttpRequests;
	for (const TPair<FGuid, FHttpRequestPtr>& Entry : InFlight)
	{
		Entry.Value->CancelRequest();
	}
}
