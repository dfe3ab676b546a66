#pragma once

#include "CoreMinimal.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "HTTP/TalvaneReceivedBody.h"
#include "TalvaneType.h"

class IHttpRequest;

namespace TalvaneHttp
{
	/** HTTP method of a request. A value outside this list is sent as POST. */
	enum class EHTTPVerbType : uint8
	{
		HTTP_POST = 0,
		HTTP_PUT = 1,
		HTTP_GET = 2,
		HTTP_DELETE = 3,
	};

	/** The owner's callbacks; each one is fed by the engine callback of the same kind. Unbound members are skipped. */
	struct FHTTPDelegate
	{
		FHttpRequestCompleteDelegate RequestCompleteDelegate;
		FHttpRequestProgressDelegate RequestProgressDelegate;
		FHttpRequestHeaderReceivedDelegate RequestHeaderReceivedDelegate;
	};

	/**
	 * The plugin's gateway to the engine's HTTP module. Builds one engine request per call with a
	 * fixed set of headers, keeps it under a fresh GUID until it completes, and forwards the engine's
	 * completion, progress and header callbacks to its owner's FHTTPDelegate. Also keeps the
	 * question/answer bookkeeping of a conversation.
	 *
	 * Engine requests reach this object only through weak bindings: once it is destroyed, their later
	 * callbacks are dropped. Destroying it does not cancel its requests. Game thread only.
	 *
	 * Every request streams its body into an FTalvaneReceivedBody through the engine's receive-stream
	 * delegate, so nothing reads the engine's response while the HTTP thread still fills it. The
	 * engine's response then holds no body; the owner reads it with FindReceivedBody, during progress
	 * and completion callbacks alike.
	 */
	struct TALVANE_API FHTTP : public TSharedFromThis<FHTTP, ESPMode::ThreadSafe>
	{
		/** A new transport with an empty key and registry, calling back through a copy of InDelegate. */
		static TSharedPtr<FHTTP, ESPMode::ThreadSafe> CreateHTTPObject(FHTTPDelegate InDelegate);

		/** Replaces the API key sent as the bearer token. Nothing goes out on the JSON path while it is empty. */
		void SetKey(const FString& InKey);

		/**
		 * Cloud chat: appends InContent to InRequest.Messages as the user's question, then posts the
		 * whole conversation to the model's endpoint. Returns the request GUID, all zero when nothing was sent.
		 * A tool whose Parameters are not a JSON object stops the request before the record changes: an Error
		 * line and the all-zero GUID.
		 */
		FGuid Request(const FString& InContent, FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader,
			EHTTPVerbType InVerb);

		/**
		 * Cloud chat without a new question: posts the conversation as it stands, for the next step of a
		 * tool loop whose last messages are the tool results. The history budget is not applied again (the
		 * question of the loop was trimmed for when it was sent). The same refusal of unsendable tools.
		 */
		FGuid RequestAsItStands(FNimbrelChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader, EHTTPVerbType InVerb);

		/** Local chat: as the cloud chat, sent over plain HTTP to InRequest.URL with InRequest.ChatID as one path segment. */
		FGuid Request(const FString& InContent, FNimbrelLocalChatRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader,
			EHTTPVerbType InVerb);

		/** Cloud fill-in-the-middle completion; touches no conversation. */
		FGuid Request(FNimbrelFIMRequest& InRequest, const TMap<FString, FString>& InCustomMetadataHeader, EHTTPVerbType InVerb);

		/**
		 * Sends a JSON body with the fixed headers (Content-Type, Accept, Authorization, Access-Protocol,
		 * RequestID), then the caller's pairs whose key and value are both non-empty. Zero GUID without a key.
		 */
		FGuid Request(const FString& InURL, const FString& InContent, const TMap<FString, FString>& InCustomMetadataHeader,
			ENimbrelProtocol InProtocol, EHTTPVerbType InVerb);

		/**
		 * Sends raw bytes with only the RequestID header, a default "application/octet-stream" content
		 * type and every caller pair unchanged, except an empty Content-Type, which is dropped with a
		 * warning (the engine stops on a POST without one); no key needed. With bFlush the call returns only after
		 * the engine has worked off its requests or its default flush limit has passed.
		 */
		FGuid Request(const FString& InURL, const TArray<uint8>& InBytes, const TMap<FString, FString>& InCustomMetadataHeader, bool bFlush,
			EHTTPVerbType InVerb);

