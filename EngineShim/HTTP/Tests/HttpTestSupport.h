#pragma once

// Shared pieces of the HTTP module tests: a fixture with a reference server on loopback, a
// recorder for the delegates, a tiny server that answers canned bytes, and a closed port.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CoreMinimal.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "Interfaces/IHttpRequest.h"
#include "Interfaces/IHttpResponse.h"
#include "ReferenceServer.h"

/** Lets GoogleTest print engine strings in failure messages. */
inline void PrintTo(const FString& Text, std::ostream* Out)
{
	*Out << '"' << FTCHARToUTF8(*Text).Get() << '"';
}

namespace HttpTests
{
	/** What a request's delegates saw, in order. */
	struct FRecord
	{
		int32 Completions = 0;
		FHttpResponsePtr Response;
		bool bConnectedSuccessfully = false;
		TArray<TPair<int32, int32>> Progress;
		/**
		 * Whether GetResponse() was set, and its status code (-1: no response), at each progress
		 * call. The body is not read there: that would race with the HTTP thread, as in the engine.
		 */
		TArray<int32> ResponseAtProgress;
		TArray<int32> CodeAtProgress;
		TArray<TPair<FString, FString>> Headers;
		/** A delegate ran on another thread than the test's. */
		bool bRanOffGameThread = false;
	};

	/** Binds all three delegates of Request to a new record. */
	std::shared_ptr<FRecord> Record(IHttpRequest& Request);

	/** Ticks the manager until Done() holds; false when a generous watchdog passes first (a hang). */
	bool PumpUntil(const std::function<bool()>& Done, double WatchdogSeconds = 30.0);

	/** A port on 127.0.0.1 that was just free and has nothing listening. */
	int ReserveClosedPort();

	FString ToFString(const std::string& Text);
	std::string ToStd(const FString& Text);

	/** Sets a value in the "[HTTP]" section of the engine ini. */
	void SetHttpConfig(const TCHAR* Key, double Value);

	/** Collects every log line written while it lives. */
	class FLogCapture : public FOutputDevice
	{
	public:
		FLogCapture();
		~FLogCapture() override;
		void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) override;
		bool CanBeUsedOnAnyThread() const override { return true; }
		bool CanBeUsedOnMultipleThreads() const override { return true; }
		/** Lines of at most this verbosity that contain Text. */
		int32 Count(ELogVerbosity::Type MaxVerbosity, const FString& Text) const;

	private:
		mutable std::mutex Mutex;
		TArray<TPair<ELogVerbosity::Type, FString>> Lines;
	};

	/** Answers each request with the raw bytes registered for its target, then closes the connection. */
	class FCannedServer
	{
	public:
		FCannedServer();
		~FCannedServer();

		/** The raw answer (status line, headers, body) for a request target such as "/a". */
		void Answer(const std::string& Target, const std::string& RawResponse);
		FString Url(const char* Path) const;
		int GetPort() const { return Port; }
		/** The request lines received so far ("GET /a HTTP/1.1"). */
		std::vector<std::string> GetRequestLines() const;
		/** The request heads received so far, up to and with the blank line. */
		std::vector<std::string> GetRequestHeads() const;

	private:
		void Serve();
		void ServeConnection(int Socket);

		int ListenSocket = -1;
		int Port = 0;
		std::atomic<bool> bStop{false};
		std::thread Thread;
		mutable std::mutex Mutex;
		std::map<std::string, std::string> Answers;
		std::vector<std::string> RequestLines;
		std::vector<std::string> RequestHeads;
	};

	/**
	 * A reference server for each test and a fresh HTTP module: the module is unloaded (the
	 * engine's shutdown) after each test and the flush limits are put back.
	 */
	class FHttpTest : public ::testing::Test
	{
	protected:
		void SetUp() override;
		void TearDown() override;

		FHttpManager& Manager() { return FHttpModule::Get().GetHttpManager(); }
		FString Url(const char* Path) const;
		/** A POST to the chat path with a scenario and a small conversation. */
		TSharedRef<IHttpRequest, ESPMode::ThreadSafe> MakeChat(const char* Scenario, bool bStream = true) const;

		std::unique_ptr<TalvaneReference::FReferenceServer> Server;
	};
}
