#pragma once

#include <atomic>

#include "CoreTypes.h"
#include "Logging/LogVerbosity.h"
#include "UObject/NameTypes.h"

/** A log category with a verbosity that can change at run time. */
struct CORE_API FLogCategoryBase
{
	FLogCategoryBase(const TCHAR* CategoryName, ELogVerbosity::Type InDefaultVerbosity, ELogVerbosity::Type InCompileTimeVerbosity);

	bool IsSuppressed(const ELogVerbosity::Type VerbosityLevel) const
	{
		return (VerbosityLevel & ELogVerbosity::VerbosityMask) > Verbosity.load(std::memory_order_relaxed);
	}
	const FName& GetCategoryName() const { return CategoryName; }
	ELogVerbosity::Type GetVerbosity() const { return static_cast<ELogVerbosity::Type>(Verbosity.load(std::memory_order_relaxed)); }
	ELogVerbosity::Type GetDefaultVerbosity() const { return DefaultVerbosity; }
	ELogVerbosity::Type GetCompileTimeVerbosity() const { return CompileTimeVerbosity; }
	/** Sets the verbosity, capped by the compile-time verbosity as in the engine. */
	void SetVerbosity(ELogVerbosity::Type NewVerbosity);

private:
	std::atomic<uint8> Verbosity;
	ELogVerbosity::Type DefaultVerbosity;
	ELogVerbosity::Type CompileTimeVerbosity;
	FName CategoryName;
};

template <ELogVerbosity::Type InDefaultVerbosity, ELogVerbosity::Type InCompileTimeVerbosity>
struct FLogCategory : public FLogCategoryBase
{
	static constexpr ELogVerbosity::Type CompileTimeVerbosity = InCompileTimeVerbosity;

	explicit FLogCategory(const TCHAR* InCategoryName)
		: FLogCategoryBase(InCategoryName, InDefaultVerbosity, InCompileTimeVerbosity)
	{
	}
};
