#pragma once

// The engine's automation test base and Automation Spec syntax (BEGIN_DEFINE_SPEC, Describe, It,
// BeforeEach, AfterEach, LatentIt), run here by GoogleTest and CTest through UE_AutomationTestMain.
//
// Where this differs from the engine:
// - There is no FAutomationTestFramework, no test commands and no latent command queue. Specs
//   register with UE_AutomationTestMain, which lists each It as "<PrettyName>.<Describe path> <It>"
//   (the engine's full beautified name) and runs one It per GoogleTest test.
// - Each It runs on a freshly constructed spec object on which Define() has run again; the
//   engine keeps one object for all Its, so fields that BeforeEach does not reset carry over there.
// - A latent block runs its body on the test thread and then waits for Done; while it waits it
//   calls the hook set with UE::AutomationTest::SetLatentTickHook (AutomationTestRunner.h) about
//   every millisecond, where the engine ticks its whole loop.
// - The engine runs each BeforeEach, It and AfterEach as a latent command on a frame of its own and
//   may collect garbage between frames; the stand-in runs a full garbage collection after every
//   block, so a test object nothing roots does not survive from one step to the next.
// - The EAsyncExecution forms of It, BeforeEach and AfterEach are absent.
// - A spec's RunTest runs the blocks of the It it is given (its Describe path and text) before it
//   returns; the engine's queues them as latent commands that run on the frames after it returns.
// - Expected message patterns are ECMAScript regular expressions (the engine uses ICU's);
//   both ignore case.
// - TestEqual has overloads for the types this project checks (no vectors, colours or text);
//   the description of every Test* is a const FString&, which takes what either of the engine's
//   const TCHAR* and const FString& forms takes.

#include <memory>
#include <type_traits>

#include "CoreMinimal.h"
#include "Misc/Timespan.h"

#ifndef UE_KINDA_SMALL_NUMBER
#define UE_KINDA_SMALL_NUMBER (1.e-4f)
#endif
#ifndef KINDA_SMALL_NUMBER
#define KINDA_SMALL_NUMBER UE_KINDA_SMALL_NUMBER
#endif

namespace EAutomationTestFlags
{
	enum Type
	{
		EditorContext = 0x00000001,
		ClientContext = 0x00000002,
		ServerContext = 0x00000004,
		CommandletContext = 0x00000008,
		ApplicationContextMask = EditorContext | ClientContext | ServerContext | CommandletContext,

		NonNullRHI = 0x00000100,
		RequiresUser = 0x00000200,
		FeatureMask = NonNullRHI | RequiresUser,

		/** A disabled test is never listed. */
		Disabled = 0x00010000,

		CriticalPriority = 0x00100000,
		HighPriority = 0x00200000,
		HighPriorityAndAbove = CriticalPriority | HighPriority,
		MediumPriority = 0x00400000,
		MediumPriorityAndAbove = CriticalPriority | HighPriority | MediumPriority,
		LowPriority = 0x00800000,
		PriorityMask = CriticalPriority | HighPriority | MediumPriority | LowPriority,

		SmokeFilter = 0x01000000,
		EngineFilter = 0x02000000,
		ProductFilter = 0x04000000,
		PerfFilter = 0x08000000,
		StressFilter = 0x10000000,
		NegativeFilter = 0x20000000,
		FilterMask = SmokeFilter | EngineFilter | ProductFilter | PerfFilter | StressFilter | NegativeFilter,
	};
}

namespace EAutomationExpectedMessageFlags
{
	enum MatchType
	{
		/** The whole message must match the pattern. */
		Exact,
		/** The pattern may match any part of the message. */
		Contains,
	};

	inline const TCHAR* ToString(const MatchType InType)
	{
		return InType == Exact ? TEXT("Exact") : TEXT("Contains");
	}
}

namespace EAutomationExpectedErrorFlags = EAutomationExpectedMessageFlags;

enum class EAutomationEventType : uint8
{
	Info,
	Warning,
	Error,
};

/** One thing a test reported: a failed check, a captured log line or a note. */
struct FAutomationEvent
{
	FAutomationEvent(const EAutomationEventType InType, const FString& InMessage) : Type(InType), Message(InMessage) {}

	EAutomationEventType Type;
	FString Message;
};

namespace UE::AutomationTest::Private
{
	struct FTestState;

	/** Character arrays and pointers go to the string overloads, never to a comparison of addresses. */
	template <typename ValueType>
	concept TIsComparedByValue = !std::is_array_v<ValueType> && !std::is_same_v<std::remove_cv_t<ValueType>, TCHAR*>;

