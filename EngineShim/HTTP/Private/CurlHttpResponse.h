#pragma once

#include "Containers/Map.h"
#include "Interfaces/IHttpResponse.h"

/**
 * The answer to a request as it arrives. Only the game thread touches it: the request fills
 * it in from FHttpManager::Tick, appending the new body bytes each time.
 */
class FCurlHttpResponse : public IHttpResponse
{
public:
	explicit FCurlHttpResponse(const FString& InURL);

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

	void SetResponseCode(int32 InResponseCode) { ResponseCode = InResponseCode; }
	void AppendContent(const uint8* Data, int32 Count) { Content.Append(Data, Count); }
	/** Records a header line; a repeated name joins the values with ", ". Returns the value now held. */
	const FString& AddHeader(const FString& Name, const FString& Value);

private:
	FString URL;
	int32 ResponseCode = 0;
	TMap<FString, FString> Headers;
	TArray<uint8> Content;
};
