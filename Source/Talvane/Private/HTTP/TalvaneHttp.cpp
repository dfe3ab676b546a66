#include "HTTP/TalvaneHttp.h"

#include "HTTP/TalvaneHttpLogGuard.h"
#include "HTTP/TalvaneUrl.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "TalvaneJson.h"
#include "TalvaneLog.h"
#include "TalvaneSettings.h"

namespace TalvaneHttp
{
	namespace
	{
		/** Seconds of silence after which a raw-bytes request fails; large because uploads may be slow. */
		const float RawRequestTimeoutSeconds = 6000.0f;

		/** The registry key's text form, as sent in the "RequestID" header. */
		FString RequestIDToHeader(const FGuid& InRequestID)
		{
			return InRequestID.ToString(EGuidFormats::Digits);
		}

		/**
		 * How many of the first InCount bytes form whole UTF-8 characters: a character whose lead byte
		 * has arrived but not all of its continuation bytes is held back for the next report. Bytes that
		 * are not valid UTF-8 count as whole (they decode to '?'), so a bad byte never stalls the log.
		 */
		int32 CompleteUtf8Length(const uint8* InBytes, const int32 InCount)
		{
			// A character is at most four bytes, so only the last three can start an unfinished one.
			const int32 Lowest = InCount > 3 ? InCount - 3 : 0;
			for (int32 Index = InCount - 1; Index >= Lowest; --Index)
			{
				const uint8 Byte = InBytes[Index];
				if ((Byte & 0xC0) == 0x80)
				{
					continue;
				}
				const int32 Needed = (Byte & 0xE0) == 0xC0 ? 2 : (Byte & 0xF0) == 0xE0 ? 3 : (Byte & 0xF8) == 0xF0 ? 4 : 1;
				return Index + Needed > InCount ? Index : InCount;
			}
			return InCount;
		}
	}

	TSharedPtr<FHTTP, ESPMode::ThreadSafe> FHTTP::CreateHTTPObject(FHTTPDelegate InDelegate)
	{
		TSharedPtr<FHTTP, ESPMode::ThreadSafe> HTTP = MakeShareable(new FHTTP());
		HTTP->Delegate = MoveTemp(InDelegate);
		return HTTP;
	}

	void FHTTP::SetKey(const FString& InKey)
	{
		Key = InKey;
	}

	FGuid FHTTP::Request(const FString& InContent, FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader,
		const EHTTPVerbType InVerb)
	{
		// A schema the service cannot read would fail the whole request there; refuse it before the
		// record changes, as a request that cannot be sent.
		FString ToolName;
		if (TalvaneJson::FindUnsendableTool(InRequest, ToolName))
		{
			UE_LOG(TalvaneLog, Error, TEXT("Tool \"%s\": its Parameters are not a JSON object; the request was not sent."), *ToolName);
			return FGuid();
		}
		AddAskQuestion(InContent, InRequest.Messages);
		TrimHistory(InRequest.Messages, InRequest.MaxHistoryCharacters);
		FString Body;
		TalvaneJson::NimbrelChatRequestToString(InRequest, Body);
		return SendRecordBody(TalvaneJson::GetNimbrelURL(InRequest.Model), Body, InRequest.bStream, InCustomMetadataHeader,
			ENimbrelProtocol::NIMBREL_CHAT, InVerb);
	}

	FGuid FHTTP::RequestAsItStands(FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader,
		const EHTTPVerbType InVerb)
	{
		FString ToolName;
		if (TalvaneJson::FindUnsendableTool(InRequest, ToolName))
		{
			UE_LOG(TalvaneLog, Error, TEXT("Tool \"%s\": its Parameters are not a JSON object; the request was not sent."), *ToolName);
			return FGuid();
		}
		FString Body;
		TalvaneJson::NimbrelChatRequestToString(InRequest, Body);
		return SendRecordBody(TalvaneJson::GetNimbrelURL(InRequest.Model), Body, InRequest.bStream, InCustomMetadataHeader,
			ENimbrelProtocol::NIMBREL_CHAT, InVerb);
	}

