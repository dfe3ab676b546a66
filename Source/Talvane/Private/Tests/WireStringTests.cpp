#include "HttpModule.h"
#include "Interfaces/IHttpRequest.h"
#include "Misc/AutomationTest.h"
#include "Misc/ConfigCacheIni.h"
#include "TalvaneJsonEnums.h"
#include "TalvaneType.h"
#include "UObject/Class.h"

#if WITH_DEV_AUTOMATION_TESTS

BEGIN_DEFINE_SPEC(FTalvaneWireStringSpec, "Talvane.WireString", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	TMap<FString, FString> HeaderMap;
	TSharedPtr<IHttpRequest, ESPMode::ThreadSafe> HttpRequest;

	/** Checks one enumerator: its wire string, and that the string is the tail of its reflected name. */
	template <typename TEnum>
	void TestWireString(const TEnum Value, const FString& WireString, const FString& Actual)
	{
		const FString ReflectedName = StaticEnum<TEnum>()->GetNameByValue(static_cast<int64>(Value)).ToString();
		TestTrue(*FString::Printf(TEXT("Wire string of %s"), *ReflectedName), Actual.Equals(WireString, ESearchCase::CaseSensitive));
		TestTrue(*FString::Printf(TEXT("%s ends with the wire string"), *ReflectedName), ReflectedName.EndsWith(TEXT("::") + WireString.ToUpper(), ESearchCase::CaseSensitive) || ReflectedName.EndsWith(TEXT("_") + WireString.ToUpper(), ESearchCase::CaseSensitive));
	}

	void DefineEnumerations();
	void DefineModelNames();
	void DefineEndpoints();
	void DefineProtocolHeader();
	void DefineHeaderLines();
END_DEFINE_SPEC(FTalvaneWireStringSpec)

void FTalvaneWireStringSpec::Define()
{
	BeforeEach([this]()
	{
		HeaderMap.Reset();
		HttpRequest = FHttpModule::Get().CreateRequest();
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("CloudBaseURL"), GEngineIni);
	});

	AfterEach([this]()
	{
		HttpRequest.Reset();
		GConfig->RemoveKey(TEXT("Talvane"), TEXT("CloudBaseURL"), GEngineIni);
	});

	DefineEnumerations();
	DefineModelNames();
	DefineEndpoints();
	DefineProtocolHeader();
	DefineHeaderLines();
}

