// One streamed chat answer from the reference server on 127.0.0.1 (2,000 events in slices of 1 to
// 89 bytes, sent as fast as the socket takes them), fetched two ways in the same run:
// - BM_ManagerEndToEnd: through the request manager and the engine's HTTP module (libcurl on its
//   own thread), with the HTTP manager ticked every millisecond, as a game loop would tick it at a
//   frame rate no game reaches. Wall time from the request call to the success report;
//   first_progress_ms is the time from the server writing the first byte of the body to the first
//   progress report on the game thread.
// - BM_CurlCommandLine: the curl command line fetching the same answer with the same body and
//   headers; its own time_total (its start-up excluded) and first_byte_ms (time_starttransfer).
// Both use the manual time Google Benchmark reports; the performance report takes medians of
// several runs.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "CoreMinimal.h"
#include "HttpManager.h"
#include "HttpModule.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "ReferenceServer.h"
#include "TalvaneJsonRequests.h"
#include "TalvaneManage.h"
#include "TalvaneType.h"

namespace
{
	constexpr int32 AnswerEvents = 2000;
	const char* const ServerKey = "bench-key";

	double NowSeconds()
	{
		return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
	}

	/** The reference server of the run; main starts it with the plugin's modules and stops it at the end. */
	std::unique_ptr<TalvaneReference::FReferenceServer> GServer;

	TalvaneReference::FReferenceServer& GetServer()
	{
		return *GServer;
	}

	bool StartServer()
	{
		TalvaneReference::FServerOptions Options;
		Options.ApiKey = ServerKey;
		GServer = std::make_unique<TalvaneReference::FReferenceServer>(Options);
		if (GServer->Start() < 0)
		{
			std::fprintf(stderr, "The reference server could not listen on 127.0.0.1.\n");
			return false;
		}
		GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), UTF8_TO_TCHAR(GServer->GetBaseURL().c_str()), GEngineIni);
		return FModuleManager::Get().LoadModule(TEXT("Talvane")) != nullptr;
	}

	TMap<FString, FString> GetScenarioHeaders()
	{
		TMap<FString, FString> Headers;
		Headers.Add(TEXT("X-Talvane-Scenario"), TEXT("many-events"));
		Headers.Add(TEXT("X-Talvane-Events"), FString::FromInt(AnswerEvents));
		Headers.Add(TEXT("X-Talvane-Delay-Ms"), TEXT("0"));
		return Headers;
	}

	FNimbrelChatRequest MakeRecord()
	{
		FNimbrelChatRequest Record;
		Record.Model = ENimbrelModel::NIMBREL_CHAT;
		Record.bStream = true;
		return Record;
	}

	/** What one streamed answer through the manager took. */
	struct FManagerRun
	{
		double TotalSeconds = 0.0;
		double FirstProgressSeconds = 0.0;
		int32 TextLength = 0;
		bool bSucceeded = false;
	};

	FManagerRun FetchThroughManager()
	{
		FTalvaneManage Manage;
		Manage.Init();
		Manage.SetAPIKey(ServerKey);
		FManagerRun Run;
		double FirstProgressAt = 0.0;
		bool bDone = false;
		Manage.ProgressDelegate.BindLambda([&FirstProgressAt](ENimbrelProtocol, const FString&, const FString&, const FNimbrelContextInfo&, int32, int32)
		{
			FirstProgressAt = FirstProgressAt > 0.0 ? FirstProgressAt : NowSeconds();
		});
		Manage.SuccessDelegate.BindLambda([&Run, &bDone](ENimbrelProtocol, const TArray<FString>& InTexts, const TArray<FString>&, const FString&,
			const FNimbrelContextInfo&)
		{
			Run.bSucceeded = true;
			Run.TextLength = InTexts.Num() > 0 ? InTexts[0].Len() : 0;
			bDone = true;
		});
		Manage.FailureDelegate.BindLambda([&bDone](ENimbrelProtocol, const TArray<FString>&, const TArray<FString>&, const FString&,
			const FNimbrelContextInfo&)
		{
			bDone = true;
		});
		FNimbrelChatRequest Record = MakeRecord();
		FHttpManager& HttpManager = FHttpModule::Get().GetHttpManager();
		const double Start = NowSeconds();
		Manage.NimbrelChatRequest(TEXT("Tell me a long story."), Record, GetScenarioHeaders());
		// One tick per millisecond of wall time: the report waits for the next tick, as in a game.
		std::chrono::steady_clock::time_point NextTick = std::chrono::steady_clock::now();
		double LastTick = Start;
		while (!bDone && NowSeconds() - Start < 30.0)
		{
			NextTick += std::chrono::milliseconds(1);
			std::this_thread::sleep_until(NextTick);
			const double Now = NowSeconds();
			HttpManager.Tick(static_cast<float>(Now - LastTick));
			LastTick = Now;
		}
		Run.TotalSeconds = NowSeconds() - Start;
		const double BodyStart = static_cast<double>(GetServer().GetLastBodyStartNs()) * 1e-9;
		Run.FirstProgressSeconds = FirstProgressAt > 0.0 && BodyStart > 0.0 ? FirstProgressAt - BodyStart : -1.0;
		return Run;
	}

	/** The curl command line for the same request; its -w output is "time_total time_starttransfer size_download". */
	std::string MakeCurlCommand()
	{
		FNimbrelChatRequest Record = MakeRecord();
		FNimbrelContextMessage& Question = Record.Messages.AddDefaulted_GetRef();
		Question.Role = ENimbrelRole::NIMBREL_USER;
		Question.Content = TEXT("Tell me a long story.");
		FString Body;
		TalvaneJson::NimbrelChatRequestToString(Record, Body);
		const std::string BodyPath = "/tmp/talvane-end-to-end-body.json";
		if (std::FILE* const File = std::fopen(BodyPath.c_str(), "wb"))
		{
			const FTCHARToUTF8 Utf8(*Body);
			std::fwrite(Utf8.Get(), 1, static_cast<size_t>(Utf8.Length()), File);
			std::fclose(File);
		}
		std::string Command = "curl -s -N -o /dev/null -w '%{time_total} %{time_starttransfer} %{size_download}' -X POST";
		Command += " -H 'Content-Type: application/json' -H 'Accept: application/json'";
		Command += std::string(" -H 'Authorization: Bearer ") + ServerKey + "'";
		for (const TPair<FString, FString>& Header : GetScenarioHeaders())
		{
			Command += " -H '" + std::string(TCHAR_TO_UTF8(*Header.Key)) + ": " + std::string(TCHAR_TO_UTF8(*Header.Value)) + "'";
		}
		Command += " --data-binary @" + BodyPath + " " + GetServer().GetBaseURL() + "chat/completions";
		return Command;
	}
}

