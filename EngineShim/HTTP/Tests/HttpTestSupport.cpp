#include "HttpTestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Misc/ConfigCacheIni.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Modules/ModuleManager.h"

#if defined(__SANITIZE_THREAD__)
/**
 * The reference server runs in the test process on Debian's compiled cpp-httplib, which
 * ThreadSanitizer cannot see into: hand-offs between its pool threads inside that library look
 * like races. Only reports with a frame in that library are suppressed; the HTTP module and the
 * server's own code stay checked.
 */
extern "C" const char* __tsan_default_suppressions()
{
	return "race:libcpp-httplib.so\n";
}
#endif

namespace HttpTests
{
	namespace
	{
		const TCHAR* const FlushKeys[] = {
			TEXT("FlushSoftTimeLimitDefault"), TEXT("FlushHardTimeLimitDefault"),
			TEXT("FlushSoftTimeLimitBackground"), TEXT("FlushHardTimeLimitBackground"),
			TEXT("FlushSoftTimeLimitShutdown"), TEXT("FlushHardTimeLimitShutdown"),
			TEXT("FlushSoftTimeLimitFullFlush"), TEXT("FlushHardTimeLimitFullFlush"),
		};

		int BindLoopback(int& OutPort)
		{
			const int Socket = socket(AF_INET, SOCK_STREAM, 0);
			sockaddr_in Address{};
			Address.sin_family = AF_INET;
			Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
			Address.sin_port = 0;
			socklen_t Length = sizeof(Address);
			if (Socket < 0 || bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0
				|| getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length) != 0)
			{
				OutPort = -1;
				return Socket;
			}
			OutPort = ntohs(Address.sin_port);
			return Socket;
		}
	}

	std::shared_ptr<FRecord> Record(IHttpRequest& Request)
	{
		const std::shared_ptr<FRecord> Result = std::make_shared<FRecord>();
		const std::thread::id TestThread = std::this_thread::get_id();
		Request.OnProcessRequestComplete().BindLambda([Result, TestThread](FHttpRequestPtr, FHttpResponsePtr Response, const bool bConnectedSuccessfully)
		{
			Result->bRanOffGameThread |= std::this_thread::get_id() != TestThread;
			++Result->Completions;
			Result->Response = Response;
			Result->bConnectedSuccessfully = bConnectedSuccessfully;
		});
		Request.OnRequestProgress().BindLambda([Result, TestThread](FHttpRequestPtr InRequest, const int32 Sent, const int32 Received)
		{
			Result->bRanOffGameThread |= std::this_thread::get_id() != TestThread;
			Result->Progress.Emplace(Sent, Received);
			const FHttpResponsePtr Response = InRequest->GetResponse();
			Result->ResponseAtProgress.Add(Response.IsValid() ? 1 : 0);
			Result->CodeAtProgress.Add(Response ? Response->GetResponseCode() : -1);
		});
		Request.OnHeaderReceived().BindLambda([Result, TestThread](FHttpRequestPtr, const FString& Name, const FString& Value)
		{
			Result->bRanOffGameThread |= std::this_thread::get_id() != TestThread;
			Result->Headers.Emplace(Name, Value);
		});
		return Result;
	}

	bool PumpUntil(const std::function<bool()>& Done, const double WatchdogSeconds)
	{
		const std::chrono::steady_clock::time_point Giveup = std::chrono::steady_clock::now()
			+ std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(WatchdogSeconds));
		while (!Done())
		{
			if (std::chrono::steady_clock::now() > Giveup)
			{
				return false;
			}
			FHttpModule::Get().GetHttpManager().Tick(0.002f);
			std::this_thread::sleep_for(std::chrono::milliseconds(2));
		}
		return true;
	}

	int ReserveClosedPort()
	{
		int Port = -1;
		const int Socket = BindLoopback(Port);
		close(Socket);
		return Port;
	}

	FString ToFString(const std::string& Text)
	{
		const FUTF8ToTCHAR Converted(Text.data(), static_cast<int32>(Text.size()));
		return FString(Converted.Length(), Converted.Get());
	}

	std::string ToStd(const FString& Text)
	{
		const FTCHARToUTF8 Converted(*Text, Text.Len());
		return std::string(Converted.Get(), static_cast<size_t>(Converted.Length()));
	}

	void SetHttpConfig(const TCHAR* Key, const double Value)
	{
		GConfig->SetDouble(TEXT("HTTP"), Key, Value, GEngineIni);
	}

	FLogCapture::FLogCapture()
	{
		GLog->AddOutputDevice(this);
	}

	FLogCapture::~FLogCapture()
	{
		GLog->RemoveOutputDevice(this);
	}

	void FLogCapture::Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName&)
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		Lines.Emplace(Verbosity, FString(V));
	}

	int32 FLogCapture::Count(const ELogVerbosity::Type MaxVerbosity, const FString& Text) const
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		int32 Found = 0;
		for (const TPair<ELogVerbosity::Type, FString>& Line : Lines)
		{
			Found += (Line.Key & ELogVerbosity::VerbosityMask) <= MaxVerbosity && Line.Value.Contains(Text) ? 1 : 0;
		}
		return Found;
	}

	FCannedServer::FCannedServer()
	{
		ListenSocket = BindLoopback(Port);
		listen(ListenSocket, 16);
		Thread = std::thread([this]()
		{
			// Joined in the destructor.
			Serve();
		});
	}

	FCannedServer::~FCannedServer()
	{
		bStop = true;
		Thread.join();
		close(ListenSocket);
	}

	void FCannedServer::Answer(const std::string& Target, const std::string& RawResponse)
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		Answers[Target] = RawResponse;
	}

	FString FCannedServer::Url(const char* Path) const
	{
		return ToFString("http://127.0.0.1:" + std::to_string(Port) + Path);
	}

	std::vector<std::string> FCannedServer::GetRequestLines() const
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		return RequestLines;
	}

	std::vector<std::string> FCannedServer::GetRequestHeads() const
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		return RequestHeads;
	}

	void FCannedServer::Serve()
	{
		while (!bStop)
		{
			pollfd Listening{ListenSocket, POLLIN, 0};
			if (poll(&Listening, 1, 20) <= 0)
			{
				continue;
			}
			const int Socket = accept(ListenSocket, nullptr, nullptr);
			if (Socket >= 0)
			{
				ServeConnection(Socket);
				close(Socket);
			}
		}
	}

	void FCannedServer::ServeConnection(const int Socket)
	{
		std::string Head;
		char Buffer[4096];
		while (Head.find("\r\n\r\n") == std::string::npos)
		{
			const ssize_t Read = recv(Socket, Buffer, sizeof(Buffer), 0);
			if (Read <= 0)
			{
				return;
			}
			Head.append(Buffer, static_cast<size_t>(Read));
		}
		const std::string RequestLine = Head.substr(0, Head.find("\r\n"));
		const std::string::size_type TargetStart = RequestLine.find(' ') + 1;
		const std::string Target = RequestLine.substr(TargetStart, RequestLine.find(' ', TargetStart) - TargetStart);
		std::string Response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
		{
			const std::lock_guard<std::mutex> Lock(Mutex);
			RequestLines.push_back(RequestLine);
			RequestHeads.push_back(Head.substr(0, Head.find("\r\n\r\n") + 4));
			const std::map<std::string, std::string>::const_iterator Found = Answers.find(Target);
			if (Found != Answers.end())
			{
				Response = Found->second;
			}
		}
		send(Socket, Response.data(), Response.size(), MSG_NOSIGNAL);
		shutdown(Socket, SHUT_WR);
		// Read until the client closes, so the answer is never cut by a reset.
		while (recv(Socket, Buffer, sizeof(Buffer), 0) > 0)
		{
		}
	}

	void FHttpTest::SetUp()
	{
		// Loopback traffic must never go to a proxy the environment may name.
		setenv("no_proxy", "127.0.0.1,localhost", 1);
		TalvaneReference::FServerOptions Options;
		Options.Threads = 64;
		Server = std::make_unique<TalvaneReference::FReferenceServer>(Options);
		ASSERT_GT(Server->Start(), 0);
	}

	void FHttpTest::TearDown()
	{
		// Leftover requests need not hold the next test up.
		SetHttpConfig(TEXT("FlushSoftTimeLimitShutdown"), 0.05);
		SetHttpConfig(TEXT("FlushHardTimeLimitShutdown"), 0.5);
		GConfig->SetFloat(TEXT("HTTP"), TEXT("HttpTimeout"), 180.0f, GEngineIni);
		if (FModuleManager::Get().IsModuleLoaded(TEXT("HTTP")))
		{
			FHttpModule::Get().GetHttpManager().UpdateConfigs();
			FModuleManager::Get().UnloadModule(TEXT("HTTP"));
		}
		for (const TCHAR* Key : FlushKeys)
		{
			GConfig->RemoveKey(TEXT("HTTP"), Key, GEngineIni);
		}
		Server->Stop();
	}

	FString FHttpTest::Url(const char* Path) const
	{
		return ToFString(Server->GetBaseURL()) + ToFString(Path);
	}

	TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FHttpTest::MakeChat(const char* Scenario, const bool bStream) const
	{
		const TSharedRef<IHttpRequest, ESPMode::ThreadSafe> Request = FHttpModule::Get().CreateRequest();
		Request->SetURL(Url("chat/completions"));
		Request->SetVerb(TEXT("POST"));
		Request->SetHeader(TEXT("Content-Type"), TEXT("application/json"));
		Request->SetHeader(TEXT("Authorization"), TEXT("Bearer test-key"));
		Request->SetHeader(TEXT("X-Talvane-Scenario"), ToFString(Scenario));
		Request->SetHeader(TEXT("X-Talvane-Stall-Ms"), TEXT("10000"));
		Request->SetContentAsString(FString::Printf(
			TEXT("{\"model\":\"nimbrel-chat\",\"stream\":%s,\"messages\":[{\"role\":\"user\",\"content\":\"Describe the harbour at dawn in a few words\"}]}"),
			bStream ? TEXT("true") : TEXT("false")));
		return Request;
	}
}
