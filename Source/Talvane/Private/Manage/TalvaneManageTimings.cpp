#include "TalvaneManage.h"

#include "Dom/JsonObject.h"
#include "HAL/PlatformTime.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneJsonResponses.h"
#include "TalvaneRequestState.h"
#include "TalvaneSSEDecoder.h"

// Timings of a request: when it was sent, when its first byte and first text arrived, when it ended,
// and the token usage the server sent. A request's state holds them while it is in flight; while its
// last report is delivered, the state is kept in Deliveries, so the report's listeners can read them.

namespace
{
	/** Whether a JSON document has a "usage" member that is an object. */
	bool HasUsageObject(const FString& InDocument)
	{
		TSharedPtr<FJsonObject> Object;
		const TSharedPtr<FJsonObject>* Usage = nullptr;
		return FJsonSerializer::Deserialize(TJsonReaderFactory<TCHAR>::Create(InDocument), Object) && Object.IsValid()
			&& Object->TryGetObjectField(TEXT("usage"), Usage);
	}

	float SecondsBetween(const double InFrom, const double InTo)
	{
		return InFrom >= 0.0 && InTo >= InFrom ? static_cast<float>(InTo - InFrom) : -1.0f;
	}
}

void FTalvaneManage::OnRequestComplete(TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> Request,
	TSharedPtr<IHttpResponse, ESPMode::ThreadSafe> Response, const bool bConnectedSuccessfully)
{
	TSharedPtr<FTalvaneRequestState> State = TakeRequestState(Request);
	if (!Request.IsValid() || ScheduleRetry(Request, Response, State))
	{
		return;
	}
	// The state stays readable, for its timings, until the last report of this request has gone out.
	FDelivery& Delivery = Deliveries.Add(Request.Get(), FDelivery());
	Delivery.RequestID = State.IsValid() ? State->RequestID : FGuid();
	Delivery.State = State;
	Delivery.CompletedSeconds = FPlatformTime::Seconds();
	CompleteRequest(Request, Response, bConnectedSuccessfully, MoveTemp(State));
	Deliveries.Remove(Request.Get());
}

void FTalvaneManage::ReportPendingFailure(const FPendingRetry& InPending, const int32 InCode, const FString& InContent, const FString& InMessage)
{
	FDelivery& Delivery = Deliveries.Add(InPending.Request.Get(), FDelivery());
	Delivery.RequestID = InPending.State->RequestID;
	Delivery.State = InPending.State;
	Delivery.CompletedSeconds = FPlatformTime::Seconds();
	ReportFailure(InPending.Request, InCode, InContent, InMessage);
	Deliveries.Remove(InPending.Request.Get());
}

bool FTalvaneManage::GetRequestTimings(const FGuid& InRequestID, FTalvaneRequestTimings& OutTimings) const
{
	if (!InRequestID.IsValid())
	{
		return false;
	}
	for (const TPair<const IHttpRequest*, FDelivery>& Entry : Deliveries)
	{
		if (Entry.Value.RequestID == InRequestID)
		{
			OutTimings = MakeTimings(Entry.Value.State.Get(), Entry.Value.CompletedSeconds);
			return true;
		}
	}
	for (const TPair<const IHttpRequest*, TSharedPtr<FTalvaneRequestState>>& Entry : Requests)
	{
		if (Entry.Value->RequestID == InRequestID)
		{
			OutTimings = MakeTimings(Entry.Value.Get(), -1.0);
			return true;
		}
	}
	return false;
}

FTalvaneRequestTimings FTalvaneManage::MakeTimings(const FTalvaneRequestState* State, const double InCompletedSeconds)
{
	FTalvaneRequestTimings Timings;
	if (!State)
	{
		return Timings;
	}
	Timings.SecondsToFirstByte = SecondsBetween(State->SentSeconds, State->FirstByteSeconds);
	Timings.SecondsToFirstText = SecondsBetween(State->SentSeconds, State->FirstTextSeconds);
	Timings.SecondsToCompletion = InCompletedSeconds >= 0.0 ? SecondsBetween(State->SentSeconds, InCompletedSeconds) : -1.0f;
	Timings.AnswerCharacters = State->Text.Len();
	const float Streaming = SecondsBetween(State->FirstTextSeconds, InCompletedSeconds);
	if (State->bStreamed && InCompletedSeconds >= 0.0 && Streaming > 0.0f)
	{
		Timings.CharactersPerSecond = static_cast<float>(State->Text.Len()) / Streaming;
	}
	Timings.bHasUsage = State->Usage.IsSet();
	Timings.Usage = State->Usage.Get(FNimbrelChatResponseUsage());
	return Timings;
}

void FTalvaneManage::ReadUsage(const FString& InBody, const bool bStream, FTalvaneRequestState& State)
{
	// Most answers carry no usage: only a body that names it is parsed again.
	if (!InBody.Contains(TEXT("\"usage\""), ESearchCase::CaseSensitive))
	{
		return;
	}
	TArray<FString> Documents;
	if (bStream)
	{
		FTalvaneSSEDecoder::DecodeAll(InBody, Documents);
	}
	else
	{
		Documents.Add(InBody);
	}
	// A stream sends its usage in its last event; a whole answer in its one document.
	for (int32 Index = Documents.Num() - 1; Index >= 0; --Index)
	{
		if (HasUsageObject(Documents[Index]))
		{
			FNimbrelChatResponses Responses;
			TalvaneJson::StringToNimbrelChatResponses(Documents[Index], Responses);
			State.Usage = Responses.Usage;
			return;
		}
	}
}