void FTalvaneWireStringSpec::DefineEnumerations()
{
	Describe(TEXT("Enumerations"), [this]()
	{
		It(TEXT("DeriveProtocolStringsFromTheReflectedNames"), [this]()
		{
			TestWireString(ENimbrelProtocol::NIMBREL_NONE, TEXT("none"), TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_NONE));
			TestWireString(ENimbrelProtocol::NIMBREL_CHAT, TEXT("chat"), TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_CHAT));
			TestWireString(ENimbrelProtocol::NIMBREL_FIM, TEXT("fim"), TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_FIM));
			TestWireString(ENimbrelProtocol::NIMBREL_LOCAL_CHAT, TEXT("local_chat"), TalvaneJson::NimbrelProtocolToString(ENimbrelProtocol::NIMBREL_LOCAL_CHAT));
		});

		It(TEXT("DeriveRoleStringsFromTheReflectedNames"), [this]()
		{
			TestWireString(ENimbrelRole::NIMBREL_SYSTEM, TEXT("system"), TalvaneJson::NimbrelRoleToString(ENimbrelRole::NIMBREL_SYSTEM));
			TestWireString(ENimbrelRole::NIMBREL_USER, TEXT("user"), TalvaneJson::NimbrelRoleToString(ENimbrelRole::NIMBREL_USER));
			TestWireString(ENimbrelRole::NIMBREL_ASSISTANT, TEXT("assistant"), TalvaneJson::NimbrelRoleToString(ENimbrelRole::NIMBREL_ASSISTANT));
			TestWireString(ENimbrelRole::NIMBREL_TOOL, TEXT("tool"), TalvaneJson::NimbrelRoleToString(ENimbrelRole::NIMBREL_TOOL));
		});

		It(TEXT("DeriveFormatChoiceAndToolStringsFromTheReflectedNames"), [this]()
		{
			TestWireString(ENimbrelResponseFormat::TEXT, TEXT("text"), TalvaneJson::NimbrelResponseFormatToString(ENimbrelResponseFormat::TEXT));
			TestWireString(ENimbrelResponseFormat::JSON_OBJECT, TEXT("json_object"), TalvaneJson::NimbrelResponseFormatToString(ENimbrelResponseFormat::JSON_OBJECT));
			TestWireString(ENimbrelToolChoice::NB_NONE, TEXT("none"), TalvaneJson::NimbrelToolChoiceToString(ENimbrelToolChoice::NB_NONE));
			TestWireString(ENimbrelToolChoice::NB_AUTO, TEXT("auto"), TalvaneJson::NimbrelToolChoiceToString(ENimbrelToolChoice::NB_AUTO));
			TestWireString(ENimbrelToolChoice::NB_REQUIRED, TEXT("required"), TalvaneJson::NimbrelToolChoiceToString(ENimbrelToolChoice::NB_REQUIRED));
			// The chat-completions format knows one kind of tool, "function": the enumerator's prefix goes too.
			TestWireString(ENimbrelToolsType::NB_FUNCTION, TEXT("function"), TalvaneJson::NimbrelToolsTypeToString(ENimbrelToolsType::NB_FUNCTION));
		});

		It(TEXT("GiveAnEmptyStringForAValueThatIsNoEnumerator"), [this]()
		{
			TestTrue(TEXT("Role 200"), FString(TalvaneJson::NimbrelRoleToString(static_cast<ENimbrelRole>(200))).Equals(TEXT(""), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Protocol 9"), FString(TalvaneJson::NimbrelProtocolToString(static_cast<ENimbrelProtocol>(9))).Equals(TEXT(""), ESearchCase::CaseSensitive));
			// (The value just past the last enumerator is the engine's own "_MAX" entry, which has a name.)
			TestTrue(TEXT("Tools type 200"), FString(TalvaneJson::NimbrelToolsTypeToString(static_cast<ENimbrelToolsType>(200))).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});
	});
}

