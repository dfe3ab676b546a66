#pragma once

// Shared by the transport tests: the reference server on loopback, reached by the URL in the engine
// ini (Tests/TalvaneTestServer.h), a game-thread loop that ticks the engine's HTTP manager as the
// engine loop would, a probe that counts the transport's callbacks, and a capture of the plugin's
// log lines.

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"
#include "HAL/CriticalSection.h"
#include "HTTP/TalvaneHttp.h"
#include "Misc/AutomationTest.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Misc/ScopeLock.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "TalvaneJson.h"
#include "TalvaneLog.h"
#include "Tests/TalvaneTestServer.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneHttpTest
{
	using TalvaneTestServer::ConfigureCloud;
	using TalvaneTestServer::GetServerBaseURL;
	using TalvaneTestServer::GetServerHostPort;
	using TalvaneTestServer::ResetCloud;
	using TalvaneTestServer::ServerKey;
	using TalvaneTestServer::TickUntil;

	/**
	 * Kept so that AfterEach blocks may still call it: the server runs in a process of its own now
	 * (the CTest fixture, or started by hand in the editor), which the tests never stop.
	 */
	inline void StopServer() {}

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

	/**
	 * Keeps the lines written to the plugin's log category while it lives. The transport logs from the
	 * HTTP thread too; the engine's log hands such lines at once only to a device usable on multiple
	 * threads, so this is one, and a lock guards the lines.
	 */
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

		virtual bool CanBeUsedOnAnyThread() const override { return true; }
		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

		virtual void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
		{
			if (Category == FName(TEXT("TalvaneLog")))
			{
				FScopeLock Lock(&Mutex);
				Lines.Add(FLine{static_cast<ELogVerbosity::Type>(Verbosity & ELogVerbosity::VerbosityMask), FString(V)});
			}
		}

		/** Lines starting with InPrefix (case-sensitive), in order. */
		TArray<FLine> Find(const FString& InPrefix) const
		{
			FScopeLock Lock(&Mutex);
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

	private:
		mutable FCriticalSection Mutex;
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

#endif
