#pragma once

// Shared by the transport tests: a reference server on loopback, a game-thread loop that ticks the
// engine's HTTP manager as the engine loop would, a probe that counts the transport's callbacks,
// and a capture of the plugin's log lines.

#include <memory>
#include <string>

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"
#include "HAL/PlatformProcess.h"
#include "HAL/PlatformTime.h"
#include "HTTP/TalvaneHttp.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "Misc/OutputDeviceRedirector.h"
#include "ReferenceServer.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneJson.h"
#include "TalvaneLog.h"

#if defined(__SANITIZE_THREAD__)
/**
 * The reference server runs in the test process on Debian's compiled cpp-httplib, which
 * ThreadSanitizer cannot see into: hand-offs between its pool threads inside that library look like
 * races. Only reports with a frame in that library are suppressed. Weak, so the programs that include
 * this header in several places (or define their own) still link.
 */
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions()
{
	return "race:libcpp-httplib.so\n";
}
#endif

namespace TalvaneHttpTest
{
	/** The API key the reference server demands. */
	inline const TCHAR* const ServerKey = TEXT("test-key");

	inline FString ToFString(const std::string& InText)
	{
		const FUTF8ToTCHAR Converted(InText.c_str(), static_cast<int32>(InText.size()));
		return FString(Converted.Length(), Converted.Get());
	}

	inline std::unique_ptr<TalvaneReference::FReferenceServer>& GetServerSlot()
	{
		static std::unique_ptr<TalvaneReference::FReferenceServer> Server;
		return Server;
	}

	/** The reference server, started on first use on a port the system picks. */
	inline TalvaneReference::FReferenceServer& GetServer()
	{
		std::unique_ptr<TalvaneReference::FReferenceServer>& Server = GetServerSlot();
		if (!Server)
		{
			TalvaneReference::FServerOptions Options;
			Options.Threads = 64;
			Server = std::make_unique<TalvaneReference::FReferenceServer>(Options);
			Server->Start();
		}
		return *Server;
	}

	/**
	 * Stops the server and joins its threads; the next GetServer starts a new one. Call it after each
	 * test: a handler still stalling when the program exits would otherwise run on while the
	 * program's statics are destroyed.
	 */
	inline void StopServer()
	{
		GetServerSlot().reset();
	}

	/** "http://127.0.0.1:PORT/" */
	inline FString GetServerBaseURL()
	{
		return ToFString(GetServer().GetBaseURL());
	}

	/** "127.0.0.1:PORT" */
	inline FString GetServerHostPort()
	{
		return ToFString(GetServer().GetHostPort());
	}

	/** A loopback URL where nothing listens: a server's port, after the server has stopped. */
	inline FString GetClosedPortURL()
	{
		TalvaneReference::FServerOptions Options;
		Options.Threads = 1;
		TalvaneReference::FReferenceServer Closed(Options);
		const int Port = Closed.Start();
		Closed.Stop();
		return FString::Printf(TEXT("http://127.0.0.1:%d/chat/completions"), Port);
	}

