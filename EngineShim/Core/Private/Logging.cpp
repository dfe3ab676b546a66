#include "Logging/LogMacros.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "Containers/StringConv.h"
#include "CoreGlobals.h"
#include "Misc/OutputDeviceRedirector.h"

DEFINE_LOG_CATEGORY(LogTemp)
DEFINE_LOG_CATEGORY(LogCore)

namespace
{
	/** Echoes warnings and worse to stderr, in the engine's "Category: Verbosity: Text" form. */
	class FConsoleOutputDevice final : public FOutputDevice
	{
	public:
		void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
		{
			if ((Verbosity & ELogVerbosity::VerbosityMask) > ELogVerbosity::Warning)
			{
				return;
			}
			const FString Line = FString::Printf(TEXT("%s: %s: %s\n"), *Category.ToString(), ToString(Verbosity), V);
			std::fputs(FTCHARToUTF8(*Line).Get(), stderr);
		}
		bool CanBeUsedOnAnyThread() const override { return true; }
		bool CanBeUsedOnMultipleThreads() const override { return true; }
	};

	struct FRedirectorState
	{
		std::recursive_mutex Mutex;
		std::vector<FOutputDevice*> Devices;
	};

	FRedirectorState& GetState()
	{
		static FRedirectorState State;
		return State;
	}

	FConsoleOutputDevice& GetConsoleDevice()
	{
		static FConsoleOutputDevice Device;
		return Device;
	}
}

FOutputDeviceRedirector* GLog = FOutputDeviceRedirector::Get();
FOutputDevice* GLogConsole = &GetConsoleDevice();

const TCHAR* ToString(const ELogVerbosity::Type Verbosity)
{
	switch (Verbosity & ELogVerbosity::VerbosityMask)
	{
	case ELogVerbosity::NoLogging: return TEXT("NoLogging");
	case ELogVerbosity::Fatal: return TEXT("Fatal");
	case ELogVerbosity::Error: return TEXT("Error");
	case ELogVerbosity::Warning: return TEXT("Warning");
	case ELogVerbosity::Display: return TEXT("Display");
	case ELogVerbosity::Log: return TEXT("Log");
	case ELogVerbosity::Verbose: return TEXT("Verbose");
	case ELogVerbosity::VeryVerbose: return TEXT("VeryVerbose");
	default: return TEXT("UnknownVerbosity");
	}
}

FOutputDeviceRedirector* FOutputDeviceRedirector::Get()
{
	static FOutputDeviceRedirector Singleton;
	static const bool bConsoleAdded = [&]()
	{
		Singleton.AddOutputDevice(&GetConsoleDevice());
		return true;
	}();
	(void)bConsoleAdded;
	return &Singleton;
}

void FOutputDeviceRedirector::AddOutputDevice(FOutputDevice* OutputDevice)
{
	FRedirectorState& State = GetState();
	const std::lock_guard<std::recursive_mutex> Lock(State.Mutex);
	if (OutputDevice && !IsRedirectingTo(OutputDevice))
	{
		State.Devices.push_back(OutputDevice);
		if (!OutputDevice->CanBeUsedOnMultipleThreads())
		{
			// The engine hands such a device its lines late, from its logging thread; the stand-in has no
			// such thread and delivers them at once, so it says so loudly: an Error line fails the
			// automation test that registered the device.
			UE_LOG(LogCore, Error, TEXT("An output device that cannot be used on multiple threads was added to GLog: the engine ")
				TEXT("gives it its lines later, from its logging thread. Return true from CanBeUsedOnMultipleThreads() and lock ")
				TEXT("what Serialize stores."));
		}
	}
}

void FOutputDeviceRedirector::RemoveOutputDevice(FOutputDevice* OutputDevice)
{
	FRedirectorState& State = GetState();
	const std::lock_guard<std::recursive_mutex> Lock(State.Mutex);
	std::erase(State.Devices, OutputDevice);
}

bool FOutputDeviceRedirector::IsRedirectingTo(FOutputDevice* OutputDevice) const
{
	FRedirectorState& State = GetState();
	const std::lock_guard<std::recursive_mutex> Lock(State.Mutex);
	return std::find(State.Devices.begin(), State.Devices.end(), OutputDevice) != State.Devices.end();
}

void FOutputDeviceRedirector::Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category)
{
	FRedirectorState& State = GetState();
	const std::lock_guard<std::recursive_mutex> Lock(State.Mutex);
	// A device may remove itself while it runs, so walk a copy.
	const std::vector<FOutputDevice*> Devices = State.Devices;
	for (FOutputDevice* Device : Devices)
	{
		Device->Serialize(V, Verbosity, Category);
	}
}

void FOutputDeviceRedirector::Flush()
{
	FRedirectorState& State = GetState();
	const std::lock_guard<std::recursive_mutex> Lock(State.Mutex);
	for (FOutputDevice* Device : State.Devices)
	{
		Device->Flush();
	}
	std::fflush(stderr);
}

FLogCategoryBase::FLogCategoryBase(const TCHAR* InCategoryName, const ELogVerbosity::Type InDefaultVerbosity,
	const ELogVerbosity::Type InCompileTimeVerbosity)
	: Verbosity(InDefaultVerbosity)
	, DefaultVerbosity(InDefaultVerbosity)
	, CompileTimeVerbosity(InCompileTimeVerbosity)
	, CategoryName(InCategoryName)
{
}

void FLogCategoryBase::SetVerbosity(const ELogVerbosity::Type NewVerbosity)
{
	const uint8 Requested = NewVerbosity & ELogVerbosity::VerbosityMask;
	Verbosity.store(Requested < CompileTimeVerbosity ? Requested : static_cast<uint8>(CompileTimeVerbosity), std::memory_order_relaxed);
}

void FMsg::LogString(const ANSICHAR*, int32, const FName& Category, const ELogVerbosity::Type Verbosity, const FString& Message)
{
	GLog->Serialize(*Message, Verbosity, Category);
	if ((Verbosity & ELogVerbosity::VerbosityMask) == ELogVerbosity::Fatal)
	{
		GLog->Flush();
		std::abort();
	}
}

void UE::Core::Private::OnCheckFailed(const char* Expression, const char* File, const int Line)
{
	std::fprintf(stderr, "Assertion failed: %s [File:%s] [Line: %d]\n", Expression, File, Line);
	std::fflush(stderr);
	std::abort();
}

void UE::Core::Private::OnLowLevelFatalError(const char* File, const int Line, const TCHAR* Message)
{
	std::fprintf(stderr, "Fatal error: [File:%s] [Line: %d] %s\n", File, Line, FTCHARToUTF8(Message).Get());
	std::fflush(stderr);
	std::abort();
}

bool UE::Core::Private::OnEnsureFailed(const char* Expression, const char* File, const int Line)
{
	std::fprintf(stderr, "Ensure condition failed: %s [File:%s] [Line: %d]\n", Expression, File, Line);
	return false;
}

namespace
{
	const std::thread::id GGameThreadId = std::this_thread::get_id();
}

bool IsInGameThread()
{
	return std::this_thread::get_id() == GGameThreadId;
}