	FGuid FHTTP::Request(const FString& InContent, FNimbrelLocalChatRequest& InRequest,
		const TMap<FString, FString>& InCustomMetadataHeader, const EHTTPVerbType InVerb)
	{
		AddAskQuestion(InContent, InRequest.Messages);
		TrimHistory(InRequest.Messages, InRequest.MaxHistoryCharacters);
		FString Body;
		TalvaneJson::NimbrelChatRequestToString(InRequest, Body);
		// The host part may carry a port and is taken as written; the chat id is one path segment, so
		// nothing in it can move the request to another path or query.
		const FString URL = FString::Printf(TEXT("http://%s/api/v1/chats_openai/%s/chat/completions"), *InRequest.URL,
			*EncodePathSegment(InRequest.ChatID));
		return SendRecordBody(URL, Body, InRequest.bStream, InCustomMetadataHeader, ENimbrelProtocol::NIMBREL_LOCAL_CHAT, InVerb);
	}

	FGuid FHTTP::Request(FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader, const EHTTPVerbType InVerb)
	{
		FString Body;
		TalvaneJson::NimbrelFIMRequestToString(InRequest, Body);
		const FString URL = TalvaneSettings::GetCloudBaseURL() + TEXT("beta/completions");
		return SendRecordBody(URL, Body, InRequest.bStream, InCustomMetadataHeader, ENimbrelProtocol::NIMBREL_FIM, InVerb);
	}

	FGuid FHTTP::SendRecordBody(const FString& InURL, const FString& InBody, const bool bStream,
		const TMap<FString, FString>& InCustomMetadataHeader, const ENimbrelProtocol InProtocol, const EHTTPVerbType InVerb)
	{
		UE_LOG(TalvaneLog, Log, TEXT("URL=%s"), *InURL);
		UE_LOG(TalvaneLog, Log, TEXT("URL=%s"), *InBody);
		// The owner reads the streaming mode back from the finished request, so the record's flag wins
		// over a caller pair of the same name.
		TMap<FString, FString> Headers = InCustomMetadataHeader;
		Headers.Add(TEXT("bStream"), FString::FromInt(bStream ? 1 : 0));
		return Request(InURL, InBody, Headers, InProtocol, InVerb);
	}

	FGuid FHTTP::Request(const FString& InURL, const FString& InContent, const TMap<FString, FString>& InCustomMetadataHeader,
		const ENimbrelProtocol InProtocol, const EHTTPVerbType InVerb)
	{
		if (Key.IsEmpty())
		{
			return FGuid();
		}
		const TSharedRef<IHttpRequest, ESPMode::ThreadSafe> HttpRequest = FHttpModule::Get().CreateRequest();
		HttpRequest->SetURL(InURL);
		const FGuid RequestID = FGuid::NewGuid();
		HttpRequest->SetHeader(TEXT("Content-Type"), TEXT("application/json"));
		HttpRequest->SetHeader(TEXT("Accept"), TEXT("application/json"));
		HttpRequest->SetHeader(TEXT("Authorization"), FString::Printf(TEXT("Bearer %s"), *Key));
		HttpRequest->SetHeader(TEXT("Access-Protocol"), TalvaneJson::NimbrelProtocolToString(InProtocol));
		HttpRequest->SetHeader(TEXT("RequestID"), RequestIDToHeader(RequestID));
		HttpRequest->SetTimeout(static_cast<float>(TalvaneSettings::GetRequestTimeoutSeconds()));
		// Set after the fixed headers, so a caller pair of the same name replaces the fixed value.
		for (const TPair<FString, FString>& Pair : InCustomMetadataHeader)
		{
			if (!Pair.Key.IsEmpty() && !Pair.Value.IsEmpty())
			{
				HttpRequest->SetHeader(Pair.Key, Pair.Value);
			}
		}
		HttpRequest->SetVerb(HTTPVerbToString(InVerb));
		HttpRequest->SetContentAsString(InContent);
		return SendAndRegister(HttpRequest, RequestID) ? RequestID : FGuid();
	}