	/** Text of a value in a failure message. */
	template <typename ValueType>
	FString ToDisplayString(const ValueType& Value)
	{
		if constexpr (std::is_same_v<ValueType, bool>)
		{
			return Value ? TEXT("true") : TEXT("false");
		}
		else if constexpr (requires { LexToString(Value); })
		{
			return LexToString(Value);
		}
		else if constexpr (std::is_enum_v<ValueType> || std::is_integral_v<ValueType>)
		{
			return FString::Printf(TEXT("%lld"), static_cast<long long>(Value));
		}
		else if constexpr (std::is_floating_point_v<ValueType>)
		{
			return FString::Printf(TEXT("%f"), static_cast<double>(Value));
		}
		else if constexpr (std::is_pointer_v<ValueType>)
		{
			return FString::Printf(TEXT("%p"), static_cast<const void*>(Value));
		}
		else
		{
			return TEXT("<value>");
		}
	}
}

/** The checks and the record of one test run. A check that fails adds an error and returns false. */
class AUTOMATIONTEST_API FAutomationTestBase
{
public:
	FAutomationTestBase(const FString& InName, const bool bInComplexTask);
	virtual ~FAutomationTestBase();
	FAutomationTestBase(const FAutomationTestBase&) = delete;
	FAutomationTestBase& operator=(const FAutomationTestBase&) = delete;

	virtual uint32 GetTestFlags() const = 0;
	/** The dotted name the test is listed under, such as "Talvane.Json". */
	virtual FString GetBeautifiedTestName() const = 0;
	virtual FString GetTestSourceFileName() const { return FString(); }
	virtual int32 GetTestSourceFileLine() const { return 0; }
	const FString& GetTestName() const { return TestName; }

	/** Records an error, unless an expected message pattern takes it. */
	virtual void AddError(const FString& InError, int32 StackOffset = 0);
	/** Records a warning, unless an expected message pattern takes it; warnings never fail a test. */
	virtual void AddWarning(const FString& InWarning, int32 StackOffset = 0);
	virtual void AddInfo(const FString& InLogItem, int32 StackOffset = 0, bool bCaptureStack = false);
	bool HasAnyErrors() const;
	/** Everything recorded so far, in order. */
	TArray<FAutomationEvent> GetEvents() const;

	/**
	 * Expects log lines (or AddError/AddWarning/AddInfo messages) of ExpectedVerbosity or more severe
	 * that match the pattern (always a regular expression, as in 5.3; case is ignored). Matched lines
	 * do not fail the test; at the end the test fails unless exactly Occurrences of them came, or,
	 * with Occurrences 0, at least one.
	 */
	void AddExpectedMessage(FString ExpectedPatternString, ELogVerbosity::Type ExpectedVerbosity,
		EAutomationExpectedMessageFlags::MatchType CompareType = EAutomationExpectedMessageFlags::Contains, int32 Occurrences = 1);
	void AddExpectedMessage(FString ExpectedPatternString,
		EAutomationExpectedMessageFlags::MatchType CompareType = EAutomationExpectedMessageFlags::Contains, int32 Occurrences = 1);
	/** AddExpectedMessage for errors and warnings. */
	void AddExpectedError(FString ExpectedPatternString,
		EAutomationExpectedErrorFlags::MatchType CompareType = EAutomationExpectedErrorFlags::Contains, int32 Occurrences = 1);

	bool TestEqual(const FString& What, int32 Actual, int32 Expected);
	bool TestEqual(const FString& What, int64 Actual, int64 Expected);
	bool TestEqual(const FString& What, uint8 Actual, uint8 Expected);
	bool TestEqual(const FString& What, uint32 Actual, uint32 Expected);
	bool TestEqual(const FString& What, uint64 Actual, uint64 Expected);
	bool TestEqual(const FString& What, float Actual, float Expected, float Tolerance = UE_KINDA_SMALL_NUMBER);
	bool TestEqual(const FString& What, double Actual, double Expected, double Tolerance = UE_KINDA_SMALL_NUMBER);
	/**
	 * As in 5.3: two character pointers compare case-sensitively; as soon as one side is an FString
	 * the strings compare ignoring case (TestEqualInsensitive). Where case matters, check
	 * TestTrue(What, Actual.Equals(Expected, ESearchCase::CaseSensitive)).
	 */
	bool TestEqual(const FString& What, const TCHAR* Actual, const TCHAR* Expected);
	bool TestEqualInsensitive(const FString& What, const TCHAR* Actual, const TCHAR* Expected);
	bool TestEqual(const FString& What, const FString& Actual, const TCHAR* Expected) { return TestEqualInsensitive(What, *Actual, Expected); }
	bool TestEqual(const FString& What, const TCHAR* Actual, const FString& Expected) { return TestEqualInsensitive(What, Actual, *Expected); }
	bool TestEqual(const FString& What, const FString& Actual, const FString& Expected) { return TestEqualInsensitive(What, *Actual, *Expected); }

