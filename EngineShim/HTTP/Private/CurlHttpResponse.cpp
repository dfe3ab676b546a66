#include "CurlHttpResponse.h"

#include "Containers/StringConv.h"
#include "Misc/CString.h"

FCurlHttpResponse::FCurlHttpResponse(const FString& InURL)
	: URL(InURL)
{
}

FString FCurlHttpResponse::GetURL() const
{
	return URL;
}

FString FCurlHttpResponse::GetHeader(const FString& HeaderName) const
{
	const FString* Found = Headers.Find(HeaderName);
	return Found ? *Found : FString();
}

TArray<FString> FCurlHttpResponse::GetAllHeaders() const
{
	TArray<FString> Result;
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
	const FString* Declared = Headers.Find(TEXT("Content-Length"));
	if (Declared)
	{
		const int64 Length = FCString::Atoi64(**Declared);
		return Length > 0 ? static_cast<uint64>(Length) : 0;
	}
	return static_cast<uint64>(Content.Num());
}

const TArray<uint8>& FCurlHttpResponse::GetContent() const
{
	return Content;
}

int32 FCurlHttpResponse::GetResponseCode() const
{
	return ResponseCode;
}

FString FCurlHttpResponse::GetContentAsString() const
{
	const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Content.GetData()), Content.Num());
	return FString(Converted.Length(), Converted.Get());
}

const FString& FCurlHttpResponse::AddHeader(const FString& Name, const FString& Value)
{
	if (FString* Existing = Headers.Find(Name))
	{
		if (!Existing->IsEmpty())
		{
			Existing->Append(TEXT(", "));
		}
		Existing->Append(Value);
		return *Existing;
	}
	return Headers.Add(Name, Value);
}
