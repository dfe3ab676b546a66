#include "CurlHttpResponse.h"

#include <cstring>

#include "Containers/StringConv.h"
#include "HttpLog.h"

FCurlHttpResponse::FCurlHttpResponse(const FString& InURL, const void* InRequestAddress)
	: URL(InURL)
	, RequestAddress(InRequestAddress)
{
}

FString FCurlHttpResponse::GetURL() const
{
	return URL;
}

FString FCurlHttpResponse::GetHeader(const FString& HeaderName) const
{
	if (!bIsReady)
	{
		UE_LOG(LogHttp, Warning, TEXT("Can't get cached header [%s]. Response still processing. %p"), *HeaderName, RequestAddress);
		return FString();
	}
	const FString* Found = Headers.Find(HeaderName);
	return Found ? *Found : FString();
}

TArray<FString> FCurlHttpResponse::GetAllHeaders() const
{
	TArray<FString> Result;
	if (!bIsReady)
	{
		UE_LOG(LogHttp, Warning, TEXT("Can't get cached headers. Response still processing. %p"), RequestAddress);
		return Result;
	}
	for (const TPair<FString, FString>& Header : Headers)
	{
		Result.Add(Header.Key + TEXT(": ") + Header.Value);
	}
	return Result;
}

FString FCurlHttpResponse::GetContentType() const
{
	return GetHeader(TEXT("Content-Type"));
}

uint64 FCurlHttpResponse::GetContentLength() const
{
	return ContentLength;
}

const TArray<uint8>& FCurlHttpResponse::GetContent() const
{
	if (!bIsReady)
	{
		UE_LOG(LogHttp, Warning, TEXT("Payload is incomplete. Response still processing. %p"), RequestAddress);
	}
	return Payload;
}

int32 FCurlHttpResponse::GetResponseCode() const
{
	return HttpCode;
}

FString FCurlHttpResponse::GetContentAsString() const
{
	// The engine neither warns here nor waits: it decodes whatever the payload holds.
	const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Payload.GetData()), Payload.Num());
	return FString(Converted.Length(), Converted.Get());
}

void FCurlHttpResponse::AppendPayload(const void* Data, const uint64 Size)
{
	const uint64 Offset = TotalBytesRead.load();
	Payload.AddUninitialized(static_cast<int32>(Size));
	std::memcpy(Payload.GetData() + Offset, Data, Size);
	TotalBytesRead.fetch_add(Size);
}

void FCurlHttpResponse::MergeHeader(const FString& Name, const FString& Value)
{
	FString* Existing = Headers.Find(Name);
	if (Existing && !Existing->IsEmpty())
	{
		Existing->Append(TEXT(", "));
		Existing->Append(Value);
		return;
	}
	Headers.Add(Name, Value);
}

void FCurlHttpResponse::SetCompletionInfo(const int32 InHttpCode, const uint64 DownloadLength)
{
	HttpCode = InHttpCode;
	if (ContentLength == 0)
	{
		// No "Content-Length" header (a chunked answer): libcurl's figure, else what arrived.
		ContentLength = DownloadLength > 0 ? DownloadLength : TotalBytesRead.load();
	}
}
