#pragma once

#include "Containers/Array.h"
#include "Containers/UnrealString.h"
#include "CoreTypes.h"

/** What requests and responses have in common: a URL, headers and a payload. */
class IHttpBase
{
public:
	virtual ~IHttpBase() = default;

	/** The URL of the request (for a response: of the request it answers). */
	virtual FString GetURL() const = 0;

	/** The value of a header (names ignore case); empty when absent, and (with a warning) on a response still processing. */
	virtual FString GetHeader(const FString& HeaderName) const = 0;

	/** Every header as a "Name: Value" line; none (with a warning) on a response still processing. */
	virtual TArray<FString> GetAllHeaders() const = 0;

	/** The "Content-Type" header; empty when absent. */
	virtual FString GetContentType() const = 0;

	/** The payload length (for a response: the "Content-Length" header when it was sent). */
	virtual uint64 GetContentLength() const = 0;

	/**
	 * The payload. A response still processing warns, and its payload is being filled on the HTTP
	 * thread without a lock: only read it once the request has finished.
	 */
	virtual const TArray<uint8>& GetContent() const = 0;
};