static void BM_ManagerEndToEnd(benchmark::State& State)
{
	double FirstProgressTotal = 0.0;
	int32 TextLength = 0;
	for (auto _ : State)
	{
		const FManagerRun Run = FetchThroughManager();
		if (!Run.bSucceeded || Run.FirstProgressSeconds < 0.0)
		{
			State.SkipWithError("the streamed answer did not arrive whole");
			return;
		}
		State.SetIterationTime(Run.TotalSeconds);
		FirstProgressTotal += Run.FirstProgressSeconds;
		TextLength = Run.TextLength;
	}
	State.counters["first_progress_ms"] = FirstProgressTotal * 1e3 / static_cast<double>(State.iterations());
	State.counters["text_chars"] = TextLength;
}
BENCHMARK(BM_ManagerEndToEnd)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

static void BM_CurlCommandLine(benchmark::State& State)
{
	if (std::system("command -v curl >/dev/null 2>&1") != 0)
	{
		State.SkipWithError("no curl on the PATH");
		return;
	}
	const std::string Command = MakeCurlCommand();
	double FirstByteTotal = 0.0;
	double BytesTotal = 0.0;
	for (auto _ : State)
	{
		std::FILE* const Pipe = popen(Command.c_str(), "r");
		double Total = 0.0;
		double FirstByte = 0.0;
		double Bytes = 0.0;
		const bool bRead = Pipe != nullptr && std::fscanf(Pipe, "%lf %lf %lf", &Total, &FirstByte, &Bytes) == 3;
		const int Status = Pipe != nullptr ? pclose(Pipe) : -1;
		if (!bRead || Status != 0 || Bytes <= 0.0)
		{
			State.SkipWithError("curl did not fetch the answer");
			return;
		}
		State.SetIterationTime(Total);
		FirstByteTotal += FirstByte;
		BytesTotal += Bytes;
	}
	State.counters["first_byte_ms"] = FirstByteTotal * 1e3 / static_cast<double>(State.iterations());
	State.counters["body_bytes"] = BytesTotal / static_cast<double>(State.iterations());
}
BENCHMARK(BM_CurlCommandLine)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

int main(int Argc, char** Argv)
{
	benchmark::Initialize(&Argc, Argv);
	if (!StartServer())
	{
		return 1;
	}
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	GServer->Stop();
	return 0;
}