	/** Points the cloud base URL at BaseURL and sets the JSON path's time-out (0: the default). */
	inline void ConfigureCloud(const FString& InBaseURL, const double InTimeoutSeconds = 0.0)
	{
		GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), *InBaseURL, GEngineIni);
		if (InTimeoutSeconds > 0.0)
		{
			GConfig->SetDouble(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), InTimeoutSeconds, GEngineIni);
		}
		else
		{
			GConfig->RemoveKey(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), GEngineIni);
		}
	}

	/** Forgets the cloud base URL and time-out set by ConfigureCloud. */
	inline void ResetCloud()
	{
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("CloudBaseURL"), GEngineIni);
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), GEngineIni);
	}

	/**
	 * Ticks the HTTP manager on this (the game) thread until InDone holds or InSeconds pass; returns
	 * whether it held. The deadline only keeps a broken build from hanging; nothing asserts on speed.
	 */
	template <typename PredicateType>
	bool TickUntil(const PredicateType& InDone, const double InSeconds = 20.0)
	{
		const double Deadline = FPlatformTime::Seconds() + InSeconds;
		while (!InDone())
		{
			if (FPlatformTime::Seconds() > Deadline)
			{
				return false;
			}
			FHttpModule::Get().GetHttpManager().Tick(0.0f);
			FPlatformProcess::Sleep(0.001f);
		}
		return true;
	}

	/** What the transport told its owner. */
	struct FTransportProbe
	{
		int32 Completions = 0;
		int32 ProgressReports = 0;
		int32 HeadersReceived = 0;
		FHttpRequestPtr LastRequest;
		FHttpResponsePtr LastResponse;
		/** The body of the last completed request, as the transport kept it (the engine's response holds none). */
		FString LastBody;
		bool bLastConnected = false;
		/** The transport reporting to this probe; set it after creating the transport. */
		TWeakPtr<TalvaneHttp::FHTTP, ESPMode::ThreadSafe> Transport;
		TMap<FString, FString> Headers;
	};

	/** A callback bundle feeding Probe; the bundle shares ownership of it, so it outlives every call. */
	inline TalvaneHttp::FHTTPDelegate MakeProbeDelegate(const TSharedRef<FTransportProbe>& InProbe)
	{
		TalvaneHttp::FHTTPDelegate Delegate;
		Delegate.RequestCompleteDelegate.BindLambda(
			[InProbe](FHttpRequestPtr Request, FHttpResponsePtr Response, const bool bConnectedSuccessfully)
			{
				++InProbe->Completions;
				InProbe->LastRequest = Request;
				InProbe->LastResponse = Response;
				InProbe->bLastConnected = bConnectedSuccessfully;
				const TSharedPtr<TalvaneHttp::FHTTP, ESPMode::ThreadSafe> Transport = InProbe->Transport.Pin();
				const TSharedPtr<TalvaneHttp::FTalvaneReceivedBody, ESPMode::ThreadSafe> Body =
					Transport.IsValid() ? Transport->FindReceivedBody(Request) : nullptr;
				InProbe->LastBody = Body.IsValid() ? Body->ToString() : FString();
			});
		Delegate.RequestProgressDelegate.BindLambda([InProbe](FHttpRequestPtr, int32, int32) { ++InProbe->ProgressReports; });
		Delegate.RequestHeaderReceivedDelegate.BindLambda(
			[InProbe](FHttpRequestPtr, const FString& Name, const FString& Value)
			{
				++InProbe->HeadersReceived;
				InProbe->Headers.Add(Name, Value);
			});
		return Delegate;
	}

	/** Keeps the lines written to the plugin's log category while it lives. */
	class FTalvaneLogCapture : public FOutputDevice
	{
	public:
		struct FLine
		{
			ELogVerbosity::Type Verbosity;
			FString Text;
		};

		FTalvaneLogCapture() { GLog->AddOutputDevice(this); }
		virtual ~FTalvaneLogCapture() override { GLog->RemoveOutputDevice(this); }

		virtual void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
		{
			if (Category == FName(TEXT("TalvaneLog")))
			{
				Lines.Add(FLine{static_cast<ELogVerbosity::Type>(Verbosity & ELogVerbosity::VerbosityMask), FString(V)});
			}
		}

		/** Lines starting with InPrefix (case-sensitive), in order. */
		TArray<FLine> Find(const FString& InPrefix) const
		{
			TArray<FLine> Found;
			for (const FLine& Line : Lines)
			{
				if (Line.Text.StartsWith(InPrefix, ESearchCase::CaseSensitive))
				{
					Found.Add(Line);
				}
			}
			return Found;
		}

		TArray<FLine> Lines;
	};

	/** The body of a response as a JSON object; null when it is not one. */
	inline TSharedPtr<FJsonObject> ParseJsonObject(const FString& InText)
	{
		TSharedPtr<FJsonObject> Object;
		const TSharedRef<TJsonReader<TCHAR>> Reader = TJsonReaderFactory<TCHAR>::Create(InText);
		FJsonSerializer::Deserialize(Reader, Object);
		return Object;
	}

	/** The server's "/echo" URL, which answers any request with what it received. */
	inline FString GetEchoURL()
	{
		return GetServerBaseURL() + TEXT("echo");
	}

	/** Ticks until the probe has seen a completion; records a test error when none came. */
	inline bool WaitForCompletion(FAutomationTestBase& InTest, const TSharedRef<FTransportProbe>& InProbe)
	{
		const bool bDone = TickUntil([InProbe]() { return InProbe->Completions > 0; });
		InTest.TestTrue(TEXT("the request completed"), bDone);
		return bDone;
	}

	/** Waits for the completion of a request to "/echo" and reads what the server received. */
	inline TSharedPtr<FJsonObject> WaitForEcho(FAutomationTestBase& InTest, const TSharedRef<FTransportProbe>& InProbe)
	{
		if (!WaitForCompletion(InTest, InProbe) || !InTest.TestValid(TEXT("response"), InProbe->LastResponse))
		{
			return nullptr;
		}
		const TSharedPtr<FJsonObject> Echo = ParseJsonObject(InProbe->LastBody);
		InTest.TestValid(TEXT("echo"), Echo);
		return Echo;
	}

	/** The value the server received for a header; "<absent>" when it received none. */
	inline FString EchoHeader(const TSharedPtr<FJsonObject>& InEcho, const FString& InName)
	{
		FString Value = TEXT("<absent>");
		const TSharedPtr<FJsonObject>* Headers = nullptr;
		if (InEcho.IsValid() && InEcho->TryGetObjectField(TEXT("headers"), Headers))
		{
			(*Headers)->TryGetStringField(InName, Value);
		}
		return Value;
	}

	/** A cloud chat body holding one question. */
	inline FString MakeChatBody(const FString& InQuestion, const bool bInStream)
	{
		FNimbrelChatRequest Record;
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = bInStream;
		FNimbrelContextMessage& Message = Record.Messages.AddDefaulted_GetRef();
		Message.Role = ENimbrelRole::NIMBREL_USER;
		Message.Content = InQuestion;
		FString Body;
		TalvaneJson::NimbrelChatRequestToString(Record, Body);
		return Body;
	}
}
