#pragma once

#include "Containers/UnrealString.h"
#include "Logging/LogCategory.h"
#include "Logging/LogVerbosity.h"
#include "Misc/AssertionMacros.h"

#include <type_traits>

struct CORE_API FMsg
{
	/** Writes one formatted line to the log; a Fatal line stops the process afterwards. */
	static void LogString(const ANSICHAR* File, int32 Line, const FName& Category, ELogVerbosity::Type Verbosity, const FString& Message);
};

#if NO_LOGGING

/** Every log category of a build without a log (Test and Shipping games): nothing to call on it. */
struct FNoLoggingCategory
{
};

// Only a Fatal line is left, as a low-level fatal error. The other lines compile to nothing, but their
// format and arguments are still compiled (outside a template both branches of the if constexpr are).
#define UE_LOG(CategoryName, Verbosity, Format, ...) \
	{ \
		if constexpr ((ELogVerbosity::Verbosity & ELogVerbosity::VerbosityMask) == ELogVerbosity::Fatal) \
		{ \
			LowLevelFatalError(Format, ##__VA_ARGS__); \
		} \
	}

#define UE_CLOG(Condition, CategoryName, Verbosity, Format, ...) \
	{ \
		if constexpr ((ELogVerbosity::Verbosity & ELogVerbosity::VerbosityMask) == ELogVerbosity::Fatal) \
		{ \
			if (Condition) \
			{ \
				LowLevelFatalError(Format, ##__VA_ARGS__); \
			} \
		} \
	}

#define UE_LOG_ACTIVE(...) (0)
#define UE_GET_LOG_VERBOSITY(...) (ELogVerbosity::NoLogging)
#define UE_SET_LOG_VERBOSITY(...)
#define DECLARE_LOG_CATEGORY_EXTERN(CategoryName, DefaultVerbosity, CompileTimeVerbosity) extern FNoLoggingCategory CategoryName;
#define DEFINE_LOG_CATEGORY(CategoryName, ...) FNoLoggingCategory CategoryName;
#define DEFINE_LOG_CATEGORY_STATIC(...)
#define DECLARE_LOG_CATEGORY_CLASS(...)

#else

#define DECLARE_LOG_CATEGORY_EXTERN(CategoryName, DefaultVerbosity, CompileTimeVerbosity) \
	extern struct FLogCategory##CategoryName : public FLogCategory<ELogVerbosity::DefaultVerbosity, ELogVerbosity::CompileTimeVerbosity> \
	{ \
		FORCEINLINE FLogCategory##CategoryName() : FLogCategory(TEXT(#CategoryName)) {} \
	} CategoryName;

#define DEFINE_LOG_CATEGORY(CategoryName) FLogCategory##CategoryName CategoryName;

#define DECLARE_LOG_CATEGORY_CLASS(CategoryName, DefaultVerbosity, CompileTimeVerbosity) \
	DECLARE_LOG_CATEGORY_EXTERN(CategoryName, DefaultVerbosity, CompileTimeVerbosity)

#define DEFINE_LOG_CATEGORY_STATIC(CategoryName, DefaultVerbosity, CompileTimeVerbosity) \
	static struct FLogCategory##CategoryName : public FLogCategory<ELogVerbosity::DefaultVerbosity, ELogVerbosity::CompileTimeVerbosity> \
	{ \
		FORCEINLINE FLogCategory##CategoryName() : FLogCategory(TEXT(#CategoryName)) {} \
	} CategoryName;

/** True when a line of this verbosity would be written to the category now. */
#define UE_LOG_ACTIVE(CategoryName, Verbosity) \
	((ELogVerbosity::Verbosity & ELogVerbosity::VerbosityMask) <= decltype(CategoryName)::CompileTimeVerbosity && !CategoryName.IsSuppressed(ELogVerbosity::Verbosity))

// A block, as the engine's: "if (A) UE_LOG(...); else ..." does not compile there either.
#define UE_LOG(CategoryName, Verbosity, Format, ...) \
	{ \
		static_assert(std::is_array_v<std::remove_reference_t<decltype(Format)>>, "Formatting string must be a TCHAR array."); \
		if (UE_LOG_ACTIVE(CategoryName, Verbosity)) \
		{ \
			FMsg::LogString(__FILE__, __LINE__, CategoryName.GetCategoryName(), ELogVerbosity::Verbosity, \
				FString::Printf(Format, ##__VA_ARGS__)); \
		} \
	}

/** Logs only when Condition holds; Condition is evaluated only when the line would be written. */
#define UE_CLOG(Condition, CategoryName, Verbosity, Format, ...) \
	{ \
		static_assert(std::is_array_v<std::remove_reference_t<decltype(Format)>>, "Formatting string must be a TCHAR array."); \
		if (UE_LOG_ACTIVE(CategoryName, Verbosity) && (Condition)) \
		{ \
			FMsg::LogString(__FILE__, __LINE__, CategoryName.GetCategoryName(), ELogVerbosity::Verbosity, \
				FString::Printf(Format, ##__VA_ARGS__)); \
		} \
	}

// The engine's way to read and change a category's verbosity; both compile to nothing without a log.
#define UE_GET_LOG_VERBOSITY(CategoryName) CategoryName.GetVerbosity()
#define UE_SET_LOG_VERBOSITY(CategoryName, Verbosity) CategoryName.SetVerbosity(ELogVerbosity::Verbosity);

#endif

CORE_API DECLARE_LOG_CATEGORY_EXTERN(LogTemp, Log, All)
CORE_API DECLARE_LOG_CATEGORY_EXTERN(LogCore, Log, All)
