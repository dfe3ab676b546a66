#include "Misc/AutomationTest.h"

#include <cmath>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace UE::AutomationTest::Private
{
	/** std::wregex works on wchar_t, which holds whole code points on Linux. */
	std::wstring ToWide(const FString& Text)
	{
		std::wstring Wide;
		Wide.reserve(static_cast<SIZE_T>(Text.Len()));
		const TCHAR* Chars = *Text;
		for (int32 Index = 0; Index < Text.Len(); ++Index)
		{
			const char32_t Unit = Chars[Index];
			const bool bPair = Unit >= 0xD800 && Unit <= 0xDBFF && Index + 1 < Text.Len() && Chars[Index + 1] >= 0xDC00 && Chars[Index + 1] <= 0xDFFF;
			if (bPair)
			{
				Wide.push_back(static_cast<wchar_t>(0x10000 + ((Unit - 0xD800) << 10) + (Chars[++Index] - 0xDC00)));
			}
			else
			{
				Wide.push_back(static_cast<wchar_t>(Unit));
			}
		}
		return Wide;
	}

	struct FExpectedMessage
	{
		FString Pattern;
		std::optional<std::wregex> Regex;
		EAutomationExpectedMessageFlags::MatchType CompareType;
		ELogVerbosity::Type Verbosity;
		int32 ExpectedOccurrences;
		int32 ActualOccurrences = 0;

		bool Matches(const FString& Message, const ELogVerbosity::Type MessageVerbosity) const
		{
			if ((MessageVerbosity & ELogVerbosity::VerbosityMask) > Verbosity)
			{
				return false;
			}
			if (!Regex)
			{
				return CompareType == EAutomationExpectedMessageFlags::Exact ? Message.Equals(Pattern, ESearchCase::IgnoreCase)
					: Message.Contains(Pattern, ESearchCase::IgnoreCase);
			}
			const std::wstring Wide = ToWide(Message);
			return CompareType == EAutomationExpectedMessageFlags::Exact ? std::regex_match(Wide, *Regex) : std::regex_search(Wide, *Regex);
		}
	};

	struct FTestState
	{
		mutable std::mutex Mutex;
		TArray<FAutomationEvent> Events;
		std::vector<FExpectedMessage> Expected;
		bool bHasErrors = false;
	};
}

FAutomationTestBase::FAutomationTestBase(const FString& InName, const bool)
	: TestName(InName)
	, State(std::make_unique<UE::AutomationTest::Private::FTestState>())
{
}

FAutomationTestBase::~FAutomationTestBase() = default;

void FAutomationTestBase::Record(const EAutomationEventType Type, const FString& Message, const ELogVerbosity::Type Verbosity)
{
	const std::lock_guard<std::mutex> Lock(State->Mutex);
	for (UE::AutomationTest::Private::FExpectedMessage& Expected : State->Expected)
	{
		if (Expected.Matches(Message, Verbosity))
		{
			++Expected.ActualOccurrences;
			State->Events.Emplace(EAutomationEventType::Info, Message);
			return;
		}
	}
	State->Events.Emplace(Type, Message);
	State->bHasErrors = State->bHasErrors || Type == EAutomationEventType::Error;
}

void FAutomationTestBase::AddError(const FString& InError, int32)
{
	Record(EAutomationEventType::Error, InError, ELogVerbosity::Error);
}

void FAutomationTestBase::AddWarning(const FString& InWarning, int32)
{
	Record(EAutomationEventType::Warning, InWarning, ELogVerbosity::Warning);
}

void FAutomationTestBase::AddInfo(const FString& InLogItem, int32, bool)
{
	Record(EAutomationEventType::Info, InLogItem, ELogVerbosity::Display);
}

bool FAutomationTestBase::HasAnyErrors() const
{
	const std::lock_guard<std::mutex> Lock(State->Mutex);
	return State->bHasErrors;
}

