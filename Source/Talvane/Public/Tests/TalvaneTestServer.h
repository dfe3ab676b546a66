#pragma once

// For the automation specs of the Talvane modules that talk to the reference server
// (Programs/ReferenceServer) on loopback. They reach it by URL only: the engine ini key
// [Talvane.Tests] ReferenceServerURL (for example "http://127.0.0.1:8123/"). In the editor, start
// talvane-reference-server by hand and set the key in the project's DefaultEngine.ini; the CTest
// fixture of this repository starts one and sets it. A spec that declares
// TALVANE_SPEC_NEEDS_REFERENCE_SERVER() skips, with one warning, while the key is unset.

#include "Containers/Ticker.h"
#include "CoreMinimal.h"
#include "HAL/PlatformProcess.h"
#include "HAL/PlatformTime.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneTestServer
{
	/** The engine ini section and key that hold the reference server's URL. */
	inline const TCHAR* const ConfigSection = TEXT("Talvane.Tests");
	inline const TCHAR* const ConfigKey = TEXT("ReferenceServerURL");

	/** The API key the reference server demands by default. */
	inline const TCHAR* const ServerKey = TEXT("test-key");

	/** The configured URL with one trailing '/', or an empty string when none is set. */
	inline FString GetServerBaseURL()
	{
		FString URL;
		GConfig->GetString(ConfigSection, ConfigKey, URL, GEngineIni);
		URL.TrimStartAndEndInline();
		if (!URL.IsEmpty() && !URL.EndsWith(TEXT("/")))
		{
			URL.AppendChar(TEXT('/'));
		}
		return URL;
	}

	inline bool IsServerConfigured()
	{
		return !GetServerBaseURL().IsEmpty();
	}

	/** "127.0.0.1:PORT": the configured URL without its scheme and path. */
	inline FString GetServerHostPort()
	{
		const FString URL = GetServerBaseURL();
		FString AfterScheme = URL;
		URL.Split(TEXT("://"), nullptr, &AfterScheme);
		FString HostPort = AfterScheme;
		AfterScheme.Split(TEXT("/"), &HostPort, nullptr);
		return HostPort;
	}

	/** The ini values ConfigureCloud replaced, put back by ResetCloud. */
	struct FSavedCloudConfig
	{
		bool bSaved = false;
		bool bHadBaseURL = false;
		bool bHadTimeout = false;
		FString BaseURL;
		FString Timeout;
	};

	inline FSavedCloudConfig& GetSavedCloudConfig()
	{
		static FSavedCloudConfig Saved;
		return Saved;
	}

	/** Points the cloud base URL at InBaseURL and sets the JSON path's time-out (0: the default). */
	inline void ConfigureCloud(const FString& InBaseURL, const double InTimeoutSeconds = 0.0)
	{
		FSavedCloudConfig& Saved = GetSavedCloudConfig();
		if (!Saved.bSaved)
		{
			Saved.bSaved = true;
			Saved.bHadBaseURL = GConfig->GetString(TEXT("Talvane"), TEXT("CloudBaseURL"), Saved.BaseURL, GEngineIni);
			Saved.bHadTimeout = GConfig->GetString(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), Saved.Timeout, GEngineIni);
		}
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

	/** Undoes ConfigureCloud: the cloud base URL and time-out are as they were before it. */
	inline void ResetCloud()
	{
		FSavedCloudConfig& Saved = GetSavedCloudConfig();
		const auto Restore = [](const TCHAR* Key, const bool bHad, const FString& Value)
		{
			if (bHad)
			{
				GConfig->SetString(TEXT("Talvane"), Key, *Value, GEngineIni);
			}
			else
			{
				GConfig->RemoveKey(TEXT("Talvane"), Key, GEngineIni);
			}
		};
		Restore(TEXT("CloudBaseURL"), Saved.bSaved && Saved.bHadBaseURL, Saved.BaseURL);
		Restore(TEXT("RequestTimeoutSeconds"), Saved.bSaved && Saved.bHadTimeout, Saved.Timeout);
		Saved = FSavedCloudConfig();
	}

	/**
	 * Keys of one engine ini section as a test found them, put back by Restore: a test that changes
	 * engine settings takes one in BeforeEach and restores it in AfterEach, so the editor session
	 * goes on with the settings it had.
	 */
	class FIniSnapshot
	{
	public:
		FIniSnapshot() = default;
		FIniSnapshot(const TCHAR* InSection, const TArray<FString>& InKeys) : Section(InSection)
		{
			for (const FString& Key : InKeys)
			{
				FSavedKey& Saved = Keys.AddDefaulted_GetRef();
				Saved.Key = Key;
				Saved.bPresent = GConfig->GetString(InSection, *Key, Saved.Value, GEngineIni);
			}
		}

		void Restore() const
		{
			for (const FSavedKey& Saved : Keys)
			{
				if (Saved.bPresent)
				{
					GConfig->SetString(*Section, *Saved.Key, *Saved.Value, GEngineIni);
				}
				else
				{
					GConfig->RemoveKey(*Section, *Saved.Key, GEngineIni);
				}
			}
		}

	private:
		struct FSavedKey
		{
			FString Key;
			FString Value;
			bool bPresent = false;
		};

		FString Section;
		TArray<FSavedKey> Keys;
	};

	/** The [HTTP] flush limits, every reason and both limits. */
	inline TArray<FString> GetHttpFlushLimitKeys()
	{
		TArray<FString> Keys;
		for (const TCHAR* Reason : {TEXT("Default"), TEXT("Background"), TEXT("Shutdown"), TEXT("FullFlush")})
		{
			Keys.Add(FString(TEXT("FlushSoftTimeLimit")) + Reason);
			Keys.Add(FString(TEXT("FlushHardTimeLimit")) + Reason);
		}
		return Keys;
	}

	/**
	 * Ticks the HTTP manager on this (the game) thread until InDone holds or InSeconds pass; returns
	 * whether it held. The deadline only keeps a broken build from hanging; nothing asserts on speed.
	 */
	template <typename PredicateType>
	bool TickUntil(const PredicateType& InDone, const double InSeconds = 20.0)
	{
		const double Deadline = FPlatformTime::Seconds() + InSeconds;
		double LastTick = FPlatformTime::Seconds();
		while (!InDone())
		{
			const double Now = FPlatformTime::Seconds();
			if (Now > Deadline)
			{
				return false;
			}
			// As an engine frame: the core ticker (timers such as retries) with the time that passed, then HTTP.
			FTSTicker::GetCoreTicker().Tick(static_cast<float>(Now - LastTick));
			LastTick = Now;
			FHttpModule::Get().GetHttpManager().Tick(0.0f);
			FPlatformProcess::Sleep(0.001f);
		}
		return true;
	}

	/** The one line a spec that needs the server reports when none is configured. */
	inline FString GetSkipMessage()
	{
		return FString(TEXT("Skipped: no reference server. Start talvane-reference-server and set [")) + ConfigSection + TEXT("] ")
			+ ConfigKey + TEXT(" in the engine ini to its URL.");
	}
}

/**
 * Declared inside BEGIN_DEFINE_SPEC ... END_DEFINE_SPEC of a spec whose tests talk to the reference
 * server: while no server URL is configured, each of its tests only reports the skip, as a warning.
 */
#define TALVANE_SPEC_NEEDS_REFERENCE_SERVER() \
	public: \
		virtual bool RunTest(const FString& InParameters) override \
		{ \
			if (!TalvaneTestServer::IsServerConfigured()) \
			{ \
				AddWarning(TalvaneTestServer::GetSkipMessage()); \
				return true; \
			} \
			return FAutomationSpecBase::RunTest(InParameters); \
		} \
	protected:

#endif
