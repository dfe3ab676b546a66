#include "Misc/AutomationTest.h"
#include "HAL/CriticalSection.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Misc/ScopeLock.h"
#include "TalvaneJsonErrors.h"
#include "TalvaneLog.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/**
	 * Keeps the lines written to one log category. It takes lines from any thread, at once, as the
	 * engine's log allows only of a device usable on multiple threads; the lock guards what it keeps.
	 */
	class FCategoryLines : public FOutputDevice
	{
	public:
		TArray<FString> Lines;
		TArray<ELogVerbosity::Type> Verbosities;

		virtual bool CanBeUsedOnAnyThread() const override { return true; }
		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

		virtual void Serialize(const TCHAR* V, ELogVerbosity::Type Verbosity, const FName& Category) override
		{
			if (Category == FName(TEXT("TalvaneLog")))
			{
				FScopeLock Lock(&Mutex);
				Lines.Add(V);
				Verbosities.Add(Verbosity);
			}
		}

	private:
		FCriticalSection Mutex;
	};

	struct FExpectedLine
	{
		int32 Code;
		const TCHAR* Line;
	};
}

BEGIN_DEFINE_SPEC(FTalvaneErrorLogSpec, "Talvane.ErrorLog", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FCategoryLines Capture;
	ELogVerbosity::Type SavedVerbosity = ELogVerbosity::Log;
END_DEFINE_SPEC(FTalvaneErrorLogSpec)

void FTalvaneErrorLogSpec::Define()
{
	BeforeEach([this]()
	{
		SavedVerbosity = TalvaneLog.GetVerbosity();
		Capture.Lines.Reset();
		Capture.Verbosities.Reset();
		GLog->AddOutputDevice(&Capture);
	});

	AfterEach([this]()
	{
		GLog->RemoveOutputDevice(&Capture);
		TalvaneLog.SetVerbosity(SavedVerbosity);
	});

	It(TEXT("WritesTheTextOfEachCodeExactly"), [this]()
	{
		const FExpectedLine Expected[] = {
			{400, TEXT("[code=400]请求体格式错误.请根据错误信息提示修改请求体[M]")},
			{401, TEXT("[code=401]API key 错误，认证失败.请检查您的 API key 是否正确，如没有 API key，请先 创建 API key[M]")},
			{402, TEXT("[code=402]账号余额不足.请确认账户余额，并前往 充值 页面进行充值[M]")},
			{422, TEXT("[code=422]请求体参数错误.请根据错误信息提示修改相关参数[M]")},
			{429, TEXT("[code=429]请求速率（TPM 或 RPM）达到上限.请合理规划您的请求速率[M]")},
			{500, TEXT("[code=500]服务器内部故障.请等待后重试，若问题一直存在，请联系我们解决[M]")},
			{503, TEXT("[code=503]服务器负载过高.请稍后重试您的请求[M]")},
			{404, TEXT("[code=404]未知错误[M]")},
			{0, TEXT("[code=0]未知错误[M]")},
			{502, TEXT("[code=502]未知错误[M]")},
			{-1, TEXT("[code=-1]未知错误[M]")},
			{200, TEXT("[code=200]未知错误[M]")},
		};
		for (const FExpectedLine& Row : Expected)
		{
			Capture.Lines.Reset();
			TalvaneJson::ErrorPrintToLog(Row.Code, TEXT("M"));
			if (TestEqual(*FString::Printf(TEXT("Lines for code %d"), Row.Code), Capture.Lines.Num(), 1))
			{
				TestTrue(*FString::Printf(TEXT("Line for code %d"), Row.Code), Capture.Lines[0].Equals(Row.Line, ESearchCase::CaseSensitive));
			}
		}
		TestTrue(TEXT("Every line at Log verbosity"), !Capture.Verbosities.ContainsByPredicate([](const ELogVerbosity::Type Verbosity)
		{
			return Verbosity != ELogVerbosity::Log;
		}));
	});

	It(TEXT("InsertsTheMessageUnchanged"), [this]()
	{
		TalvaneJson::ErrorPrintToLog(418, TEXT(""));
		TalvaneJson::ErrorPrintToLog(418, TEXT("%s 100% {\"error\":1}"));
		if (TestEqual(TEXT("Lines"), Capture.Lines.Num(), 2))
		{
			TestTrue(TEXT("Empty message"), Capture.Lines[0].Equals(TEXT("[code=418]未知错误[]"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Message with format characters"), Capture.Lines[1].Equals(TEXT("[code=418]未知错误[%s 100% {\"error\":1}]"), ESearchCase::CaseSensitive));
		}
	});

	It(TEXT("WritesNothingWhenTheCategoryIsBelowLog"), [this]()
	{
		TalvaneLog.SetVerbosity(ELogVerbosity::Warning);
		TalvaneJson::ErrorPrintToLog(500, TEXT("M"));
		TalvaneJson::ErrorPrintToLog(1, TEXT("M"));
		TestEqual(TEXT("Lines"), Capture.Lines.Num(), 0);
	});
}

#endif