TArray<FAutomationEvent> FAutomationTestBase::GetEvents() const
{
	const std::lock_guard<std::mutex> Lock(State->Mutex);
	return State->Events;
}

void FAutomationTestBase::AddExpectedMessage(FString ExpectedPatternString, const ELogVerbosity::Type ExpectedVerbosity,
	const EAutomationExpectedMessageFlags::MatchType CompareType, const int32 Occurrences)
{
	if (Occurrences < 0)
	{
		AddError(FString::Printf(TEXT("Adding expected message matching '%s' failed: number of expected occurrences must be >= 0"),
			*ExpectedPatternString));
		return;
	}
	UE::AutomationTest::Private::FExpectedMessage Entry{ExpectedPatternString, std::nullopt, CompareType,
		static_cast<ELogVerbosity::Type>(ExpectedVerbosity & ELogVerbosity::VerbosityMask), Occurrences};
	try
	{
		Entry.Regex.emplace(UE::AutomationTest::Private::ToWide(ExpectedPatternString), std::regex::ECMAScript | std::regex::icase);
	}
	catch (const std::regex_error&)
	{
		AddError(FString::Printf(TEXT("Adding expected message matching '%s' failed: not a valid regular expression"), *ExpectedPatternString));
		return;
	}
	bool bDuplicate = false;
	{
		const std::lock_guard<std::mutex> Lock(State->Mutex);
		for (const UE::AutomationTest::Private::FExpectedMessage& Existing : State->Expected)
		{
			bDuplicate = bDuplicate || Existing.Pattern == ExpectedPatternString;
		}
		if (!bDuplicate)
		{
			State->Expected.push_back(MoveTemp(Entry));
		}
	}
	if (bDuplicate)
	{
		AddWarning(FString::Printf(TEXT("Adding expected message matching '%s' failed: cannot add duplicate entries"), *ExpectedPatternString));
	}
}

void FAutomationTestBase::AddExpectedMessage(FString ExpectedPatternString, const EAutomationExpectedMessageFlags::MatchType CompareType,
	const int32 Occurrences)
{
	AddExpectedMessage(MoveTemp(ExpectedPatternString), ELogVerbosity::All, CompareType, Occurrences);
}

void FAutomationTestBase::AddExpectedError(FString ExpectedPatternString, const EAutomationExpectedErrorFlags::MatchType CompareType,
	const int32 Occurrences)
{
	AddExpectedMessage(MoveTemp(ExpectedPatternString), ELogVerbosity::Warning, CompareType, Occurrences);
}

bool FAutomationTestBase::HasMetExpectedMessages(const ELogVerbosity::Type VerbosityType)
{
	TArray<FString> Failures;
	{
		const std::lock_guard<std::mutex> Lock(State->Mutex);
		for (const UE::AutomationTest::Private::FExpectedMessage& Expected : State->Expected)
		{
			if (Expected.Verbosity > (VerbosityType & ELogVerbosity::VerbosityMask))
			{
				continue;
			}
			if (Expected.ExpectedOccurrences == 0 && Expected.ActualOccurrences == 0)
			{
				Failures.Add(FString::Printf(TEXT("Expected suppressed message matching '%s' did not occur."), *Expected.Pattern));
			}
			else if (Expected.ExpectedOccurrences > 0 && Expected.ExpectedOccurrences != Expected.ActualOccurrences)
			{
				Failures.Add(FString::Printf(TEXT("Expected message matching '%s' to occur %d times with %s match type, but it was found %d time(s)."),
					*Expected.Pattern, Expected.ExpectedOccurrences, EAutomationExpectedMessageFlags::ToString(Expected.CompareType),
					Expected.ActualOccurrences));
			}
		}
		// Added past the patterns: a pattern must not take the report of its own absence.
		for (const FString& Failure : Failures)
		{
			State->Events.Emplace(EAutomationEventType::Error, Failure);
			State->bHasErrors = true;
		}
	}
	return Failures.IsEmpty();
}
