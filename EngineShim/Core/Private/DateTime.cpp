#include "Misc/DateTime.h"

#include <chrono>

namespace
{
	/** Days from 1 January of year 1 to the given date of the proleptic Gregorian calendar. */
	int64 DaysFromCivil(const int64 Year, const int64 Month, const int64 Day)
	{
		const int64 ShiftedYear = Month <= 2 ? Year - 1 : Year;
		const int64 Era = (ShiftedYear >= 0 ? ShiftedYear : ShiftedYear - 399) / 400;
		const int64 YearOfEra = ShiftedYear - Era * 400;
		const int64 DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
		const int64 DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
		// Days from 0000-03-01 to the date, less the days from 0000-03-01 to 0001-01-01.
		return Era * 146097 + DayOfEra - 306;
	}

	int32 DaysInMonth(const int32 Year, const int32 Month)
	{
		static const int32 Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
		const bool bLeap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
		return Month == 2 && bLeap ? 29 : Days[Month - 1];
	}

	int32 MonthFromName(const FString& Name)
	{
		static const TCHAR* const Names[] = {TEXT("Jan"), TEXT("Feb"), TEXT("Mar"), TEXT("Apr"), TEXT("May"), TEXT("Jun"),
			TEXT("Jul"), TEXT("Aug"), TEXT("Sep"), TEXT("Oct"), TEXT("Nov"), TEXT("Dec")};
		for (int32 Index = 0; Index < 12; ++Index)
		{
			if (Name.Equals(Names[Index], ESearchCase::CaseSensitive))
			{
				return Index + 1;
			}
		}
		return 0;
	}

	/** A whole number of exactly Digits digits (MinDigits to Digits when MinDigits is given); -1 otherwise. */
	int32 ParseDigits(const FString& Text, const int32 MinDigits, const int32 MaxDigits)
	{
		if (Text.Len() < MinDigits || Text.Len() > MaxDigits)
		{
			return -1;
		}
		int32 Value = 0;
		for (int32 Index = 0; Index < Text.Len(); ++Index)
		{
			if (Text[Index] < TEXT('0') || Text[Index] > TEXT('9'))
			{
				return -1;
			}
			Value = Value * 10 + (Text[Index] - TEXT('0'));
		}
		return Value;
	}

	/** "08:49:37" into its parts. */
	bool ParseClock(const FString& Text, int32& OutHour, int32& OutMinute, int32& OutSecond)
	{
		TArray<FString> Parts;
		if (Text.ParseIntoArray(Parts, TEXT(":"), false) != 3)
		{
			return false;
		}
		OutHour = ParseDigits(Parts[0], 2, 2);
		OutMinute = ParseDigits(Parts[1], 2, 2);
		OutSecond = ParseDigits(Parts[2], 2, 2);
		return OutHour >= 0 && OutMinute >= 0 && OutSecond >= 0;
	}
}

FDateTime::FDateTime(const int32 Year, const int32 Month, const int32 Day, const int32 Hour, const int32 Minute, const int32 Second,
	const int32 Millisecond)
{
	const int64 Seconds = DaysFromCivil(Year, Month, Day) * 86400 + Hour * 3600 + Minute * 60 + Second;
	Ticks = Seconds * ETimespan::TicksPerSecond + Millisecond * ETimespan::TicksPerMillisecond;
}

FDateTime FDateTime::UtcNow()
{
	const int64 UnixTicks = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count() / 100;
	return FDateTime(1970, 1, 1) + FTimespan(UnixTicks);
}

bool FDateTime::Validate(const int32 Year, const int32 Month, const int32 Day, const int32 Hour, const int32 Minute, const int32 Second,
	const int32 Millisecond)
{
	return Year >= 1 && Year <= 9999 && Month >= 1 && Month <= 12 && Day >= 1 && Day <= DaysInMonth(Year, Month) && Hour >= 0 && Hour <= 23
		&& Minute >= 0 && Minute <= 59 && Second >= 0 && Second <= 59 && Millisecond >= 0 && Millisecond <= 999;
}

bool FDateTime::ParseHttpDate(const FString& HttpDate, FDateTime& OutDateTime)
{
	TArray<FString> Tokens;
	HttpDate.TrimStartAndEnd().ParseIntoArray(Tokens, TEXT(" "), true);
	int32 Year = -1;
	int32 Month = 0;
	int32 Day = -1;
	int32 Hour = -1;
	int32 Minute = -1;
	int32 Second = -1;
	if (Tokens.Num() == 6 && Tokens[0].EndsWith(TEXT(","), ESearchCase::CaseSensitive) && Tokens[5] == TEXT("GMT"))
	{
		// RFC 1123: Sun, 06 Nov 1994 08:49:37 GMT
		Day = ParseDigits(Tokens[1], 1, 2);
		Month = MonthFromName(Tokens[2]);
		Year = ParseDigits(Tokens[3], 4, 4);
		ParseClock(Tokens[4], Hour, Minute, Second);
	}
	else if (Tokens.Num() == 4 && Tokens[0].EndsWith(TEXT(","), ESearchCase::CaseSensitive) && Tokens[3] == TEXT("GMT"))
	{
		// RFC 850: Sunday, 06-Nov-94 08:49:37 GMT (a two-digit year below 50 is in this century).
		TArray<FString> DateParts;
		if (Tokens[1].ParseIntoArray(DateParts, TEXT("-"), false) == 3)
		{
			Day = ParseDigits(DateParts[0], 1, 2);
			Month = MonthFromName(DateParts[1]);
			const int32 ShortYear = ParseDigits(DateParts[2], 2, 2);
			Year = ShortYear < 0 ? -1 : (ShortYear < 50 ? 2000 + ShortYear : 1900 + ShortYear);
		}
		ParseClock(Tokens[2], Hour, Minute, Second);
	}
	else if (Tokens.Num() == 5)
	{
		// asctime: Sun Nov  6 08:49:37 1994
		Month = MonthFromName(Tokens[1]);
		Day = ParseDigits(Tokens[2], 1, 2);
		ParseClock(Tokens[3], Hour, Minute, Second);
		Year = ParseDigits(Tokens[4], 4, 4);
	}
	if (!Validate(Year, Month, Day, Hour, Minute, Second, 0))
	{
		return false;
	}
	OutDateTime = FDateTime(Year, Month, Day, Hour, Minute, Second);
	return true;
}
