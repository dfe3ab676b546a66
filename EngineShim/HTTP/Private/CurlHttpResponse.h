#pragma once

#include <atomic>

#include "Containers/Map.h"
#include "Interfaces/IHttpResponse.h"

/**
 * The answer to a request as it arrives, shared by the request (game thread) and its transfer
 * (HTTP thread). As in the engine's curl backend the HTTP thread appends the body to Payload
 * without a lock and counts it in an atomic total; everything else is the game thread's, and the
 * response is "ready" only once the request has finished. Until then the getters warn, the status
 * code is 0 and the headers read as absent, so code that reads the body during progress races with
 * the HTTP thread exactly as it would in the engine (ThreadSanitizer reports it).
 */
class FCurlHttpResponse : public IHttpResponse
{
public:
	/** RequestAddress is only printed (the engine's warnings name the request). */
	FCurlHttpResponse(const FString& InURL, const void* InRequestAddress);

	// IHttpBase
	FString GetURL() const override;
	FString GetHeader(const FString& HeaderName) const override;
	TArray<FString> GetAllHeaders() const override;
	FString GetContentType() const override;
	uint64 GetContentLength() const override;
	const TArray<uint8>& GetContent() const override;

	// IHttpResponse
	int32 GetResponseCode() const override;
	FString GetContentAsString() const override;

	/** HTTP thread: appends a body chunk to the payload, without a lock, and counts it. */
	void AppendPayload(const void* Data, uint64 Size);
	/** HTTP thread: counts bytes that went to a receive stream instead of the payload. */
	void CountBytesRead(uint64 Size) { TotalBytesRead.fetch_add(Size); }
	/** HTTP thread: the length a "Content-Length" header announced. */
	void SetContentLength(const uint64 InContentLength) { ContentLength = InContentLength; }

	/** Any thread: body bytes received so far (payload or stream). */
	uint64 GetTotalBytesRead() const { return TotalBytesRead.load(); }
	/** Game thread: joins a received header into the cached ones (", " between repeated names). */
	void MergeHeader(const FString& Name, const FString& Value);
	/** Game thread, when the transfer completed: the status code libcurl read and the length it knew. */
	void SetCompletionInfo(int32 InHttpCode, uint64 DownloadLength);
	/** Game thread: the request has finished; reads stop warning. */
	void MarkReady() { bIsReady = true; }

private:
	FString URL;
	const void* RequestAddress;
	TArray<uint8> Payload;
	std::atomic<uint64> TotalBytesRead{0};
	uint64 ContentLength = 0;
	int32 HttpCode = 0;
	TMap<FString, FString> Headers;
	bool bIsReady = false;
};
