#include "CurlTransfer.h"

#include <algorithm>
#include <cstdlib>

namespace
{
	/** Codes libcurl follows when the answer names a Location. */
	bool IsRedirectCode(const int32 Code)
	{
		return Code == 301 || Code == 302 || Code == 303 || Code == 307 || Code == 308;
	}

	void TrimLineEnd(std::string& Line)
	{
		while (!Line.empty() && (Line.back() == '\r' || Line.back() == '\n'))
		{
			Line.pop_back();
		}
	}

	/** "HTTP/1.1 200 OK" -> 200; 0 when the line is not a status line. */
	int32 ParseStatusCode(const std::string& Line)
	{
		if (Line.compare(0, 5, "HTTP/") != 0)
		{
			return 0;
		}
		const std::string::size_type Space = Line.find(' ');
		if (Space == std::string::npos)
		{
			return 0;
		}
		return static_cast<int32>(std::strtol(Line.c_str() + Space + 1, nullptr, 10));
	}
}

FCurlTransfer::FCurlTransfer(FSetup&& InSetup)
	: Setup(std::move(InSetup))
{
}

FCurlTransfer::~FCurlTransfer()
{
	// Only reached with a live handle when the HTTP thread was never able to run it.
	if (EasyHandle)
	{
		curl_easy_cleanup(EasyHandle);
	}
	curl_slist_free_all(HeaderList);
}

void FCurlTransfer::TakeNews(FNews& OutNews)
{
	OutNews.Headers.clear();
	const std::lock_guard<std::mutex> Lock(Mutex);
	// Swapping hands the game thread the new bytes and the HTTP thread an empty buffer with
	// the capacity of the last one, so a long stream costs no copy here.
	std::swap(OutNews.Body, Pending.Body);
	std::swap(OutNews.Headers, Pending.Headers);
	OutNews.ResponseCode = Pending.ResponseCode;
	OutNews.BytesSent = Pending.BytesSent;
	OutNews.BytesReceived = Pending.BytesReceived;
	OutNews.bAnyByteReceived = Pending.bAnyByteReceived;
	OutNews.End = Pending.End;
	OutNews.Error = Pending.Error;
}

CURL* FCurlTransfer::CreateEasyHandle()
{
	EasyHandle = curl_easy_init();
	if (!EasyHandle)
	{
		return nullptr;
	}
	LastActivity = FClock::now();
	curl_easy_setopt(EasyHandle, CURLOPT_PRIVATE, this);
	curl_easy_setopt(EasyHandle, CURLOPT_URL, Setup.Url.c_str());
	curl_easy_setopt(EasyHandle, CURLOPT_ERRORBUFFER, ErrorBuffer);
	curl_easy_setopt(EasyHandle, CURLOPT_NOSIGNAL, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
	curl_easy_setopt(EasyHandle, CURLOPT_FOLLOWLOCATION, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_MAXREDIRS, 10L);
	curl_easy_setopt(EasyHandle, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_SSL_VERIFYHOST, 2L);
	// Proxies come from the usual environment variables, which libcurl reads by default; the
	// proxy's own CONNECT answer must not pass for the server's.
	curl_easy_setopt(EasyHandle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_HEADERFUNCTION, &FCurlTransfer::OnHeaderLine);
	curl_easy_setopt(EasyHandle, CURLOPT_HEADERDATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_WRITEFUNCTION, &FCurlTransfer::OnBody);
	curl_easy_setopt(EasyHandle, CURLOPT_WRITEDATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_XFERINFOFUNCTION, &FCurlTransfer::OnTransferInfo);
	curl_easy_setopt(EasyHandle, CURLOPT_XFERINFODATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_NOPROGRESS, 0L);

	for (const std::string& Line : Setup.HeaderLines)
	{
		HeaderList = curl_slist_append(HeaderList, Line.c_str());
	}
	// A large body would otherwise wait a second for "100 Continue".
	HeaderList = curl_slist_append(HeaderList, "Expect:");
	curl_easy_setopt(EasyHandle, CURLOPT_HTTPHEADER, HeaderList);
	ConfigureVerbAndBody();
	return EasyHandle;
}

void FCurlTransfer::ConfigureVerbAndBody()
{
	if (Setup.Verb == "GET")
	{
		curl_easy_setopt(EasyHandle, CURLOPT_HTTPGET, 1L);
		return;
	}
	if (Setup.Verb == "HEAD")
	{
		curl_easy_setopt(EasyHandle, CURLOPT_NOBODY, 1L);
		return;
	}
	if (Setup.Verb != "POST")
	{
		curl_easy_setopt(EasyHandle, CURLOPT_CUSTOMREQUEST, Setup.Verb.c_str());
		if (Setup.Body.empty())
		{
			return;
		}
	}
	// The body lives in Setup for as long as the handle does, so libcurl need not copy it.
	curl_easy_setopt(EasyHandle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Setup.Body.size()));
	curl_easy_setopt(EasyHandle, CURLOPT_POSTFIELDS, Setup.Body.data());
}

