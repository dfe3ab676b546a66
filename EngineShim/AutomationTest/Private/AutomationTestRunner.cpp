#include "AutomationTestRunner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Misc/OutputDeviceRedirector.h"
#include "AutomationSpecDefinition.h"

/**
 * Hands every log line written while a test runs, from any thread, to that test: errors fail it
 * unless expected. Nested runs (the framework's own tests) stack; the innermost one gets the lines.
 */
class FAutomationLogCapture final : public FOutputDevice
{
public:
	static FAutomationLogCapture& Get()
	{
		// Never destroyed: the log may still write to it while the process exits.
		static FAutomationLogCapture* const Capture = new FAutomationLogCapture();
		return *Capture;
	}

	void Push(FAutomationTestBase& Test)
	{
		// Registered outside Mutex: the log calls Serialize under its own lock, so taking the two
		// locks in the other order here could deadlock against a line from another thread.
		std::call_once(RegisterOnce, [this]() { GLog->AddOutputDevice(this); });
		const std::lock_guard<std::mutex> Lock(Mutex);
		Tests.push_back(&Test);
	}

	void Pop()
	{
		const std::lock_guard<std::mutex> Lock(Mutex);
		Tests.pop_back();
	}

	void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName&) override
	{
		const ELogVerbosity::Type Level = static_cast<ELogVerbosity::Type>(Verbosity & ELogVerbosity::VerbosityMask);
		if (Level == ELogVerbosity::NoLogging)
		{
			return;
		}
		const EAutomationEventType Type = Level <= ELogVerbosity::Error ? EAutomationEventType::Error
			: Level == ELogVerbosity::Warning ? EAutomationEventType::Warning
			: EAutomationEventType::Info;
		// Held while recording, so a test that has been popped never hears from this again.
		const std::lock_guard<std::mutex> Lock(Mutex);
		if (!Tests.empty())
		{
			Tests.back()->Record(Type, FString(V), Level);
		}
	}

	bool CanBeUsedOnAnyThread() const override { return true; }
	bool CanBeUsedOnMultipleThreads() const override { return true; }

private:
	std::once_flag RegisterOnce;
	std::mutex Mutex;
	std::vector<FAutomationTestBase*> Tests;
};

namespace UE::AutomationTest
{
	namespace
	{
		struct FRegisteredSpec
		{
			FString ClassName;
			FSpecFactory Factory;
		};

		std::vector<FRegisteredSpec>& GetRegistry()
		{
			static std::vector<FRegisteredSpec> Registry;
			return Registry;
		}

		std::mutex GTickHookMutex;
		TFunction<void()> GTickHook;

		TFunction<void()> GetTickHook()
		{
			const std::lock_guard<std::mutex> Lock(GTickHookMutex);
			return GTickHook;
		}

		/** Set by the Done delegate, from any thread, possibly after the block timed out. */
		struct FDoneSignal
		{
			std::mutex Mutex;
			std::condition_variable Condition;
			bool bDone = false;

			void Set()
			{
				{
					const std::lock_guard<std::mutex> Lock(Mutex);
					bDone = true;
				}
				Condition.notify_all();
			}

			bool WaitUntil(const std::chrono::steady_clock::time_point Deadline)
			{
				std::unique_lock<std::mutex> Lock(Mutex);
				return Condition.wait_until(Lock, Deadline, [this]() { return bDone; });
			}
		};

		void RunLatentBlock(FAutomationSpecBase& Spec, const Private::FSpecBlock& Block)
		{
			const std::shared_ptr<FDoneSignal> Signal = std::make_shared<FDoneSignal>();
			const FDoneDelegate Done = FDoneDelegate::CreateLambda([Signal]() { Signal->Set(); });
			Block.LatentWork(Done);

			using namespace std::chrono;
			// Capped at a day so that a huge timeout cannot overflow the clock.
			const int64 TimeoutMicroseconds = std::clamp<int64>(Block.Timeout.GetTicks() / 10, 0, 86400LL * 1000000);
			const steady_clock::time_point Deadline = steady_clock::now() + microseconds(TimeoutMicroseconds);
			for (;;)
			{
				const TFunction<void()> Hook = GetTickHook();
				if (Hook)
				{
					Hook();
				}
				const steady_clock::time_point Now = steady_clock::now();
				if (Signal->WaitUntil(Hook ? std::min(Now + milliseconds(1), Deadline) : Deadline))
				{
					return;
				}
				if (steady_clock::now() >= Deadline)
				{
					Spec.AddError(TEXT("Latent command timed out."), 0);
					return;
				}
			}
		}
	}

	void Private::RunSpecBlock(FAutomationSpecBase& Spec, const Private::FSpecBlock& Block)
	{
		try
		{
			if (Block.Work)
			{
				Block.Work();
			}
			else
			{
				RunLatentBlock(Spec, Block);
			}
		}
		catch (const std::exception& Exception)
		{
			Spec.AddError(FString::Printf(TEXT("Unhandled exception: %hs"), Exception.what()));
		}
		catch (...)
		{
			Spec.AddError(TEXT("Unhandled exception."));
		}
	}