	FGuid FHTTP::Request(const FString& InURL, const TArray<uint8>& InBytes, const TMap<FString, FString>& InCustomMetadataHeader,
		const bool bFlush, const EHTTPVerbType InVerb)
	{
		return Request(InURL, FString(), InBytes, InCustomMetadataHeader, bFlush, InVerb);
	}

	FGuid FHTTP::Request(const FString& InURL, const FString& InContent, const TArray<uint8>& InBytes,
		const TMap<FString, FString>& InCustomMetadataHeader, const bool bFlush, const EHTTPVerbType InVerb)
	{
		const FGuid RequestID = FGuid::NewGuid();
		const TSharedRef<IHttpRequest, ESPMode::ThreadSafe> HttpRequest = FHttpModule::Get().CreateRequest();
		HttpRequest->SetURL(InURL);
		HttpRequest->SetTimeout(RawRequestTimeoutSeconds);
		HttpRequest->SetHeader(TEXT("RequestID"), RequestIDToHeader(RequestID));
		// The engine insists on a content type for a body; a caller pair below replaces this default.
		HttpRequest->SetHeader(TEXT("Content-Type"), TEXT("application/octet-stream"));
		for (const TPair<FString, FString>& Pair : InCustomMetadataHeader)
		{
			// An empty Content-Type would replace the default, and the engine stops a Development game
			// when a POST goes out without one (its curl backend checks it); such a pair is dropped, as
			// the JSON path drops every pair without a value, and the default stays.
			if (Pair.Value.IsEmpty() && Pair.Key.Equals(TEXT("Content-Type"), ESearchCase::IgnoreCase))
			{
				UE_LOG(TalvaneLog, Warning, TEXT("Dropped the empty \"%s\" header of a request to %s: it goes out as application/octet-stream."),
					*Pair.Key, *InURL);
				continue;
			}
			HttpRequest->SetHeader(Pair.Key, Pair.Value);
		}
		HttpRequest->SetVerb(HTTPVerbToString(InVerb));
		if (!InBytes.IsEmpty())
		{
			HttpRequest->SetContent(InBytes);
		}
		else if (!InContent.IsEmpty())
		{
			HttpRequest->SetContentAsString(InContent);
		}
		if (!SendAndRegister(HttpRequest, RequestID))
		{
			return FGuid();
		}
		if (bFlush)
		{
			FHttpModule::Get().GetHttpManager().Flush(EHttpFlushReason::Default);
		}
		return RequestID;
	}

	bool FHTTP::SendAndRegister(const TSharedRef<IHttpRequest, ESPMode::ThreadSafe>& InHttpRequest, const FGuid& InRequestID)
	{
		InHttpRequest->OnProcessRequestComplete().BindThreadSafeSP(this, &FHTTP::OnRequestComplete);
		InHttpRequest->OnRequestProgress().BindThreadSafeSP(this, &FHTTP::OnRequestProgress);
		InHttpRequest->OnHeaderReceived().BindThreadSafeSP(this, &FHTTP::OnRequestHeaderReceived);
		// The receiver runs on the HTTP thread and may outlive this transport, so it holds the body
		// itself, never this object.
		const TSharedRef<FTalvaneReceivedBody, ESPMode::ThreadSafe> Body = MakeShared<FTalvaneReceivedBody, ESPMode::ThreadSafe>();
		InHttpRequest->SetResponseBodyReceiveStreamDelegate(FHttpRequestStreamDelegate::CreateLambda(
			[Body](void* InData, const int64 InLength) { return Body->Receive(InData, InLength); }));
		KeepHeadersOutOfHttpLog();
		if (!InHttpRequest->ProcessRequest())
		{
			return false;
		}
		HttpRequests.Add(InRequestID, InHttpRequest);
		ReceivedBodies.Add(&InHttpRequest.Get(), Body);
		return true;
	}