	/** Any other type, through its operator== (enums, bool, FGuid, FName, ...). */
	template <typename ValueType>
		requires UE::AutomationTest::Private::TIsComparedByValue<ValueType>
	bool TestEqual(const FString& What, const ValueType& Actual, const ValueType& Expected)
	{
		if (!(Actual == Expected))
		{
			AddError(FString::Printf(TEXT("Expected '%s' to be %s, but it was %s."), *What,
				*UE::AutomationTest::Private::ToDisplayString(Expected), *UE::AutomationTest::Private::ToDisplayString(Actual)), 1);
			return false;
		}
		return true;
	}

	/**
	 * Two character pointers compare as text, case-sensitively (the engine compares the pointers,
	 * which no test means); with an FString on either side through FString's ==, ignoring case, as
	 * in the engine.
	 */
	bool TestNotEqual(const FString& What, const TCHAR* Actual, const TCHAR* Expected);
	bool TestNotEqual(const FString& What, const FString& Actual, const TCHAR* Expected) { return TestNotEqual<FString>(What, Actual, FString(Expected)); }
	bool TestNotEqual(const FString& What, const TCHAR* Actual, const FString& Expected) { return TestNotEqual<FString>(What, FString(Actual), Expected); }
	bool TestNotEqual(const FString& What, const FString& Actual, const FString& Expected) { return TestNotEqual<FString>(What, Actual, Expected); }

	template <typename ValueType>
		requires UE::AutomationTest::Private::TIsComparedByValue<ValueType>
	bool TestNotEqual(const FString& What, const ValueType& Actual, const ValueType& Expected)
	{
		if (Actual == Expected)
		{
			AddError(FString::Printf(TEXT("Expected '%s' to differ from %s, but it was %s."), *What,
				*UE::AutomationTest::Private::ToDisplayString(Expected), *UE::AutomationTest::Private::ToDisplayString(Actual)), 1);
			return false;
		}
		return true;
	}

	bool TestTrue(const FString& What, bool Value);
	bool TestFalse(const FString& What, bool Value);

	template <typename ValueType>
	bool TestNull(const FString& What, const ValueType* Pointer)
	{
		return Check(Pointer == nullptr, What, TEXT("to be null"));
	}
	template <typename ValueType>
	bool TestNotNull(const FString& What, const ValueType* Pointer)
	{
		return Check(Pointer != nullptr, What, TEXT("to be not null"));
	}

	/** Shared and weak pointers, GUIDs and anything else with IsValid(). */
	template <typename ValueType>
	bool TestValid(const FString& What, const ValueType& Value)
	{
		return Check(Value.IsValid(), What, TEXT("to be valid"));
	}
	template <typename ValueType>
	bool TestInvalid(const FString& What, const ValueType& Value)
	{
		return Check(!Value.IsValid(), What, TEXT("to be invalid"));
	}

	/** Whether both references name the same object. */
	template <typename ValueType>
	bool TestSame(const FString& What, const ValueType& Actual, const ValueType& Expected)
	{
		return Check(&Actual == &Expected, What, TEXT("to be the same object"));
	}
	template <typename ValueType>
	bool TestNotSame(const FString& What, const ValueType& Actual, const ValueType& Expected)
	{
		return Check(&Actual != &Expected, What, TEXT("not to be the same object"));
	}

	/**
	 * Adds an error for every expected message pattern of VerbosityType or less severe that did not
	 * come as often as it should; returns whether all came.
	 */
	bool HasMetExpectedMessages(ELogVerbosity::Type VerbosityType = ELogVerbosity::All);
	bool HasMetExpectedErrors() { return HasMetExpectedMessages(ELogVerbosity::Warning); }

protected:
	/** Runs the test named by Parameters; false fails it. */
	virtual bool RunTest(const FString& Parameters) = 0;

	FString TestName;

private:
	/** Adds "Expected '<What>' <Expectation>." when bCondition is false. */
	bool Check(bool bCondition, const FString& What, const TCHAR* Expectation);
	/** Records an event unless an expected pattern for this verbosity takes it. */
	void Record(EAutomationEventType Type, const FString& Message, ELogVerbosity::Type Verbosity);

	friend class FAutomationLogCapture;
	std::unique_ptr<UE::AutomationTest::Private::FTestState> State;
};

#include "Misc/AutomationSpecBase.h"