	namespace
	{
		FSpecTestResult RunPlan(FAutomationSpecBase& Spec, const Private::FSpecPlan& Plan)
		{
			FAutomationLogCapture::Get().Push(Spec);
			const bool bRunSucceeded = Private::FSpecAccess::RunTest(Spec, Plan.Description);
			FAutomationLogCapture::Get().Pop();
			Spec.HasMetExpectedMessages();

			FSpecTestResult Result;
			Result.Events = Spec.GetEvents();
			Result.bSucceeded = bRunSucceeded && !Spec.HasAnyErrors();
			return Result;
		}

		FString MakeFullName(const FString& PrettyName, const FString& Description)
		{
			return PrettyName + TEXT(".") + Description;
		}

		bool HasControlCharacter(const FString& Text)
		{
			for (const TCHAR Char : Text)
			{
				if (Char < 0x20 || Char == 0x7F)
				{
					return true;
				}
			}
			return false;
		}
	}

	TArray<FSpecTestName> ListSpecTests(const FSpecFactory& Factory)
	{
		const TSharedRef<FAutomationSpecBase> Spec = Factory();
		const FString PrettyName = Spec->GetBeautifiedTestName();
		TArray<FSpecTestName> Names;
		for (const Private::FSpecPlan& Plan : Private::FSpecAccess::GetPlans(*Spec))
		{
			Names.Add(FSpecTestName{MakeFullName(PrettyName, Plan.Description), PrettyName, Plan.Description});
		}
		return Names;
	}

	FSpecTestResult RunSpecTest(const FSpecFactory& Factory, const FString& FullName)
	{
		const TSharedRef<FAutomationSpecBase> Spec = Factory();
		const FString PrettyName = Spec->GetBeautifiedTestName();
		for (const Private::FSpecPlan& Plan : Private::FSpecAccess::GetPlans(*Spec))
		{
			if (MakeFullName(PrettyName, Plan.Description).Equals(FullName, ESearchCase::CaseSensitive))
			{
				return RunPlan(*Spec, Plan);
			}
		}
		FSpecTestResult Missing;
		Missing.Events.Emplace(EAutomationEventType::Error, FString::Printf(TEXT("No test is named \"%s\"."), *FullName));
		return Missing;
	}

	bool GetRegisteredTests(TArray<FRegisteredTest>& OutTests, TArray<FString>& OutProblems)
	{
		std::set<std::u16string> Seen;
		const std::vector<FRegisteredSpec>& Registry = GetRegistry();
		for (int32 SpecIndex = 0; SpecIndex < static_cast<int32>(Registry.size()); ++SpecIndex)
		{
			const TSharedRef<FAutomationSpecBase> Spec = Registry[SpecIndex].Factory();
			if (Spec->GetTestFlags() & EAutomationTestFlags::Disabled)
			{
				continue;
			}
			for (FSpecTestName& Name : ListSpecTests(Registry[SpecIndex].Factory))
			{
				if (Name.Description.IsEmpty() || HasControlCharacter(Name.FullName))
				{
					OutProblems.Add(FString::Printf(TEXT("%s: the test \"%s\" needs a name without line breaks or control characters."),
						*Registry[SpecIndex].ClassName, *Name.FullName));
				}
				// CTest and GoogleTest tell case apart but the engine does not, so names differing only in case collide too.
				else if (!Seen.insert(Name.FullName.ToLower().GetStdString()).second)
				{
					OutProblems.Add(FString::Printf(TEXT("%s: more than one test is named \"%s\"."), *Registry[SpecIndex].ClassName, *Name.FullName));
				}
				OutTests.Add(FRegisteredTest{MoveTemp(Name), Spec->GetTestSourceFileName(), Spec->GetTestSourceFileLine(), SpecIndex});
			}
		}
		return OutProblems.IsEmpty();
	}

	FSpecTestResult RunRegisteredTest(const FRegisteredTest& Test)
	{
		const std::vector<FRegisteredSpec>& Registry = GetRegistry();
		if (Test.SpecIndex < 0 || Test.SpecIndex >= static_cast<int32>(Registry.size()))
		{
			FSpecTestResult Missing;
			Missing.Events.Emplace(EAutomationEventType::Error, FString::Printf(TEXT("No spec holds \"%s\"."), *Test.Name.FullName));
			return Missing;
		}
		return RunSpecTest(Registry[Test.SpecIndex].Factory, Test.Name.FullName);
	}

	void SetLatentTickHook(TFunction<void()> Hook)
	{
		const std::lock_guard<std::mutex> Lock(GTickHookMutex);
		GTickHook = MoveTemp(Hook);
	}

	void Private::RegisterSpec(const TCHAR* ClassName, FSpecFactory Factory)
	{
		GetRegistry().push_back(FRegisteredSpec{FString(ClassName), MoveTemp(Factory)});
	}
}
