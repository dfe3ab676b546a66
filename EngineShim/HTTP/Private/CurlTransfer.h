#pragma once

// One attempt of a request as libcurl runs it. The request (game thread) makes it, the HTTP
// thread drives it, and what arrives is handed back under a mutex: the game thread takes it in
// FHttpManager::Tick. Only the HTTP thread touches the easy handle and the fields marked so.

#include <chrono>
#include <curl/curl.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "CoreTypes.h"
#include "Serialization/Archive.h"
#include "Templates/SharedPointer.h"

/** How a transfer ended. */
enum class ECurlTransferEnd : uint8
{
	/** Still running. */
	None,
	/** libcurl finished the transfer (the answer may still lack a status code). */
	Completed,
	/** libcurl gave up (connection refused, name not resolved, TLS, dropped connection...). */
	Failed,
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
		/** Where the body goes on the HTTP thread instead of the response, when the request set one. */
		TSharedPtr<FArchive> BodyStream;
		/** Inactivity time-out; zero or less for none. */
		double InactivitySeconds = 0.0;
	};

	/** What arrived since the game thread last looked. */
	struct FNews
	{
		/** Body bytes received since the last look; the buffers are swapped, not copied. */
		std::vector<uint8> Body;
		std::vector<std::pair<std::string, std::string>> Headers;
		/** Status code of the final answer; 0 until its header block arrived. */
		int32 ResponseCode = 0;
		int64 BytesSent = 0;
		int64 BytesReceived = 0;
		/** Any byte of an answer (status line, header or body) has arrived. */
		bool bAnyByteReceived = false;
		ECurlTransferEnd End = ECurlTransferEnd::None;
		std::string Error;
	};

	explicit FCurlTransfer(FSetup&& InSetup);
	~FCurlTransfer();

	FCurlTransfer(const FCurlTransfer&) = delete;
	FCurlTransfer& operator=(const FCurlTransfer&) = delete;

	/** Game thread: moves what arrived into OutNews (whose Body must be empty; its capacity is recycled). */
	void TakeNews(FNews& OutNews);

	/** HTTP thread: makes and configures the easy handle; null when libcurl cannot make one. */
	CURL* CreateEasyHandle();
	CURL* GetEasyHandle() const { return EasyHandle; }

	/** HTTP thread: frees the easy handle (already removed from the multi handle) and records the end. */
	void End(ECurlTransferEnd InEnd, std::string&& InError);

	/** HTTP thread: true when the inactivity time-out has passed at Now. */
	bool HasTimedOut(FClock::time_point Now) const;
	/** HTTP thread: when the inactivity time-out passes, or max() when there is none. */
	FClock::time_point GetDeadline() const;
	double GetInactivitySeconds() const { return Setup.InactivitySeconds; }

private:
	static size_t OnHeaderLine(char* Data, size_t Size, size_t Count, void* UserData);
	static size_t OnBody(char* Data, size_t Size, size_t Count, void* UserData);
	static int OnTransferInfo(void* UserData, curl_off_t DownloadTotal, curl_off_t DownloadNow, curl_off_t UploadTotal, curl_off_t UploadNow);

	void ConfigureVerbAndBody();
	void HandleHeaderLine(std::string Line);
	void EndHeaderBlock();
	bool IsFollowedRedirect() const;

	const FSetup Setup;

	// Shared with the game thread, under Mutex.
	std::mutex Mutex;
	FNews Pending;

	// HTTP thread only.
	CURL* EasyHandle = nullptr;
	curl_slist* HeaderList = nullptr;
	char ErrorBuffer[CURL_ERROR_SIZE] = {};
	FClock::time_point LastActivity;
	curl_off_t LastUploadNow = 0;
	int32 BlockCode = 0;
	std::vector<std::pair<std::string, std::string>> BlockHeaders;
	bool bFinalBlockPublished = false;
};
