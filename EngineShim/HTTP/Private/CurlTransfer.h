#pragma once

// One attempt of a request as libcurl runs it. The request (game thread) makes it, the HTTP
// thread drives it. As in the engine's curl backend the body goes straight into the response's
// payload (or the request's receive stream) on the HTTP thread, without a lock; the counts are
// atomic, and the rest (headers, the end) is handed back under a mutex that the game thread
// takes in FHttpManager::Tick. Only the HTTP thread touches the easy handle and the fields marked so.

#include <atomic>
#include <chrono>
#include <memory>
#include <curl/curl.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Containers/UnrealString.h"
#include "CoreTypes.h"
#include "Serialization/Archive.h"
#include "Templates/SharedPointer.h"

class FCurlHttpResponse;

/** How a transfer ended. */
enum class ECurlTransferEnd : uint8
{
	/** Still running. */
	None,
	/** libcurl finished the transfer, well or with an error (see FNews::CurlResult). */
	Completed,
	/** The easy handle could not join the multi handle (see FNews::MultiResult). */
	NotAdded,
	/** Cancelled by the request. */
	Cancelled,
	/** Nothing was received or sent for the request's time-out. */
	TimedOut,
	/** The HTTP thread stopped before the transfer ended. */
	Abandoned,
};

class FCurlTransfer
{
public:
	typedef std::chrono::steady_clock FClock;

	/** What the request hands over; never changes once the transfer is queued. */
	struct FSetup
	{
		std::string Url;
		std::string Verb;
		/** "Name: Value" lines, as libcurl takes them. */
		std::vector<std::string> HeaderLines;
		std::string Body;
		/** Where the body goes; the request publishes it once the first byte has arrived. */
		TSharedPtr<FCurlHttpResponse, ESPMode::ThreadSafe> Response;
		/** Where the body goes on the HTTP thread instead of the response, when the request set one. */
		TSharedPtr<FArchive> BodyStream;
		/** The request's own inactivity time-out; unset for the module's HttpTimeout. */
		bool bHasTimeout = false;
		double TimeoutSeconds = 0.0;
		/** PEM text of the certificates TLS peers are verified against (SslCertificateStore). */
		std::shared_ptr<const std::string> RootCertificates;
		/** For the HTTP thread's log lines, which name the request as the engine's do. */
		const void* RequestAddress = nullptr;
		FString RequestURL;
		/** The request had a non-empty Content-Type, and whether its body is URL-encoded (the engine's test). */
		bool bHasContentType = false;
		bool bBodyURLEncoded = true;
	};

	/** What the game thread learns at each look. */
	struct FNews
	{
		/** Headers of the answer received since the last look, in order. */
		std::vector<std::pair<std::string, std::string>> Headers;
		/** Any byte of an answer (status line, header or body) has arrived. */
		bool bAnyByteReceived = false;
		/** Anything went over the wire (the engine's bAnyHttpActivity: headers out count). */
		bool bAnyActivity = false;
		ECurlTransferEnd End = ECurlTransferEnd::None;
		CURLcode CurlResult = CURLE_OK;
		CURLMcode MultiResult = CURLM_OK;
		/** CURLINFO_RESPONSE_CODE and CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, read when libcurl completed. */
		int32 ResponseCode = 0;
		int64 DownloadLength = 0;
	};

	explicit FCurlTransfer(FSetup&& InSetup);
	~FCurlTransfer();

	FCurlTransfer(const FCurlTransfer&) = delete;
	FCurlTransfer& operator=(const FCurlTransfer&) = delete;

	/** Game thread: moves what arrived into OutNews. */
	void TakeNews(FNews& OutNews);
	/** Any thread: request body bytes handed to libcurl so far. */
	int64 GetBytesSent() const { return BytesSent.load(); }
	const TSharedPtr<FCurlHttpResponse, ESPMode::ThreadSafe>& GetResponse() const { return Setup.Response; }

	/** How many of libcurl's info texts a transfer keeps for the failure log, as the engine does. */
	static constexpr int32 NumberOfInfoMessagesToCache = 50;

	/**
	 * Game thread, once the transfer has ended: libcurl's last info texts as "slot, text" pairs in
	 * the order the engine logs them after a failure (oldest first, each with its slot in the ring).
	 */
	std::vector<std::pair<int32, FString>> TakeInfoMessages();

	/** HTTP thread: makes and configures the easy handle; null when libcurl cannot make one. */
	CURL* CreateEasyHandle();
	CURL* GetEasyHandle() const { return EasyHandle; }

	/** HTTP thread: frees the easy handle (already removed from the multi handle) and records the end. */
	void End(ECurlTransferEnd InEnd, CURLcode InCurlResult = CURLE_OK, CURLMcode InMultiResult = CURLM_OK);

	/** HTTP thread: the inactivity limit, the request's own or DefaultSeconds; zero or less for none. */
	double GetTimeoutOrDefault(double DefaultSeconds) const;
	/** HTTP thread: seconds since anything last went over the wire. */
	double GetSecondsSinceActivity(FClock::time_point Now) const;
	/** HTTP thread: logs the engine's time-out warning. */
	void LogTimedOut(FClock::time_point Now) const;

private:
	static size_t OnHeaderLine(char* Data, size_t Size, size_t Count, void* UserData);
	static size_t OnBody(char* Data, size_t Size, size_t Count, void* UserData);
	static int OnTransferInfo(void* UserData, curl_off_t DownloadTotal, curl_off_t DownloadNow, curl_off_t UploadTotal, curl_off_t UploadNow);
	static int OnDebug(CURL* Handle, curl_infotype Type, char* Data, size_t Size, void* UserData);

	void ConfigureVerbAndBody();
	void ConfigurePeerVerification();
	void LogAddingHeader(const std::string& InLine) const;
	void HandleHeaderLine(std::string Line);
	void ReadCompletionInfo();

	const FSetup Setup;

	std::atomic<int64> BytesSent{0};
	std::atomic<bool> bAnyByteReceived{false};
	std::atomic<bool> bAnyActivity{false};

	// Shared with the game thread, under Mutex.
	std::mutex Mutex;
	FNews Pending;

	// Written on the HTTP thread, read once the transfer has ended, under Mutex.
	FString InfoMessageCache[NumberOfInfoMessagesToCache];
	int32 LeastRecentlyCachedInfoMessageIndex = 0;

	// HTTP thread only.
	CURL* EasyHandle = nullptr;
	curl_slist* HeaderList = nullptr;
	FClock::time_point LastActivity;
	bool bRedirected = false;
	int32 CompletedResponseCode = 0;
	int64 CompletedDownloadLength = 0;
};
