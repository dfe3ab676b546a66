#pragma once

#include "Containers/UnrealString.h"
#include "Logging/LogCategory.h"
#include "Logging/LogVerbosity.h"

struct CORE_API FMsg
{
	/** Writes one formatted line to the log; a Fatal line stops the process afterwards. */
	static void LogString(const ANSICHAR* File, int32 Line, const FName& Category, ELogVerbosity::Type Verbosity, const FString& Message);
};

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

#define UE_LOG(CategoryName, Verbosity, Format, ...) \
	do \
	{ \
		if (UE_LOG_ACTIVE(CategoryName, Verbosity)) \
		{ \
			FMsg::LogString(__FILE__, __LINE__, CategoryName.GetCategoryName(), ELogVerbosity::Verbosity, \
				FString::Printf(Format, ##__VA_ARGS__)); \
		} \
	} while (false)

CORE_API DECLARE_LOG_CATEGORY_EXTERN(LogTemp, Log, All)
CORE_API DECLARE_LOG_CATEGORY_EXTERN(LogCore, Log, All)
