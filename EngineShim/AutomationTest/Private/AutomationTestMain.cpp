// The main() of every automation test program: one GoogleTest test per It of every spec linked in.
//
//   <program>                    runs every test (GoogleTest flags such as --gtest_filter work)
//   <program> --list             prints each test's full name on its own line, in UTF-8
//   <program> --run "<name>"     runs the one test with exactly that full name
//
// GoogleTest sees "<PrettyName>" as the suite and "<Describe path> <It>" as the test, so its full
// name "<suite>.<test>" is the engine's full name of the It.
//
// The engine merges a project's Config/DefaultEngine.ini into GEngineIni at start-up. Here an ini file
// named by the environment variable TALVANE_PROJECT_ENGINE_INI, when it exists, is merged the same way
// (the CTest fixture of the reference server writes one with the server's URL).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "AutomationTestRunner.h"
#include "Misc/ConfigCacheIni.h"

namespace
{
	std::string ToUTF8(const FString& Text)
	{
		const FTCHARToUTF8 Converted(*Text, Text.Len());
		return std::string(Converted.Get(), static_cast<SIZE_T>(Converted.Length()));
	}

	class FSpecGoogleTest final : public testing::Test
	{
	public:
		explicit FSpecGoogleTest(const UE::AutomationTest::FRegisteredTest& InTest) : Test(InTest) {}

		void TestBody() override
		{
			const UE::AutomationTest::FSpecTestResult Result = UE::AutomationTest::RunRegisteredTest(Test);
			const std::string File = ToUTF8(Test.SourceFile);
			int32 NumErrors = 0;
			for (const FAutomationEvent& Event : Result.Events)
			{
				if (Event.Type == EAutomationEventType::Error)
				{
					++NumErrors;
					ADD_FAILURE_AT(File.c_str(), Test.SourceLine) << ToUTF8(Event.Message);
				}
				else if (Event.Type == EAutomationEventType::Warning)
				{
					std::printf("Warning: %s\n", ToUTF8(Event.Message).c_str());
				}
			}
			if (!Result.bSucceeded && NumErrors == 0)
			{
				ADD_FAILURE_AT(File.c_str(), Test.SourceLine) << "The test failed without saying why.";
			}
			if (!Result.bSucceeded || NumErrors > 0)
			{
				// What a failed test noted (AddInfo, log lines) helps replay it, e.g. the seed of its random choices.
				for (const FAutomationEvent& Event : Result.Events)
				{
					if (Event.Type == EAutomationEventType::Info)
					{
						std::printf("Info: %s\n", ToUTF8(Event.Message).c_str());
					}
				}
			}
		}

	private:
		UE::AutomationTest::FRegisteredTest Test;
	};

	int PrintUsage()
	{
		std::fprintf(stderr, "usage: <program> [--list | --run <full test name>] [GoogleTest flags]\n");
		return 2;
	}

	/** Registers every test, or only the one named RunName; returns how many. */
	int32 RegisterGoogleTests(const TArray<UE::AutomationTest::FRegisteredTest>& Tests, const char* RunName)
	{
		int32 NumRegistered = 0;
		for (const UE::AutomationTest::FRegisteredTest& Test : Tests)
		{
			if (RunName && ToUTF8(Test.Name.FullName) != RunName)
			{
				continue;
			}
			++NumRegistered;
			testing::RegisterTest(ToUTF8(Test.Name.PrettyName).c_str(), ToUTF8(Test.Name.Description).c_str(), nullptr, nullptr,
				ToUTF8(Test.SourceFile).c_str(), Test.SourceLine, [Test]() -> testing::Test* { return new FSpecGoogleTest(Test); });
		}
		return NumRegistered;
	}
}

int main(int argc, char** argv)
{
	testing::InitGoogleTest(&argc, argv);

	bool bList = false;
	const char* RunName = nullptr;
	for (int Index = 1; Index < argc; ++Index)
	{
		if (std::strcmp(argv[Index], "--list") == 0)
		{
			bList = true;
		}
		else if (std::strcmp(argv[Index], "--run") == 0 && Index + 1 < argc)
		{
			RunName = argv[++Index];
		}
		else
		{
			return PrintUsage();
		}
	}

	if (const char* ProjectIni = std::getenv("TALVANE_PROJECT_ENGINE_INI"))
	{
		GConfig->LoadFile(FString(UTF8_TO_TCHAR(ProjectIni)), GEngineIni);
	}

	TArray<UE::AutomationTest::FRegisteredTest> Tests;
	TArray<FString> Problems;
	if (!UE::AutomationTest::GetRegisteredTests(Tests, Problems))
	{
		for (const FString& Problem : Problems)
		{
			std::fprintf(stderr, "%s\n", ToUTF8(Problem).c_str());
		}
		return 1;
	}
	if (bList)
	{
		for (const UE::AutomationTest::FRegisteredTest& Test : Tests)
		{
			std::printf("%s\n", ToUTF8(Test.Name.FullName).c_str());
		}
		return std::fflush(stdout) == 0 ? 0 : 1;
	}
	if (RegisterGoogleTests(Tests, RunName) == 0 && RunName)
	{
		std::fprintf(stderr, "No test is named \"%s\".\n", RunName);
		return 1;
	}
	return RUN_ALL_TESTS();
}