void FCurlTransfer::End(const ECurlTransferEnd InEnd, std::string&& InError)
{
	if (EasyHandle)
	{
		curl_easy_cleanup(EasyHandle);
		EasyHandle = nullptr;
	}
	curl_slist_free_all(HeaderList);
	HeaderList = nullptr;
	// libcurl's own detail ("Failed to connect to ... port ...") follows the summary.
	if (ErrorBuffer[0] != '\0' && InEnd == ECurlTransferEnd::Failed)
	{
		InError += InError.empty() ? "" : ": ";
		InError += ErrorBuffer;
	}
	const std::lock_guard<std::mutex> Lock(Mutex);
	if (Pending.End == ECurlTransferEnd::None)
	{
		Pending.End = InEnd;
		Pending.Error = std::move(InError);
	}
}

bool FCurlTransfer::HasTimedOut(const FClock::time_point Now) const
{
	return Now >= GetDeadline();
}

FCurlTransfer::FClock::time_point FCurlTransfer::GetDeadline() const
{
	if (Setup.InactivitySeconds <= 0.0)
	{
		return FClock::time_point::max();
	}
	return LastActivity + std::chrono::duration_cast<FClock::duration>(std::chrono::duration<double>(Setup.InactivitySeconds));
}

size_t FCurlTransfer::OnHeaderLine(char* Data, const size_t Size, const size_t Count, void* UserData)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	const size_t Bytes = Size * Count;
	Transfer->LastActivity = FClock::now();
	Transfer->HandleHeaderLine(std::string(Data, Bytes));
	return Bytes;
}

void FCurlTransfer::HandleHeaderLine(std::string Line)
{
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		Pending.bAnyByteReceived = true;
	}
	TrimLineEnd(Line);
	if (const int32 Code = ParseStatusCode(Line))
	{
		// Every answer (an interim "100 Continue", a redirect, the final one) starts with its own status line.
		BlockCode = Code;
		BlockHeaders.clear();
		bFinalBlockPublished = false;
		return;
	}
	if (Line.empty())
	{
		EndHeaderBlock();
		return;
	}
	const std::string::size_type Colon = Line.find(':');
	if (Colon == std::string::npos || Colon == 0)
	{
		return;
	}
	const std::string::size_type ValueStart = Line.find_first_not_of(" \t", Colon + 1);
	if (ValueStart == std::string::npos)
	{
		// The engine does not report headers with an empty value.
		return;
	}
	const std::string::size_type ValueEnd = Line.find_last_not_of(" \t");
	std::pair<std::string, std::string> Header(Line.substr(0, Colon), Line.substr(ValueStart, ValueEnd + 1 - ValueStart));
	if (bFinalBlockPublished)
	{
		// Trailer lines after a chunked body belong to the final answer too.
		const std::lock_guard<std::mutex> Lock(Mutex);
		Pending.Headers.push_back(std::move(Header));
		return;
	}
	BlockHeaders.push_back(std::move(Header));
}

bool FCurlTransfer::IsFollowedRedirect() const
{
	if (!IsRedirectCode(BlockCode))
	{
		return false;
	}
	return std::any_of(BlockHeaders.begin(), BlockHeaders.end(), [](const std::pair<std::string, std::string>& Header)
	{
		return curl_strequal(Header.first.c_str(), "Location") != 0;
	});
}

void FCurlTransfer::EndHeaderBlock()
{
	// Interim answers and redirects that libcurl follows are not the request's answer.
	if (bFinalBlockPublished || BlockCode < 200 || IsFollowedRedirect())
	{
		BlockHeaders.clear();
		return;
	}
	bFinalBlockPublished = true;
	const std::lock_guard<std::mutex> Lock(Mutex);
	Pending.ResponseCode = BlockCode;
	for (std::pair<std::string, std::string>& Header : BlockHeaders)
	{
		Pending.Headers.push_back(std::move(Header));
	}
	BlockHeaders.clear();
}

size_t FCurlTransfer::OnBody(char* Data, const size_t Size, const size_t Count, void* UserData)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	const size_t Bytes = Size * Count;
	Transfer->LastActivity = FClock::now();
	if (Transfer->Setup.BodyStream.IsValid())
	{
		// The receiver takes the bytes here, on the HTTP thread; nothing is kept for the response.
		FArchive& Stream = *Transfer->Setup.BodyStream;
		Stream.Serialize(Data, static_cast<int64>(Bytes));
		const size_t Taken = Stream.GetError() ? 0 : Bytes;
		const std::lock_guard<std::mutex> Lock(Transfer->Mutex);
		Transfer->Pending.BytesReceived += static_cast<int64>(Taken);
		Transfer->Pending.bAnyByteReceived = true;
		return Taken;
	}
	const std::lock_guard<std::mutex> Lock(Transfer->Mutex);
	std::vector<uint8>& Body = Transfer->Pending.Body;
	Body.insert(Body.end(), reinterpret_cast<const uint8*>(Data), reinterpret_cast<const uint8*>(Data) + Bytes);
	Transfer->Pending.BytesReceived += static_cast<int64>(Bytes);
	Transfer->Pending.bAnyByteReceived = true;
	return Bytes;
}

int FCurlTransfer::OnTransferInfo(void* UserData, curl_off_t, curl_off_t, curl_off_t, const curl_off_t UploadNow)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	if (UploadNow != Transfer->LastUploadNow)
	{
		// Bytes going out count as activity: a slow upload is not a silent server.
		Transfer->LastUploadNow = UploadNow;
		Transfer->LastActivity = FClock::now();
		const std::lock_guard<std::mutex> Lock(Transfer->Mutex);
		Transfer->Pending.BytesSent = static_cast<int64>(UploadNow);
	}
	return 0;
}