void FTalvaneWireStringSpec::DefineModelNames()
{
	Describe(TEXT("ModelNames"), [this]()
	{
		It(TEXT("NameTheTwoModels"), [this]()
		{
			TestTrue(TEXT("Chat"), TalvaneJson::NimbrelModelToString(ENimbrelModel::NIMBREL_CHAT).Equals(TEXT("nimbrel-chat"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Reasoner"), TalvaneJson::NimbrelModelToString(ENimbrelModel::NIMBREL_REASONER).Equals(TEXT("nimbrel-reasoner"), ESearchCase::CaseSensitive));
		});

		It(TEXT("GiveAnEmptyNameForAnInvalidModel"), [this]()
		{
			TestTrue(TEXT("Invalid"), TalvaneJson::NimbrelModelToString(ENimbrelModel::NIMBREL_INVALID).Equals(TEXT(""), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Out of range"), FString(TalvaneJson::NimbrelModelToString(static_cast<ENimbrelModel>(3))).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReadANameIgnoringCase"), [this]()
		{
			TestEqual(TEXT("Capitals"), TalvaneJson::StringToNimbrelModel(TEXT("NIMBREL-CHAT")), ENimbrelModel::NIMBREL_CHAT);
			TestEqual(TEXT("Mixed"), TalvaneJson::StringToNimbrelModel(TEXT("Nimbrel-Chat")), ENimbrelModel::NIMBREL_CHAT);
			TestEqual(TEXT("Reasoner"), TalvaneJson::StringToNimbrelModel(TEXT("nimbrel-REASONER")), ENimbrelModel::NIMBREL_REASONER);
		});

		It(TEXT("ReadAnyOtherTextAsInvalid"), [this]()
		{
			TestEqual(TEXT("Trailing space"), TalvaneJson::StringToNimbrelModel(TEXT("nimbrel-chat ")), ENimbrelModel::NIMBREL_INVALID);
			TestEqual(TEXT("Leading space"), TalvaneJson::StringToNimbrelModel(TEXT(" nimbrel-chat")), ENimbrelModel::NIMBREL_INVALID);
			TestEqual(TEXT("Empty"), TalvaneJson::StringToNimbrelModel(FString()), ENimbrelModel::NIMBREL_INVALID);
			TestEqual(TEXT("Prefix"), TalvaneJson::StringToNimbrelModel(TEXT("nimbrel")), ENimbrelModel::NIMBREL_INVALID);
			TestEqual(TEXT("Enumerator name"), TalvaneJson::StringToNimbrelModel(TEXT("NIMBREL_CHAT")), ENimbrelModel::NIMBREL_INVALID);
		});
	});
}

void FTalvaneWireStringSpec::DefineEndpoints()
{
	Describe(TEXT("Endpoints"), [this]()
	{
		It(TEXT("UseTheDefaultCloudBaseURL"), [this]()
		{
			TestTrue(TEXT("Chat"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_CHAT).Equals(TEXT("https://api.nimbrel.com/chat/completions"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Reasoner"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_REASONER).Equals(TEXT("https://api.nimbrel.com/chat/completions"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Invalid"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_INVALID).Equals(TEXT("https://api.nimbrel.com/"), ESearchCase::CaseSensitive));
		});

		It(TEXT("ReadTheBaseURLFromTheEngineIniOnEveryCall"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:8080/proxy/"), GEngineIni);
			TestTrue(TEXT("With slash"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_CHAT).Equals(TEXT("http://127.0.0.1:8080/proxy/chat/completions"), ESearchCase::CaseSensitive));
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1:9"), GEngineIni);
			TestTrue(TEXT("Without slash"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_REASONER).Equals(TEXT("http://127.0.0.1:9/chat/completions"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Bare base"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_INVALID).Equals(TEXT("http://127.0.0.1:9/"), ESearchCase::CaseSensitive));
		});

		It(TEXT("KeepPercentSignsOfTheBaseURL"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT("http://127.0.0.1/a%2Fb%s/"), GEngineIni);
			TestTrue(TEXT("URL"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_CHAT).Equals(TEXT("http://127.0.0.1/a%2Fb%s/chat/completions"), ESearchCase::CaseSensitive));
		});

		It(TEXT("FallBackToTheDefaultForAnEmptyBaseURL"), [this]()
		{
			GConfig->SetString(TEXT("Talvane"), TEXT("CloudBaseURL"), TEXT(""), GEngineIni);
			TestTrue(TEXT("URL"), TalvaneJson::GetNimbrelURL(ENimbrelModel::NIMBREL_CHAT).Equals(TEXT("https://api.nimbrel.com/chat/completions"), ESearchCase::CaseSensitive));
		});
	});
}

void FTalvaneWireStringSpec::DefineProtocolHeader()
{
	Describe(TEXT("ProtocolHeader"), [this]()
	{
		It(TEXT("ReadsFIMInAnyCase"), [this]()
		{
			HttpRequest->SetHeader(TEXT("Access-Protocol"), TEXT("FIM"));
			TestEqual(TEXT("FIM"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_FIM);
			HttpRequest->SetHeader(TEXT("access-protocol"), TEXT("fim"));
			TestEqual(TEXT("fim"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_FIM);
		});

		It(TEXT("ReadsEveryOtherValueAsChat"), [this]()
		{
			TestEqual(TEXT("No header"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_CHAT);
			HttpRequest->SetHeader(TEXT("Access-Protocol"), TEXT("local_chat"));
			TestEqual(TEXT("local_chat"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_CHAT);
			HttpRequest->SetHeader(TEXT("Access-Protocol"), TEXT("none"));
			TestEqual(TEXT("none"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_CHAT);
			HttpRequest->SetHeader(TEXT("Access-Protocol"), TEXT("fim "));
			TestEqual(TEXT("fim with a space"), TalvaneJson::GetNimbrelProtocol(HttpRequest), ENimbrelProtocol::NIMBREL_CHAT);
		});

		It(TEXT("ReadsANullRequestAsChat"), [this]()
		{
			TestEqual(TEXT("Null"), TalvaneJson::GetNimbrelProtocol(nullptr), ENimbrelProtocol::NIMBREL_CHAT);
		});
	});
}

void FTalvaneWireStringSpec::DefineHeaderLines()
{
	Describe(TEXT("HeaderLines"), [this]()
	{
		It(TEXT("SplitALineAtTheFirstColonAndSpace"), [this]()
		{
			TalvaneJson::HandleHeaderArrayToHeaderMap({TEXT("Content-Type: application/json"), TEXT("X-Note: a: b")}, HeaderMap);
			TestEqual(TEXT("Entries"), HeaderMap.Num(), 2);
			TestTrue(TEXT("Content-Type"), FString(HeaderMap.FindRef(TEXT("Content-Type"))).Equals(TEXT("application/json"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("X-Note"), FString(HeaderMap.FindRef(TEXT("X-Note"))).Equals(TEXT("a: b"), ESearchCase::CaseSensitive));
		});

		It(TEXT("TurnALineWithoutSeparatorIntoTheEmptyPair"), [this]()
		{
			TalvaneJson::HandleHeaderArrayToHeaderMap({TEXT("Broken:line"), TEXT("NoSeparator")}, HeaderMap);
			TestEqual(TEXT("Entries"), HeaderMap.Num(), 1);
			TestTrue(TEXT("Empty name"), HeaderMap.Contains(FString()));
			TestTrue(TEXT("Empty value"), FString(HeaderMap.FindRef(FString())).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});

		It(TEXT("KeepEmptyNamesAndValuesAroundTheSeparator"), [this]()
		{
			TalvaneJson::HandleHeaderArrayToHeaderMap({TEXT(": only value"), TEXT("OnlyName: ")}, HeaderMap);
			TestTrue(TEXT("Empty name"), FString(HeaderMap.FindRef(FString())).Equals(TEXT("only value"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Name present"), HeaderMap.Contains(TEXT("OnlyName")));
			TestTrue(TEXT("Empty value"), FString(HeaderMap.FindRef(TEXT("OnlyName"))).Equals(TEXT(""), ESearchCase::CaseSensitive));
		});

		It(TEXT("LetALaterLineReplaceAnEarlierNameIgnoringCase"), [this]()
		{
			TalvaneJson::HandleHeaderArrayToHeaderMap({TEXT("Accept: a"), TEXT("accept: b")}, HeaderMap);
			TestEqual(TEXT("Entries"), HeaderMap.Num(), 1);
			TestTrue(TEXT("Value"), FString(HeaderMap.FindRef(TEXT("ACCEPT"))).Equals(TEXT("b"), ESearchCase::CaseSensitive));
		});

		It(TEXT("AddToWhatTheMapAlreadyHolds"), [this]()
		{
			HeaderMap.Add(TEXT("Kept"), TEXT("1"));
			HeaderMap.Add(TEXT("Replaced"), TEXT("old"));
			TalvaneJson::HandleHeaderArrayToHeaderMap({TEXT("Replaced: new")}, HeaderMap);
			TalvaneJson::HandleHeaderArrayToHeaderMap(TArray<FString>(), HeaderMap);
			TestEqual(TEXT("Entries"), HeaderMap.Num(), 2);
			TestTrue(TEXT("Kept"), FString(HeaderMap.FindRef(TEXT("Kept"))).Equals(TEXT("1"), ESearchCase::CaseSensitive));
			TestTrue(TEXT("Replaced"), FString(HeaderMap.FindRef(TEXT("Replaced"))).Equals(TEXT("new"), ESearchCase::CaseSensitive));
		});
	});
}

#endif
