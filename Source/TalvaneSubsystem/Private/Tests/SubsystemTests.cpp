#include "Engine/Engine.h"
#include "Engine/GameInstance.h"
#include "Misc/AutomationTest.h"
#include "SubsystemTestListener.h"
#include "TalvaneSubsystem.h"
#include "Tests/TalvaneTestServer.h"
#include "UObject/Class.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UnrealType.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneTestServer;

BEGIN_DEFINE_SPEC(FTalvaneSubsystemSpec, "Talvane.Subsystem", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	UGameInstance* GameInstance = nullptr;
	UTalvaneSubsystem* Subsystem = nullptr;
	USubsystemTestListener* Listener = nullptr;

	void BindAll()
	{
		Subsystem->OnSuccess.AddDynamic(Listener, &USubsystemTestListener::HandleSuccess);
		Subsystem->OnProgress.AddDynamic(Listener, &USubsystemTestListener::HandleProgress);
		Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
		Subsystem->OnReceivedResponse.AddDynamic(Listener, &USubsystemTestListener::HandleHeader);
	}

	bool WaitForReport(const int32 Count = 1)
	{
		return TickUntil([this, Count]() { return Listener->Finished() >= Count; });
	}

	const UFunction* FindFunction(const TCHAR* Name)
	{
		const UFunction* Function = UTalvaneSubsystem::StaticClass()->FindFunctionByName(FName(Name));
		TestNotNull(*FString::Printf(TEXT("%s is reflected"), Name), Function);
		return Function;
	}
END_DEFINE_SPEC(FTalvaneSubsystemSpec)

void FTalvaneSubsystemSpec::Define()
{
	BeforeEach([this]()
	{
		ConfigureCloud(GetServerBaseURL());
		// Each block runs on its own frame in the engine, which may collect garbage in between.
		GameInstance = NewObject<UGameInstance>(GEngine);
		GameInstance->AddToRoot();
		GameInstance->Init();
		Subsystem = GameInstance->GetSubsystem<UTalvaneSubsystem>();
		TestNotNull(TEXT("the game instance made the subsystem"), Subsystem);
		Listener = NewObject<USubsystemTestListener>();
		Listener->AddToRoot();
	});

	AfterEach([this]()
	{
		GameInstance->Shutdown();
		GameInstance->RemoveFromRoot();
		GameInstance = nullptr;
		Listener->RemoveFromRoot();
		Listener = nullptr;
		Subsystem = nullptr;
		ResetCloud();
	});

	Describe(TEXT("Requests"), [this]()
	{
		It(TEXT("ReportsAStreamedChatThroughProgressAndSuccess"), [this]()
		{
			BindAll();
			Subsystem->SetAPIKey(ServerKey);
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			Subsystem->NimbrelChatRequest(TEXT("Hello"), Record, {});
			TestTrue(TEXT("reported"), WaitForReport());
			TestEqual(TEXT("one success"), Listener->Successes.Num(), 1);
			TestEqual(TEXT("answer"), Listener->Successes[0], TArray<FString>{TEXT("Echo: Hello (turn 1, 1 message)")});
			TestTrue(TEXT("progress broadcast"), Listener->Progress.Num() > 0);
			TestEqual(TEXT("conversation kept in the record"), Record.Messages.Num(), 2);
			TestEqual(TEXT("no header broadcast"), Listener->HeadersHeard, 0);
		});

		It(TEXT("ReportsALocalChatAndAFillInTheMiddle"), [this]()
		{
			BindAll();
			Subsystem->SetAPIKey(ServerKey);
			FNimbrelLocalChatRequest Local;
			Local.URL = GetServerHostPort();
			Local.ChatID = TEXT("7");
			Subsystem->NimbrelLocalChatRequest(TEXT("Local"), Local, {});
			FNimbrelFIMRequest Fim;
			Fim.Model = ENimbrelModel::NIMBREL_CHAT;
			Fim.Prompt = TEXT("a");
			Fim.Suffix = TEXT("b");
			Subsystem->NimbrelFIMRequest(Fim, {});
			TestTrue(TEXT("both reported"), WaitForReport(2));
			TestEqual(TEXT("two successes"), Listener->Successes.Num(), 2);
			TestTrue(TEXT("local answer"), Listener->Successes.ContainsByPredicate(
				[](const TArray<FString>& Data) { return Data.Num() == 1 && Data[0].StartsWith(TEXT("Echo: Local")); }));
			TestTrue(TEXT("FIM answer"), Listener->Successes.ContainsByPredicate(
				[](const TArray<FString>& Data) { return Data.Num() == 1 && Data[0].Contains(TEXT("fill between \"a\" and \"b\"")); }));
			TestTrue(TEXT("FIM protocol"), Listener->SuccessProtocols.Contains(ENimbrelProtocol::NIMBREL_FIM));
		});

		It(TEXT("ReportsAnErrorStatusThroughFailure"), [this]()
		{
			BindAll();
			Subsystem->SetAPIKey(ServerKey);
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Subsystem->NimbrelChatRequest(TEXT("x"), Record, {{TEXT("X-Talvane-Scenario"), TEXT("status-402")}});
			TestTrue(TEXT("reported"), WaitForReport());
			TestEqual(TEXT("one failure"), Listener->Failures.Num(), 1);
			TestEqual(TEXT("no success"), Listener->Successes.Num(), 0);
		});

		It(TEXT("KeepsDeltaModeSetBeforeTheFirstRequest"), [this]()
		{
			Subsystem->SetStreamCombinedReply(false);
			TestFalse(TEXT("delta mode"), Subsystem->IsStreamCombinedReply());
			BindAll();
			Subsystem->SetAPIKey(ServerKey);
			TestFalse(TEXT("still delta mode once built"), Subsystem->IsStreamCombinedReply());
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			Subsystem->NimbrelChatRequest(TEXT("d"), Record, {});
			TestTrue(TEXT("reported"), WaitForReport());
			TestEqual(TEXT("placeholder"), Listener->Successes[0], TArray<FString>{TEXT(" ")});
		});

		It(TEXT("BroadcastsNothingToDelegatesNobodyBound"), [this]()
		{
			Subsystem->OnFailure.AddDynamic(Listener, &USubsystemTestListener::HandleFailure);
			Subsystem->SetAPIKey(ServerKey);
			FNimbrelChatRequest Record;
			Record.Model = ENimbrelModel::NIMBREL_CHAT;
			Record.bStream = true;
			Subsystem->NimbrelChatRequest(TEXT("quiet"), Record, {});
			TestTrue(TEXT("answer arrived"), TickUntil([&Record]() { return Record.Messages.Num() == 2; }));
			TestEqual(TEXT("nothing reached the listener"), Listener->Finished() + Listener->Progress.Num(), 0);
		});

		It(TEXT("SendsNothingWithoutAKeyButKeepsTheQuestion"), [this]()
		{
			FNimbrelChatRequest Record;
			const FGuid RequestID = Subsystem->NimbrelChatRequest(TEXT("nobody"), Record, {});
			TestFalse(TEXT("zero GUID"), RequestID.IsValid());
			TestEqual(TEXT("question appended"), Record.Messages.Num(), 1);
		});
	});

	Describe(TEXT("Statements"), [this]()
	{
		It(TEXT("FindsNewStatementsWithoutBuildingAnything"), [this]()
		{
			TArray<FString> Cache;
			TArray<FString> New;
			Subsystem->HandleStreamStatementResponses(TEXT("One. Two! Thr"), Cache, New, false);
			TestEqual(TEXT("the last finished one waits"), New, TArray<FString>{TEXT("One")});
			New.Reset();
			Subsystem->HandleStreamStatementResponses(TEXT("One. Two! Three?"), Cache, New, true);
			TestEqual(TEXT("then the rest"), New, (TArray<FString>{TEXT(" Two"), TEXT(" Three")}));
		});
	});

	Describe(TEXT("Reflection"), [this]()
	{
		It(TEXT("CarriesTheCategoriesAndTooltipsOfEachFunction"), [this]()
		{
			struct FExpected
			{
				const TCHAR* Name;
				const TCHAR* Category;
				const TCHAR* ToolTip;
			};
			const FExpected Expected[] = {
				{TEXT("NimbrelChatRequest"), TEXT("Nimbrel|Online"), TEXT("线上对话")},
				{TEXT("NimbrelFIMRequest"), TEXT("Nimbrel|Online"), TEXT("FIM线上对话")},
				{TEXT("NimbrelLocalChatRequest"), TEXT("Nimbrel|Local"), TEXT("针对本地对话")},
				{TEXT("CancelRequest"), TEXT("Nimbrel"), nullptr},
				{TEXT("SetAPIKey"), TEXT("Nimbrel|Common"), TEXT("APIKEy")},
				{TEXT("SetStreamCombinedReply"), TEXT("Nimbrel|Common"), nullptr},
				{TEXT("IsStreamCombinedReply"), TEXT("Nimbrel|Common"), nullptr},
				{TEXT("HandleStreamStatementResponses"), TEXT("Nimbrel"), TEXT("从流式语句中找到不一样的语句 需要提前缓存语句")},
			};
			for (const FExpected& Entry : Expected)
			{
				const UFunction* Function = FindFunction(Entry.Name);
				if (!Function)
				{
					continue;
				}
#if WITH_EDITORONLY_DATA
				TestTrue(*FString::Printf(TEXT("%s category"), Entry.Name), FString(Function->GetMetaData(TEXT("Category"))).Equals(Entry.Category, ESearchCase::CaseSensitive));
#endif
				TestTrue(*FString::Printf(TEXT("%s callable"), Entry.Name), (Function->FunctionFlags & FUNC_BlueprintCallable) != 0);
				if (Entry.ToolTip)
				{
#if WITH_EDITORONLY_DATA
					TestTrue(*FString::Printf(TEXT("%s tooltip"), Entry.Name), FString(Function->GetMetaData(TEXT("ToolTip"))).Equals(Entry.ToolTip, ESearchCase::CaseSensitive));
#endif
				}
			}
		});

		It(TEXT("MarksThePureFunctionAndTheDefaultsAndReferenceParameters"), [this]()
		{
			const UFunction* IsCombined = FindFunction(TEXT("IsStreamCombinedReply"));
			const UFunction* Statements = FindFunction(TEXT("HandleStreamStatementResponses"));
			if (!IsCombined || !Statements)
			{
				return;
			}
			TestTrue(TEXT("pure"), (IsCombined->FunctionFlags & FUNC_BlueprintPure) != 0);
			TestTrue(TEXT("const"), (IsCombined->FunctionFlags & FUNC_Const) != 0);
#if WITH_EDITORONLY_DATA
			TestTrue(TEXT("default"), FString(Statements->GetMetaData(TEXT("CPP_Default_bIncludeLastSentence"))).Equals(TEXT("false"), ESearchCase::CaseSensitive));
#endif
			for (TFieldIterator<FProperty> Param(Statements); Param; ++Param)
			{
				if (Param->GetName() == TEXT("InStatementCache"))
				{
					TestTrue(TEXT("cache by reference, as an input"), Param->HasAnyPropertyFlags(CPF_ReferenceParm));
				}
				if (Param->GetName() == TEXT("OutDifferentStatement"))
				{
					TestTrue(TEXT("an output"), Param->HasAnyPropertyFlags(CPF_OutParm));
					TestFalse(TEXT("not a reference input"), Param->HasAnyPropertyFlags(CPF_ReferenceParm));
				}
			}
		});
	});
}

#endif