	bool FHTTP::Resend(const FGuid& InRequestID, const FHttpRequestPtr& InHttpRequest)
	{
		return InHttpRequest.IsValid() && InRequestID.IsValid() && !HttpRequests.Contains(InRequestID)
			&& SendAndRegister(InHttpRequest.ToSharedRef(), InRequestID);
	}

	void FHTTP::CancelRequest(const FGuid& InRequestID)
	{
		// The entry stays until the engine completes the cancelled request through OnRequestComplete.
		if (const FHttpRequestPtr* HttpRequest = HttpRequests.Find(InRequestID))
		{
			(*HttpRequest)->CancelRequest();
		}
	}

	bool FHTTP::IsValidRequest(const FGuid& InRequestID) const
	{
		return HttpRequests.Contains(InRequestID);
	}

	TSharedPtr<FTalvaneReceivedBody, ESPMode::ThreadSafe> FHTTP::FindReceivedBody(const FHttpRequestPtr& InHttpRequest) const
	{
		if (const TSharedRef<FTalvaneReceivedBody, ESPMode::ThreadSafe>* Body = ReceivedBodies.Find(InHttpRequest.Get()))
		{
			return *Body;
		}
		return nullptr;
	}

	bool FHTTP::FindRequestID(const FHttpRequestPtr& InHttpRequest, FGuid& OutRequestID) const
	{
		if (!InHttpRequest.IsValid())
		{
			return false;
		}
		// The header names the entry; checking the object as well keeps a caller's own "RequestID"
		// pair on the raw path from completing some other request.
		FGuid HeaderID;
		if (FGuid::Parse(InHttpRequest->GetHeader(TEXT("RequestID")), HeaderID))
		{
			const FHttpRequestPtr* Registered = HttpRequests.Find(HeaderID);
			if (Registered && Registered->Get() == InHttpRequest.Get())
			{
				OutRequestID = HeaderID;
				return true;
			}
		}
		for (const TPair<FGuid, FHttpRequestPtr>& Entry : HttpRequests)
		{
			if (Entry.Value.Get() == InHttpRequest.Get())
			{
				OutRequestID = Entry.Key;
				return true;
			}
		}
		return false;
	}

	void FHTTP::ForgetRequest(const FGuid& InRequestID)
	{
		HttpRequests.Remove(InRequestID);
	}

	FString FHTTP::HTTPVerbToString(const EHTTPVerbType InVerb)
	{
		switch (InVerb)
		{
		case EHTTPVerbType::HTTP_PUT:
			return TEXT("PUT");
		case EHTTPVerbType::HTTP_GET:
			return TEXT("GET");
		case EHTTPVerbType::HTTP_DELETE:
			return TEXT("DELETE");
		default:
			return TEXT("POST");
		}
	}

	void FHTTP::OnRequestComplete(FHttpRequestPtr InHttpRequest, FHttpResponsePtr InHttpResponse, const bool bConnectedSuccessfully)
	{
		FGuid RequestID;
		const bool bRegistered = FindRequestID(InHttpRequest, RequestID);
		const TSharedPtr<FTalvaneReceivedBody, ESPMode::ThreadSafe> Body = FindReceivedBody(InHttpRequest);
		if (Body.IsValid())
		{
			// The transfer has ended: whatever the HTTP thread received is in the hand-over buffer now.
			Body->TakeReceived();
		}
		if (bRegistered)
		{
			// Removed before the owner runs, so the owner already sees the request as finished.
			ForgetRequest(RequestID);
		}
		ReportCompletion(InHttpRequest, InHttpResponse, bConnectedSuccessfully, bRegistered, Body.IsValid() ? Body->ToString() : FString());
		// Kept through the owner's callback, so the owner can read the whole body there.
		ReceivedBodies.Remove(InHttpRequest.Get());
	}

