#include "Manage/TalvaneRetryPolicy.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "Misc/DateTime.h"
#include "Tests/TalvaneTestServer.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneRetryPolicySpec, "Talvane.RetryPolicy", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TalvaneTestServer::FIniSnapshot Saved;
END_DEFINE_SPEC(FTalvaneRetryPolicySpec)

void FTalvaneRetryPolicySpec::Define()
{
	BeforeEach([this]()
	{
		Saved = TalvaneTestServer::FIniSnapshot(TEXT("Talvane"), {TEXT("RetryBaseSeconds"), TEXT("RetryMaxSeconds")});
	});
	AfterEach([this]()
	{
		Saved.Restore();
	});

	It(TEXT("ReadsRetryAfterInSecondsOrAsAnHttpDate"), [this]()
	{
		const FDateTime Now(2026, 12, 8, 8, 49, 30);
		double Seconds = -1.0;
		TestTrue(TEXT("seconds"), TalvaneRetryPolicy::ParseRetryAfter(TEXT(" 120 "), Now, Seconds) && Seconds == 120.0);
		TestTrue(TEXT("RFC 1123 date"), TalvaneRetryPolicy::ParseRetryAfter(TEXT("Tue, 08 Dec 2026 08:49:37 GMT"), Now, Seconds) && Seconds == 7.0);
		TestTrue(TEXT("RFC 850 date"), TalvaneRetryPolicy::ParseRetryAfter(TEXT("Tuesday, 08-Dec-26 08:50:30 GMT"), Now, Seconds) && Seconds == 60.0);
		TestTrue(TEXT("asctime date"), TalvaneRetryPolicy::ParseRetryAfter(TEXT("Tue Dec  8 08:49:31 2026"), Now, Seconds) && Seconds == 1.0);
		TestTrue(TEXT("a past date waits nothing"), TalvaneRetryPolicy::ParseRetryAfter(TEXT("Sun, 06 Nov 1994 08:49:37 GMT"), Now, Seconds) && Seconds == 0.0);
		Seconds = -1.0;
		for (const TCHAR* Bad : {TEXT(""), TEXT("-5"), TEXT("1.5"), TEXT("soon"), TEXT("Tue, 31 Feb 2026 08:49:37 GMT"), TEXT("Tue, 08 Dec 2026 25:00:00 GMT")})
		{
			TestFalse(FString(TEXT("refused: ")) + Bad, TalvaneRetryPolicy::ParseRetryAfter(Bad, Now, Seconds));
		}
		TestEqual(TEXT("left untouched"), Seconds, -1.0);
	});

	It(TEXT("WaitsAtRandomUpToTheDoubledBaseAndNeverPastTheCap"), [this]()
	{
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryBaseSeconds"), TEXT("2"), GEngineIni);
		GConfig->SetString(TEXT("Talvane"), TEXT("RetryMaxSeconds"), TEXT("5"), GEngineIni);
		double Longest[4] = {};
		for (int32 Draw = 0; Draw < 400; ++Draw)
		{
			for (int32 Retry = 1; Retry <= 3; ++Retry)
			{
				const double Delay = TalvaneRetryPolicy::GetRetryDelaySeconds(Retry, FString());
				TestTrue(TEXT("not negative"), Delay >= 0.0);
				Longest[Retry] = FMath::Max(Longest[Retry], Delay);
			}
		}
		TestTrue(TEXT("first retry within the base"), Longest[1] <= 2.0 && Longest[1] > 1.0);
		TestTrue(TEXT("second retry within twice the base"), Longest[2] <= 4.0 && Longest[2] > 2.0);
		TestTrue(TEXT("third retry within the cap"), Longest[3] <= 5.0 && Longest[3] > 4.0);
		TestEqual(TEXT("a server's wait, capped"), TalvaneRetryPolicy::GetRetryDelaySeconds(1, TEXT("60")), 5.0);
		TestEqual(TEXT("a server's short wait"), TalvaneRetryPolicy::GetRetryDelaySeconds(3, TEXT("1")), 1.0);
		TestEqual(TEXT("a huge retry count does not overflow"), TalvaneRetryPolicy::GetRetryDelaySeconds(1000, TEXT("0")), 0.0);
		TestTrue(TEXT("nor when drawn"), TalvaneRetryPolicy::GetRetryDelaySeconds(1000, FString()) <= 5.0);
	});
}

#endif
