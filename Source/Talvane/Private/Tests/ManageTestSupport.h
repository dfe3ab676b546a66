#pragma once

// Shared by the request-manager tests: a manager whose reports are recorded, the reference server on
// loopback, and the texts the reference server answers with.

#include <memory>

#include "CoreMinimal.h"
#include "HAL/CriticalSection.h"
#include "Misc/ScopeLock.h"
#include "TalvaneHttpTestSupport.h"
#include "TalvaneManage.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace TalvaneManageTest
{
	using namespace TalvaneHttpTest;

	struct FResponseReport
	{
		ENimbrelProtocol Protocol = ENimbrelProtocol::NIMBREL_NONE;
		TArray<FString> Data;
		TArray<FString> ReasoningData;
		FString Msg;
		FNimbrelContextInfo Meta;
	};

	struct FProgressReport
	{
		ENimbrelProtocol Protocol = ENimbrelProtocol::NIMBREL_NONE;
		FString Text;
		FString ReasoningText;
		FNimbrelContextInfo Meta;
		int32 SendBytes = 0;
		int32 BytesReceived = 0;
	};

	/** Everything a manager reported, in order. */
	struct FReports
	{
		TArray<FResponseReport> Successes;
		TArray<FResponseReport> Failures;
		TArray<FProgressReport> Progress;

		int32 Finished() const { return Successes.Num() + Failures.Num(); }

		/** Progress reports of one request, told apart by the RequestID header in their meta data. */
		TArray<FProgressReport> ProgressOf(const FGuid& RequestID) const
		{
			TArray<FProgressReport> Found;
			for (const FProgressReport& Report : Progress)
			{
				if (Report.Meta.Metas.FindRef(TEXT("RequestID")) == RequestID.ToString(EGuidFormats::Digits))
				{
					Found.Add(Report);
				}
			}
			return Found;
		}

		/** The delta texts of one request joined, as a listener in delta mode would join them. */
		FString JoinedProgress(const FGuid& RequestID) const
		{
			FString Joined;
			for (const FProgressReport& Report : ProgressOf(RequestID))
			{
				Joined += Report.Text;
			}
			return Joined;
		}
	};

	/** Counts the engine HTTP module's log lines while it lives; lines may come from any thread. */
	class FHttpLogCapture : public FOutputDevice
	{
	public:
		FHttpLogCapture() { GLog->AddOutputDevice(this); }
		virtual ~FHttpLogCapture() override { GLog->RemoveOutputDevice(this); }

		virtual bool CanBeUsedOnMultipleThreads() const override { return true; }

		virtual void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
		{
			if (Category == FName(TEXT("LogHttp")))
			{
				FScopeLock ScopeLock(&Lock);
				Lines.Add(FString(V));
			}
		}

		int32 CountContaining(const FString& InText)
		{
			FScopeLock ScopeLock(&Lock);
			int32 Count = 0;
			for (const FString& Line : Lines)
			{
				Count += Line.Contains(InText) ? 1 : 0;
			}
			return Count;
		}

	private:
		FCriticalSection Lock;
		TArray<FString> Lines;
	};

	/** A manager that records its reports; it exposes request tracking for tests that drive it by hand. */
	class FRecordingManage : public FTalvaneManage
	{
	public:
		FRecordingManage()
		{
			SuccessDelegate.BindLambda([this](ENimbrelProtocol Protocol, const TArray<FString>& Data, const TArray<FString>& Reasoning,
				const FString& Msg, const FNimbrelContextInfo& Meta) { Reports.Successes.Add({Protocol, Data, Reasoning, Msg, Meta}); });
			FailureDelegate.BindLambda([this](ENimbrelProtocol Protocol, const TArray<FString>& Data, const TArray<FString>& Reasoning,
				const FString& Msg, const FNimbrelContextInfo& Meta) { Reports.Failures.Add({Protocol, Data, Reasoning, Msg, Meta}); });
			ProgressDelegate.BindLambda([this](ENimbrelProtocol Protocol, const FString& Text, const FString& Reasoning,
				const FNimbrelContextInfo& Meta, int32 Sent, int32 Received) { Reports.Progress.Add({Protocol, Text, Reasoning, Meta, Sent, Received}); });
		}

		using FTalvaneManage::GetTrackedRequestCount;
		using FTalvaneManage::OnRequestProgress;
		using FTalvaneManage::TrackRequest;

		FReports Reports;
	};

	/** A manager pointed at the shared reference server, with its key set. */
	inline std::unique_ptr<FRecordingManage> MakeManager(const bool bCombined = true)
	{
		ConfigureCloud(GetServerBaseURL());
		std::unique_ptr<FRecordingManage> Manager = std::make_unique<FRecordingManage>();
		Manager->SetStreamCombinedReply(bCombined);
		Manager->SetAPIKey(ServerKey);
		return Manager;
	}

	/** The reference server's chat answer: it quotes the question and counts the turns and messages. */
	inline FString ExpectedAnswer(const FString& Question, const int32 Turn, const int32 Messages)
	{
		return FString::Printf(TEXT("Echo: %s (turn %d, %d %s)"), *Question, Turn, Messages, Messages == 1 ? TEXT("message") : TEXT("messages"));
	}

	inline FString ExpectedReasoning(const FString& Question)
	{
		return FString::Printf(TEXT("Thinking about \"%s\"."), *Question);
	}

	inline FNimbrelChatRequest MakeChatRecord(const bool bStream, const ENimbrelModel Model = ENimbrelModel::NIMBREL_CHAT)
	{
		FNimbrelChatRequest Record;
		Record.Model = Model;
		Record.bStream = bStream;
		return Record;
	}

	inline TMap<FString, FString> Scenario(const TCHAR* Name)
	{
		return TMap<FString, FString>{{TEXT("X-Talvane-Scenario"), Name}};
	}
}

#endif