	void FHTTP::ReportCompletion(const FHttpRequestPtr& InHttpRequest, const FHttpResponsePtr& InHttpResponse, const bool bConnectedSuccessfully,
		const bool bRegistered, const FString& InBody)
	{
		if (!InHttpRequest.IsValid() || !InHttpResponse.IsValid())
		{
			UE_LOG(TalvaneLog, Error, TEXT("Request error response is empty."));
			// A request that failed before any byte arrived (refused, unresolved, timed out, cancelled)
			// still reaches its owner, so the owner can report the failure.
			if (bRegistered)
			{
				Delegate.RequestCompleteDelegate.ExecuteIfBound(InHttpRequest, InHttpResponse, false);
			}
			return;
		}
		Delegate.RequestCompleteDelegate.ExecuteIfBound(InHttpRequest, InHttpResponse, bConnectedSuccessfully);
		if (!bConnectedSuccessfully)
		{
			UE_LOG(TalvaneLog, Error, TEXT("[OnRequestComplete] %s"), *InBody);
			return;
		}
		const FString Protocol = InHttpRequest->GetHeader(TEXT("Access-Protocol"));
		if (Protocol.Equals(TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_CHAT), ESearchCase::CaseSensitive)
			|| Protocol.Equals(TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_FIM), ESearchCase::CaseSensitive))
		{
			UE_LOG(TalvaneLog, Log, TEXT("[OnRequestComplete] %s"), *InBody);
		}
	}

	void FHTTP::OnRequestProgress(FHttpRequestPtr InHttpRequest, const int32 BytesSent, const int32 BytesReceived)
	{
		// Taken before the owner runs, so the owner sees every byte that arrived up to this report.
		const TSharedPtr<FTalvaneReceivedBody, ESPMode::ThreadSafe> Body = FindReceivedBody(InHttpRequest);
		if (Body.IsValid())
		{
			Body->TakeReceived();
		}
		Delegate.RequestProgressDelegate.ExecuteIfBound(InHttpRequest, BytesSent, BytesReceived);
		if (Body.IsValid())
		{
			LogNewProgressBytes(*Body);
		}
	}

	void FHTTP::OnRequestProgress64(FHttpRequestPtr InHttpRequest, const uint64 BytesSent, const uint64 BytesReceived)
	{
		OnRequestProgress(InHttpRequest, static_cast<int32>(BytesSent), static_cast<int32>(BytesReceived));
	}

	void FHTTP::LogNewProgressBytes(FTalvaneReceivedBody& InBody)
	{
		if (!UE_LOG_ACTIVE(TalvaneLog, Log))
		{
			return;
		}
		// Only what arrived since the last report: logging the whole body each time would grow with the
		// square of a long streamed answer. A character cut at the end waits for the next report.
		TArray<uint8> NewBytes;
		const int32 Start = FMath::Min(InBody.LoggedBytes, InBody.Num());
		InBody.CopyFrom(Start, NewBytes);
		const int32 Length = CompleteUtf8Length(NewBytes.GetData(), NewBytes.Num());
		if (Length <= 0)
		{
			return;
		}
		InBody.LoggedBytes = Start + Length;
		const FUTF8ToTCHAR NewText(reinterpret_cast<const ANSICHAR*>(NewBytes.GetData()), Length);
		UE_LOG(TalvaneLog, Log, TEXT("[OnRequestProgress] %s"), *FString(NewText.Length(), NewText.Get()));
	}

	void FHTTP::OnRequestHeaderReceived(FHttpRequestPtr InHttpRequest, const FString& HeaderName, const FString& NewHeaderValue)
	{
		Delegate.RequestHeaderReceivedDelegate.ExecuteIfBound(InHttpRequest, HeaderName, NewHeaderValue);
	}
}