		/**
		 * Sends a finished request again, as it was, under the GUID it had; its callbacks and a fresh
		 * body as before. False when the engine refused it.
		 */
		bool Resend(const FGuid& InRequestID, const FHttpRequestPtr& InHttpRequest);

		/** Cancels a request in flight; it then completes as a failure. An unknown GUID does nothing. */
		void CancelRequest(const FGuid& InRequestID);

		/** Whether the request was sent and has not completed yet. */
		bool IsValidRequest(const FGuid& InRequestID) const;

		/**
		 * The body of a request sent by this transport, as far as it has arrived: valid from sending
		 * until its completion callback has returned, null for any other request. Progress and
		 * completion callbacks find the bytes received up to that callback already in it.
		 */
		TSharedPtr<FTalvaneReceivedBody, ESPMode::ThreadSafe> FindReceivedBody(const FHttpRequestPtr& InHttpRequest) const;

		/**
		 * Appends the user's question as the last message. A trailing run of user messages (questions
		 * never answered) is dropped first; everything before it stays, a system message included.
		 */
		void AddAskQuestion(const FString& InQuestion, TArray<FNimbrelContextMessage>& InMessages);

		/**
		 * Records an answer: a new assistant message after a question, or the extension of the assistant
		 * message already last (a streamed answer arriving in pieces).
		 */
		void AddAnswer(const FString& InAnswer, TArray<FNimbrelContextMessage>& InMessages);

		/**
		 * Keeps a conversation within a budget of characters of its messages' text (content and names):
		 * removes the oldest whole turns (a user message and everything up to the next one) until the
		 * rest fits. System messages stay, and so does the last turn (the question being sent and what
		 * follows it). InMaxCharacters 0 takes the ini default, a negative value means no limit. Returns
		 * how many turns were removed; one Log line says so.
		 */
		static int32 TrimHistory(TArray<FNimbrelContextMessage>& InMessages, int32 InMaxCharacters);

		/** API key, sent as "Authorization: Bearer <Key>". */
		FString Key;
		/** Requests sent and not yet completed, by the GUID returned to the caller. */
		TMap<FGuid, FHttpRequestPtr> HttpRequests;
		/** The owner's callbacks. */
		FHTTPDelegate Delegate;

	private:
		FHTTP() = default;

		FGuid Request(const FString& InURL, const FString& InContent, const TArray<uint8>& InBytes,
			const TMap<FString, FString>& InCustomMetadataHeader, bool bFlush, EHTTPVerbType InVerb);

		/** Shared tail of the chat, local chat and FIM overloads: logs the send and adds the "bStream" pair. */
		FGuid SendRecordBody(const FString& InURL, const FString& InBody, bool bStream, const TMap<FString, FString>& InCustomMetadataHeader,
			ENimbrelProtocol InProtocol, EHTTPVerbType InVerb);
		/** Binds the callbacks and the body receiver, starts the request and registers it; false when the engine refused it. */
		bool SendAndRegister(const TSharedRef<IHttpRequest, ESPMode::ThreadSafe>& InHttpRequest, const FGuid& InRequestID);
		/** The registry key of a request object, or false when it is not registered. */
		bool FindRequestID(const FHttpRequestPtr& InHttpRequest, FGuid& OutRequestID) const;
		void ForgetRequest(const FGuid& InRequestID);
		/** Tells the owner that a request finished, then logs the body (InBody) as the request's kind asks. */
		void ReportCompletion(const FHttpRequestPtr& InHttpRequest, const FHttpResponsePtr& InHttpResponse, bool bConnectedSuccessfully,
			bool bRegistered, const FString& InBody);
		/** Logs, at Log, the complete UTF-8 characters of the body that arrived since the request's last report. */
		static void LogNewProgressBytes(FTalvaneReceivedBody& InBody);

		static FString HTTPVerbToString(EHTTPVerbType InVerb);

		void OnRequestComplete(FHttpRequestPtr InHttpRequest, FHttpResponsePtr InHttpResponse, bool bConnectedSuccessfully);
		void OnRequestProgress(FHttpRequestPtr InHttpRequest, int32 BytesSent, int32 BytesReceived);
		void OnRequestProgress64(FHttpRequestPtr InHttpRequest, uint64 BytesSent, uint64 BytesReceived);
		void OnRequestHeaderReceived(FHttpRequestPtr InHttpRequest, const FString& HeaderName, const FString& NewHeaderValue);

		/** The body of each request in flight (and of the one whose completion is being reported), by request object. */
		TMap<const IHttpRequest*, TSharedRef<FTalvaneReceivedBody, ESPMode::ThreadSafe>> ReceivedBodies;
	};
}
