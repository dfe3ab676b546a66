#include "TalvaneRetryPolicy.h"

#include "Misc/DateTime.h"
#include "TalvaneSettings.h"

bool TalvaneRetryPolicy::IsRetryableStatus(const int32 InCode)
{
	return InCode == 429 || InCode == 500 || InCode == 502 || InCode == 503 || InCode == 504;
}

bool TalvaneRetryPolicy::ParseRetryAfter(const FString& InValue, const FDateTime& InNow, double& OutSeconds)
{
	const FString Value = InValue.TrimStartAndEnd();
	if (Value.IsEmpty())
	{
		return false;
	}
	bool bAllDigits = true;
	for (const TCHAR Char : Value)
	{
		bAllDigits = bAllDigits && Char >= TEXT('0') && Char <= TEXT('9');
	}
	if (bAllDigits)
	{
		OutSeconds = FCString::Atod(*Value);
		return true;
	}
	FDateTime When;
	if (!FDateTime::ParseHttpDate(Value, When))
	{
		return false;
	}
	OutSeconds = FMath::Max(0.0, (When - InNow).GetTotalSeconds());
	return true;
}

double TalvaneRetryPolicy::GetRetryDelaySeconds(const int32 InRetry, const FString& InRetryAfter)
{
	const double MaxSeconds = TalvaneSettings::GetRetryMaxSeconds();
	double Asked = 0.0;
	if (ParseRetryAfter(InRetryAfter, FDateTime::UtcNow(), Asked))
	{
		return FMath::Min(Asked, MaxSeconds);
	}
	// Doubled per retry, but capped before it can overflow: 2^30 times the base is past any cap.
	double Ceiling = TalvaneSettings::GetRetryBaseSeconds();
	for (int32 Retry = 1; Retry < InRetry && Retry < 30; ++Retry)
	{
		Ceiling *= 2.0;
	}
	return FMath::FRandRange(0.0, FMath::Min(Ceiling, MaxSeconds));
}
