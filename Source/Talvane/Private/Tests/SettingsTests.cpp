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
			TestTrue(TEXT("Base URL"), TalvaneSettings::GetCloudBaseURL().Equals(TEXT("https://api.nimbrel.com/"), ESearchCase::CaseSensitive));
		});

		It(TEXT("KeepsATrailingSlashAndAddsAMissingOne"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:5000/v1/"), GEngineIni);
			TestTrue(TEXT("With slash"), TalvaneSettings::GetCloudBaseURL().Equals(TEXT("http://127.0.0.1:5000/v1/"), ESearchCase::CaseSensitive));
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:5000/v1"), GEngineIni);
			TestTrue(TEXT("Without slash"), TalvaneSettings::GetCloudBaseURL().Equals(TEXT("http://127.0.0.1:5000/v1/"), ESearchCase::CaseSensitive));
		});

		It(TEXT("TrimsWhiteSpaceAndTreatsABlankEntryAsMissing"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("  http://127.0.0.1:5000 "), GEngineIni);
			TestTrue(TEXT("Padded"), TalvaneSettings::GetCloudBaseURL().Equals(TEXT("http://127.0.0.1:5000/"), ESearchCase::CaseSensitive));
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("   "), GEngineIni);
			TestTrue(TEXT("Blank"), TalvaneSettings::GetCloudBaseURL().Equals(TEXT("https://api.nimbrel.com/"), ESearchCase::CaseSensitive));
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
