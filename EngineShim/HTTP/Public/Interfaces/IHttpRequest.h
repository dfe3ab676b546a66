#pragma once

#include "Delegates/Delegate.h"
#include "HttpFwd.h"
#include "Interfaces/IHttpBase.h"
#include "Misc/Optional.h"
#include "Serialization/Archive.h"
#include "Templates/SharedPointer.h"

/** Where a request is in its life. */
namespace EHttpRequestStatus
{
	enum Type
	{
		/** Not yet sent. */
		NotStarted,
		/** Sent and not yet finished. */
		Processing,
		/** Finished without a complete answer after the connection was made. */
		Failed,
		/** Finished without any answer: no connection, or nothing received. */
		Failed_ConnectionError,
		/** Finished with a complete answer (whatever its status code). */
		Succeeded,
	};

	inline const TCHAR* ToString(const EHttpRequestStatus::Type EnumVal)
	{
		switch (EnumVal)
		{
		case NotStarted: return TEXT("NotStarted");
		case Processing: return TEXT("Processing");
		case Failed: return TEXT("Failed");
		case Failed_ConnectionError: return TEXT("ConnectionError");
		case Succeeded: return TEXT("Succeeded");
		}
		return TEXT("Unknown");
	}

	inline bool IsFinished(const EHttpRequestStatus::Type Status)
	{
		return Status == Failed || Status == Failed_ConnectionError || Status == Succeeded;
	}
}

/** Completion: the request, its response (null when nothing was received) and whether it succeeded. */
DECLARE_DELEGATE_ThreeParams(FHttpRequestCompleteDelegate, FHttpRequestPtr /*Request*/, FHttpResponsePtr /*Response*/, bool /*bConnectedSuccessfully*/);

/** A response header line arrived. */
DECLARE_DELEGATE_ThreeParams(FHttpRequestHeaderReceivedDelegate, FHttpRequestPtr /*Request*/, const FString& /*HeaderName*/, const FString& /*NewHeaderValue*/);

/** Bytes went out or came in; both counts are totals since the request started. */
DECLARE_DELEGATE_ThreeParams(FHttpRequestProgressDelegate, FHttpRequestPtr /*Request*/, int32 /*BytesSent*/, int32 /*BytesReceived*/);

/**
 * Hands over a piece of a body on the HTTP thread: Ptr and Length. Returning false fails the request.
 */
DECLARE_DELEGATE_RetVal_TwoParams(bool, FHttpRequestStreamDelegate, void* /*Ptr*/, int64 /*Length*/);

/** An archive that passes every chunk to a stream delegate; a false return marks it failed. */
class FArchiveWithDelegate final : public FArchive
{
public:
	FArchiveWithDelegate(FHttpRequestStreamDelegate InStreamDelegate)
		: StreamDelegate(InStreamDelegate)
	{
	}

	virtual void Serialize(void* V, int64 Length) override
	{
		if (!StreamDelegate.Execute(V, Length))
		{
			SetError();
		}
	}

private:
	FHttpRequestStreamDelegate StreamDelegate;
};

/**
 * An HTTP request. Make one with FHttpModule::Get().CreateRequest(), set it up, bind its
 * delegates and call ProcessRequest(). Every delegate runs on the game thread, from
 * FHttpManager::Tick.
 */
class IHttpRequest : public IHttpBase, public TSharedFromThis<IHttpRequest, ESPMode::ThreadSafe>
{
public:
	/** The verb, upper-case ("GET" unless set). */
	virtual FString GetVerb() const = 0;
	/** Sets the verb; it is stored upper-case. */
	virtual void SetVerb(const FString& Verb) = 0;
	virtual void SetURL(const FString& URL) = 0;
	/** Sets the body. */
	virtual void SetContent(const TArray<uint8>& ContentPayload) = 0;
	virtual void SetContent(TArray<uint8>&& ContentPayload) = 0;
	/** Sets the body to the UTF-8 form of the text (no byte-order mark). */
	virtual void SetContentAsString(const FString& ContentString) = 0;
	/**
	 * Sends the response body to Stream instead of the response: Serialize runs on the HTTP thread
	 * for every chunk, and an archive error fails the request. The response's GetContent() and
	 * GetContentAsString() then stay empty, even after completion.
	 */
	virtual bool SetResponseBodyReceiveStream(TSharedRef<FArchive> Stream) = 0;
	/** As SetResponseBodyReceiveStream, through a delegate that runs on the HTTP thread; false fails the request. */
	bool SetResponseBodyReceiveStreamDelegate(FHttpRequestStreamDelegate StreamDelegate)
	{
		return SetResponseBodyReceiveStream(MakeShared<FArchiveWithDelegate>(StreamDelegate));
	}

	/** Sets a header, replacing a header of the same name (names ignore case). */
	virtual void SetHeader(const FString& HeaderName, const FString& HeaderValue) = 0;
	/** Appends to a header, joined with ", "; sets it when absent. */
	virtual void AppendToHeader(const FString& HeaderName, const FString& AdditionalHeaderValue) = 0;

	/** Fails the request once nothing has been received (or sent) for this many seconds. */
	virtual void SetTimeout(float InTimeoutSecs) = 0;
	virtual void ClearTimeout() = 0;
	virtual TOptional<float> GetTimeout() const = 0;

	/**
	 * Starts the request. Returns false, after running the completion delegate with a null
	 * response and false, for an empty or non-HTTP(S) URL, a request already in flight or a GET
	 * with a body.
	 */
	virtual bool ProcessRequest() = 0;

	virtual FHttpRequestCompleteDelegate& OnProcessRequestComplete() = 0;
	virtual FHttpRequestProgressDelegate& OnRequestProgress() = 0;
	virtual FHttpRequestHeaderReceivedDelegate& OnHeaderReceived() = 0;

	/** Stops a request in flight; it completes as a failure on a later tick. */
	virtual void CancelRequest() = 0;

	virtual EHttpRequestStatus::Type GetStatus() const = 0;
	/** The response: receiving or complete; null before the first byte of an answer and after a failure. */
	virtual const FHttpResponsePtr GetResponse() const = 0;
	/** Seconds since ProcessRequest, up to completion. */
	virtual float GetElapsedTime() const = 0;
};
