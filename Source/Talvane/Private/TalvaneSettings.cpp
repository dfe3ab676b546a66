#include "TalvaneSettings.h"

#include "Misc/ConfigCacheIni.h"
#include "TalvaneLog.h"

namespace
{
	const TCHAR* const SettingsSection = TEXT("Talvane");
	const TCHAR* const DefaultCloudBaseURL = TEXT("https://api.nimbrel.com/");
	const double DefaultRequestTimeoutSeconds = 60.0;
	const double DefaultRetryBaseSeconds = 1.0;
	const double DefaultRetryMaxSeconds = 30.0;

	/** A number of seconds from the ini; Default when absent, negative or not a number. */
	double GetSeconds(const TCHAR* InKey, const double InDefault)
	{
		double Seconds = InDefault;
		if (GConfig)
		{
			GConfig->GetDouble(SettingsSection, InKey, Seconds, GEngineIni);
		}
		return Seconds >= 0.0 ? Seconds : InDefault;
	}
}

FString TalvaneSettings::GetCloudBaseURL()
{
	FString BaseURL;
	if (GConfig)
	{
		GConfig->GetString(SettingsSection, TEXT("CloudBaseURL"), BaseURL, GEngineIni);
	}
	BaseURL.TrimStartAndEndInline();
	// An empty entry is treated as no entry: a blank base would make every cloud URL relative.
	if (BaseURL.IsEmpty())
	{
		return DefaultCloudBaseURL;
	}
	if (!BaseURL.EndsWith(TEXT("/")))
	{
		BaseURL.AppendChar(TEXT('/'));
	}
	return BaseURL;
}

double TalvaneSettings::GetRequestTimeoutSeconds()
{
	double Seconds = DefaultRequestTimeoutSeconds;
	if (GConfig)
	{
		GConfig->GetDouble(SettingsSection, TEXT("RequestTimeoutSeconds"), Seconds, GEngineIni);
	}
	// Written so that a value that is not a number falls back as well.
	if (!(Seconds > 0.0))
	{
		UE_LOG(TalvaneLog, Warning, TEXT("[Talvane] RequestTimeoutSeconds must be positive; using %g seconds."), DefaultRequestTimeoutSeconds);
		return DefaultRequestTimeoutSeconds;
	}
	return Seconds;
}

int32 TalvaneSettings::GetMaxRetries()
{
	int32 Retries = 0;
	if (GConfig)
	{
		GConfig->GetInt(SettingsSection, TEXT("MaxRetries"), Retries, GEngineIni);
	}
	return Retries > 0 ? Retries : 0;
}

double TalvaneSettings::GetRetryBaseSeconds()
{
	return GetSeconds(TEXT("RetryBaseSeconds"), DefaultRetryBaseSeconds);
}

double TalvaneSettings::GetRetryMaxSeconds()
{
	return GetSeconds(TEXT("RetryMaxSeconds"), DefaultRetryMaxSeconds);
}

int32 TalvaneSettings::GetMaxHistoryCharacters()
{
	int32 Characters = 0;
	if (GConfig)
	{
		GConfig->GetInt(SettingsSection, TEXT("MaxHistoryCharacters"), Characters, GEngineIni);
	}
	return Characters > 0 ? Characters : 0;
}
