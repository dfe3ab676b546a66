#include "ManageTestSupport.h"
#include "Misc/AutomationTest.h"

#if WITH_DEV_AUTOMATION_TESTS

using namespace TalvaneManageTest;

BEGIN_DEFINE_SPEC(FTalvaneManageConcurrencySpec, "Talvane.Manage.Concurrency", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TALVANE_SPEC_NEEDS_REFERENCE_SERVER()
	std::unique_ptr<FRecordingManage> Manager;
END_DEFINE_SPEC(FTalvaneManageConcurrencySpec)

void FTalvaneManageConcurrencySpec::Define()
{
	BeforeEach([this]()
	{
		Manager = MakeManager(false);
	});

	AfterEach([this]()
	{
		Manager.reset();
		StopServer();
		ResetCloud();
	});

	It(TEXT("CompletesAHundredStreamsEachWithExactlyItsOwnText"), [this]()
	{
		constexpr int32 Count = 100;
		TArray<FNimbrelChatRequest> Records;
		Records.SetNum(Count);
		TArray<FGuid> RequestIDs;
		for (int32 Index = 0; Index < Count; ++Index)
		{
			Records[Index].bStream = true;
			Records[Index].Model = Index % 2 ? ENimbrelModel::NIMBREL_REASONER : ENimbrelModel::NIMBREL_CHAT;
			RequestIDs.Add(Manager->NimbrelChatRequest(FString::Printf(TEXT("question number %d"), Index), Records[Index],
				{{TEXT("X-Index"), FString::FromInt(Index)}}));
		}
		TestTrue(TEXT("all reported"), TickUntil([this]() { return Manager->Reports.Finished() == Count; }, 120.0));
		TestEqual(TEXT("no failures"), Manager->Reports.Failures.Num(), 0);
		for (int32 Index = 0; Index < Count; ++Index)
		{
			const FString Expected = ExpectedAnswer(FString::Printf(TEXT("question number %d"), Index), 1, 1);
			TestTrue(TEXT("own record"), Records[Index].Messages.Last().Content.Equals(Expected, ESearchCase::CaseSensitive));
			TestTrue(TEXT("own deltas"), Manager->Reports.JoinedProgress(RequestIDs[Index]).Equals(Expected, ESearchCase::CaseSensitive));
		}
		for (const FResponseReport& Success : Manager->Reports.Successes)
		{
			const int32 Index = FCString::Atoi(*Success.Meta.Metas.FindRef(TEXT("X-Index")));
			TestTrue(TEXT("meta tells the requests apart"), FString(Success.Meta.Metas.FindRef(TEXT("RequestID"))).Equals(RequestIDs[Index].ToString(), ESearchCase::CaseSensitive));
		}
	});
}

#endif
