#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "TalvaneSettings.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneSettingsSpec, "Talvane.Settings", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	void ForgetSettings() const
	{
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("CloudBaseURL"), GEngineIni);
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), GEngineIni);
	}
END_DEFINE_SPEC(FTalvaneSettingsSpec)

void FTalvaneSettingsSpec::Define()
{
	BeforeEach([this]()
	{
		ForgetSettings();
	});

	AfterEach([this]()
	{
		ForgetSettings();
	});

	Describe(TEXT("CloudBaseURL"), [this]()
	{
		It(TEXT("DefaultsToTheNimbrelService"), [this]()
		{
			TestEqual(TEXT("Base URL"), TalvaneSettings::GetCloudBaseURL(), TEXT("https://api.nimbrel.com/"));
		});

		It(TEXT("KeepsATrailingSlashAndAddsAMissingOne"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:5000/v1/"), GEngineIni);
			TestEqual(TEXT("With slash"), TalvaneSettings::GetCloudBaseURL(), TEXT("http://127.0.0.1:5000/v1/"));
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:5000/v1"), GEngineIni);
			TestEqual(TEXT("Without slash"), TalvaneSettings::GetCloudBaseURL(), TEXT("http://127.0.0.1:5000/v1/"));
		});

		It(TEXT("TrimsWhiteSpaceAndTreatsABlankEntryAsMissing"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("  http://127.0.0.1:5000 "), GEngineIni);
			TestEqual(TEXT("Padded"), TalvaneSettings::GetCloudBaseURL(), TEXT("http://127.0.0.1:5000/"));
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("   "), GEngineIni);
			TestEqual(TEXT("Blank"), TalvaneSettings::GetCloudBaseURL(), TEXT("https://api.nimbrel.com/"));
		});
	});

	Describe(TEXT("RequestTimeoutSeconds"), [this]()
	{
		It(TEXT("DefaultsToSixtySeconds"), [this]()
		{
			TestEqual(TEXT("Seconds"), TalvaneSettings::GetRequestTimeoutSeconds(), 60.0);
		});

		It(TEXT("ReadsAPositiveValue"), [this]()
		{
			GConfig->SetDouble(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), 2.5, GEngineIni);
			TestEqual(TEXT("Seconds"), TalvaneSettings::GetRequestTimeoutSeconds(), 2.5);
		});

		It(TEXT("FallsBackWithAWarningForZeroOrBelow"), [this]()
		{
			AddExpectedError(TEXT("RequestTimeoutSeconds must be positive"), EAutomationExpectedErrorFlags::Contains, 2);
			GConfig->SetDouble(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), 0.0, GEngineIni);
			TestEqual(TEXT("Zero"), TalvaneSettings::GetRequestTimeoutSeconds(), 60.0);
			GConfig->SetDouble(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), -5.0, GEngineIni);
			TestEqual(TEXT("Negative"), TalvaneSettings::GetRequestTimeoutSeconds(), 60.0);
		});

		It(TEXT("FallsBackForTextThatIsNoNumber"), [this]()
		{
			AddExpectedError(TEXT("RequestTimeoutSeconds must be positive"), EAutomationExpectedErrorFlags::Contains, 1);
			GConfig->SetString(TEXT("Talvane"), TEXT("RequestTimeoutSeconds"), TEXT("soon"), GEngineIni);
			TestEqual(TEXT("Seconds"), TalvaneSettings::GetRequestTimeoutSeconds(), 60.0);
		});
	});
}

#endif
