#include "CurlTransfer.h"

#include <cstdlib>

#include "Containers/StringConv.h"
#include "CurlDebugLog.h"
#include "CurlHttpResponse.h"
#include "HttpLog.h"

namespace
{
	/** The engine takes the header line without its line breaks, wherever they are. */
	void RemoveLineBreaks(std::string& Line)
	{
		std::string Kept;
		Kept.reserve(Line.size());
		for (const char Character : Line)
		{
			if (Character != '\r' && Character != '\n')
			{
				Kept.push_back(Character);
			}
		}
		Line.swap(Kept);
	}

	bool IsWireActivity(const curl_infotype Type)
	{
		return Type == CURLINFO_HEADER_IN || Type == CURLINFO_HEADER_OUT || Type == CURLINFO_DATA_IN || Type == CURLINFO_DATA_OUT
			|| Type == CURLINFO_SSL_DATA_IN || Type == CURLINFO_SSL_DATA_OUT;
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
	std::swap(OutNews.Headers, Pending.Headers);
	OutNews.bAnyByteReceived = bAnyByteReceived.load();
	OutNews.bAnyActivity = bAnyActivity.load();
	OutNews.End = Pending.End;
	OutNews.CurlResult = Pending.CurlResult;
	OutNews.MultiResult = Pending.MultiResult;
	OutNews.ResponseCode = Pending.ResponseCode;
	OutNews.DownloadLength = Pending.DownloadLength;
}

CURL* FCurlTransfer::CreateEasyHandle()
{
	EasyHandle = curl_easy_init();
	if (!EasyHandle)
	{
		return nullptr;
	}
	LastActivity = FClock::now();
	UE_LOG(LogHttp, Verbose, TEXT("%p: request (easy handle:%p) has started threaded processing"), Setup.RequestAddress, EasyHandle);
	curl_easy_setopt(EasyHandle, CURLOPT_PRIVATE, this);
	curl_easy_setopt(EasyHandle, CURLOPT_URL, Setup.Url.c_str());
	curl_easy_setopt(EasyHandle, CURLOPT_NOSIGNAL, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
	curl_easy_setopt(EasyHandle, CURLOPT_FOLLOWLOCATION, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_MAXREDIRS, 10L);
	ConfigurePeerVerification();
	// Proxies come from the usual environment variables, which libcurl reads by default; the
	// proxy's own CONNECT answer must not pass for the server's.
	curl_easy_setopt(EasyHandle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
	// The engine tracks activity (its time-out clock, and whether a failure was a connection
	// error) through the debug callback, which libcurl calls only in verbose mode.
	curl_easy_setopt(EasyHandle, CURLOPT_DEBUGFUNCTION, &FCurlTransfer::OnDebug);
	curl_easy_setopt(EasyHandle, CURLOPT_DEBUGDATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_VERBOSE, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_HEADERFUNCTION, &FCurlTransfer::OnHeaderLine);
	curl_easy_setopt(EasyHandle, CURLOPT_HEADERDATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_WRITEFUNCTION, &FCurlTransfer::OnBody);
	curl_easy_setopt(EasyHandle, CURLOPT_WRITEDATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_XFERINFOFUNCTION, &FCurlTransfer::OnTransferInfo);
	curl_easy_setopt(EasyHandle, CURLOPT_XFERINFODATA, this);
	curl_easy_setopt(EasyHandle, CURLOPT_NOPROGRESS, 0L);

	// The request's headers include the empty "Expect" that ProcessRequest adds: libcurl sends no
	// header without a value, and a set "Expect" keeps it from asking for "100 Continue".
	for (const std::string& Line : Setup.HeaderLines)
	{
		LogAddingHeader(Line);
		HeaderList = curl_slist_append(HeaderList, Line.c_str());
	}
	if (HeaderList)
	{
		curl_easy_setopt(EasyHandle, CURLOPT_HTTPHEADER, HeaderList);
	}
	ConfigureVerbAndBody();
	return EasyHandle;
}

void FCurlTransfer::ConfigurePeerVerification()
{
	// The engine verifies the peer (n.VerifyPeer, which the stand-in does not offer, could turn that
	// off) and leaves host name checking at libcurl's default, which is on.
	curl_easy_setopt(EasyHandle, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt(EasyHandle, CURLOPT_SSL_VERIFYHOST, 2L);
	// Only the certificates the SSL settings name are trusted: none of libcurl's own default places.
	curl_easy_setopt(EasyHandle, CURLOPT_CAPATH, nullptr);
	curl_easy_setopt(EasyHandle, CURLOPT_CAINFO, nullptr);
	if (Setup.RootCertificates && !Setup.RootCertificates->empty())
	{
		curl_blob Certificates{const_cast<char*>(Setup.RootCertificates->data()), Setup.RootCertificates->size(), CURL_BLOB_NOCOPY};
		curl_easy_setopt(EasyHandle, CURLOPT_CAINFO_BLOB, &Certificates);
	}
}

void FCurlTransfer::LogAddingHeader(const std::string& InLine) const
{
	// The engine names every header it adds, except one that mentions Authorization (in any case).
	const FString Line(UTF8_TO_TCHAR(InLine.c_str()));
	if (!Line.Contains(TEXT("Authorization")))
	{
		UE_LOG(LogHttp, Verbose, TEXT("%p: Adding header '%s'"), Setup.RequestAddress, *Line);
	}
}

void FCurlTransfer::ConfigureVerbAndBody()
{
	if (Setup.Verb == "POST" || Setup.Verb == "DELETE")
	{
		// The engine's SetupRequestHttpThread, on the HTTP thread: a body that goes without a
		// Content-Type must already be URL-encoded, or a Development build stops here.
		check(Setup.bHasContentType || Setup.bBodyURLEncoded);
	}
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

void FCurlTransfer::ReadCompletionInfo()
{
	long Code = 0;
	if (curl_easy_getinfo(EasyHandle, CURLINFO_RESPONSE_CODE, &Code) == CURLE_OK)
	{
		CompletedResponseCode = static_cast<int32>(Code);
	}
	curl_off_t Length = -1;
	if (curl_easy_getinfo(EasyHandle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Length) == CURLE_OK && Length > 0)
	{
		CompletedDownloadLength = static_cast<int64>(Length);
	}
}

void FCurlTransfer::End(const ECurlTransferEnd InEnd, const CURLcode InCurlResult, const CURLMcode InMultiResult)
{
	if (EasyHandle)
	{
		if (InEnd == ECurlTransferEnd::Completed)
		{
			ReadCompletionInfo();
		}
		curl_easy_cleanup(EasyHandle);
		EasyHandle = nullptr;
	}
	curl_slist_free_all(HeaderList);
	HeaderList = nullptr;
	const std::lock_guard<std::mutex> Lock(Mutex);
	if (Pending.End == ECurlTransferEnd::None)
	{
		Pending.End = InEnd;
		Pending.CurlResult = InCurlResult;
		Pending.MultiResult = InMultiResult;
		Pending.ResponseCode = CompletedResponseCode;
		Pending.DownloadLength = CompletedDownloadLength;
	}
}

std::vector<std::pair<int32, FString>> FCurlTransfer::TakeInfoMessages()
{
	std::vector<std::pair<int32, FString>> Messages;
	const std::lock_guard<std::mutex> Lock(Mutex);
	for (int32 Offset = 0; Offset < NumberOfInfoMessagesToCache; ++Offset)
	{
		const int32 Slot = (LeastRecentlyCachedInfoMessageIndex + Offset) % NumberOfInfoMessagesToCache;
		if (!InfoMessageCache[Slot].IsEmpty())
		{
			Messages.emplace_back(Slot, MoveTemp(InfoMessageCache[Slot]));
		}
	}
	return Messages;
}

double FCurlTransfer::GetTimeoutOrDefault(const double DefaultSeconds) const
{
	return Setup.bHasTimeout ? Setup.TimeoutSeconds : DefaultSeconds;
}

double FCurlTransfer::GetSecondsSinceActivity(const FClock::time_point Now) const
{
	return std::chrono::duration<double>(Now - LastActivity).count();
}

void FCurlTransfer::LogTimedOut(const FClock::time_point Now) const
{
	UE_LOG(LogHttp, Warning, TEXT("%p: HTTP request timed out after %0.2f seconds URL=%s"), Setup.RequestAddress, GetSecondsSinceActivity(Now),
		*Setup.RequestURL);
}

size_t FCurlTransfer::OnHeaderLine(char* Data, const size_t Size, const size_t Count, void* UserData)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	const size_t Bytes = Size * Count;
	Transfer->LastActivity = FClock::now();
	Transfer->bAnyByteReceived = true;
	Transfer->HandleHeaderLine(std::string(Data, Bytes));
	return Bytes;
}

void FCurlTransfer::HandleHeaderLine(std::string Line)
{
	RemoveLineBreaks(Line);
	UE_LOG(LogHttp, Verbose, TEXT("%p: Received response header '%s'."), Setup.RequestAddress, UTF8_TO_TCHAR(Line.c_str()));
	const std::string::size_type Colon = Line.find(':');
	if (Colon == std::string::npos)
	{
		// A status line or the end of a block: the engine skips the headers of a 3xx answer.
		long Code = 0;
		if (curl_easy_getinfo(EasyHandle, CURLINFO_RESPONSE_CODE, &Code) == CURLE_OK)
		{
			bRedirected = Code >= 300 && Code < 400;
		}
		return;
	}
	const std::string::size_type ValueStart = Line.find_first_not_of(" \t", Colon + 1);
	if (Colon == 0 || ValueStart == std::string::npos || bRedirected)
	{
		return;
	}
	std::pair<std::string, std::string> Header(Line.substr(0, Colon), Line.substr(ValueStart));
	if (curl_strequal(Header.first.c_str(), "Content-Length"))
	{
		// Read here, on the HTTP thread, as the engine does, so progress has a total to go by.
		Setup.Response->SetContentLength(static_cast<uint64>(std::strtoll(Header.second.c_str(), nullptr, 10)));
	}
	const std::lock_guard<std::mutex> Lock(Mutex);
	Pending.Headers.push_back(std::move(Header));
}

size_t FCurlTransfer::OnBody(char* Data, const size_t Size, const size_t Count, void* UserData)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	const size_t Bytes = Size * Count;
	Transfer->LastActivity = FClock::now();
	Transfer->bAnyByteReceived = true;
	FCurlHttpResponse& Response = *Transfer->Setup.Response;
	if (UE_LOG_ACTIVE(LogHttp, Verbose))
	{
		const uint64 Read = Response.GetTotalBytesRead();
		const uint64 Length = Response.GetContentLength();
		UE_LOG(LogHttp, Verbose, TEXT("%p: ReceiveResponseBodyCallback: %llu bytes out of %llu received. (SizeInBlocks=%llu, BlockSizeInBytes=%llu, Response->TotalBytesRead=%llu, Response->GetContentLength()=%llu, SizeToDownload=%llu (<-this will get returned from the callback))"),
			Transfer->Setup.RequestAddress, Read + Bytes, Length, static_cast<uint64>(Count), static_cast<uint64>(Size), Read, Length,
			static_cast<uint64>(Bytes));
	}
	if (Bytes == 0)
	{
		return 0;
	}
	if (!Transfer->Setup.BodyStream.IsValid())
	{
		// No lock: the game thread must not read the payload before the request has finished.
		Response.AppendPayload(Data, Bytes);
		return Bytes;
	}
	// The receiver takes the bytes here, on the HTTP thread; a short count makes libcurl fail
	// the transfer with CURLE_WRITE_ERROR.
	FArchive& Stream = *Transfer->Setup.BodyStream;
	Stream.Serialize(Data, static_cast<int64>(Bytes));
	const size_t Taken = Stream.GetError() ? 0 : Bytes;
	Response.CountBytesRead(Taken);
	return Taken;
}

int FCurlTransfer::OnTransferInfo(void* UserData, curl_off_t, curl_off_t, curl_off_t, const curl_off_t UploadNow)
{
	static_cast<FCurlTransfer*>(UserData)->BytesSent = static_cast<int64>(UploadNow);
	return 0;
}

int FCurlTransfer::OnDebug(CURL*, const curl_infotype Type, char* Data, const size_t Size, void* UserData)
{
	FCurlTransfer* Transfer = static_cast<FCurlTransfer*>(UserData);
	LogCurlDebugInfo(Transfer->Setup.RequestAddress, Type, Data, Size);
	if (Type == CURLINFO_TEXT)
	{
		// Kept at every verbosity: a failure logs them as warnings.
		FString Text = ToCurlInfoText(Data, Size);
		const std::lock_guard<std::mutex> Lock(Transfer->Mutex);
		Transfer->InfoMessageCache[Transfer->LeastRecentlyCachedInfoMessageIndex] = MoveTemp(Text);
		Transfer->LeastRecentlyCachedInfoMessageIndex = (Transfer->LeastRecentlyCachedInfoMessageIndex + 1) % NumberOfInfoMessagesToCache;
	}
	if (IsWireActivity(Type))
	{
		Transfer->LastActivity = FClock::now();
		Transfer->bAnyActivity = true;
	}
	return 0;
}
