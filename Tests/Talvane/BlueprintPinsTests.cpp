// The pins the Blueprint editor gives the plugin's nodes, from the model of Editor/BlueprintGraph:
// every datum reaches a Blueprint, and docs/blueprint-pins.md says what the editor makes.
//
// To write the document and the README's node picture again after a change of pins:
//   TALVANE_WRITE_BLUEPRINT_PINS=1 ctest -R Talvane.StandIn.BlueprintPins   (in the build directory)
//   dot -Tsvg docs/async-node.dot -o docs/async-node.svg                     (in the source tree)

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "BlueprintPinModel.h"
#include "BlueprintPinsPicture.h"
#include "Containers/StringConv.h"
#include "Misc/AutomationTest.h"
#include "Modules/ModuleManager.h"

#if WITH_DEV_AUTOMATION_TESTS

namespace
{
	/** The modules whose nodes the document lists, by package. */
	const TCHAR* const PluginPackages[] = {TEXT("/Script/Talvane"), TEXT("/Script/TalvaneSubsystem")};

	const char* const DocumentPath = TALVANE_SOURCE_DIR "/docs/blueprint-pins.md";
	const char* const PicturePath = TALVANE_SOURCE_DIR "/docs/async-node.dot";

	/** The README's picture: the Nimbrel Chat node. */
	FString Picture()
	{
		for (const FModelNode& Node : BlueprintPinModel::BuildNodesForPackage(TEXT("/Script/TalvaneSubsystem")))
		{
			if (Node.Kind == EModelNodeKind::AsyncAction && Node.Title == TEXT("Nimbrel Chat"))
			{
				return TalvaneBlueprintPinsPicture::Picture(Node);
			}
		}
		return FString();
	}

	FString Document()
	{
		FString Text = TEXT(
			"# The pins of Talvane's Blueprint nodes\n\n"
			"What the Blueprint editor makes of the plugin's reflection: each node, its pins, and which pin each\n"
			"request node's delegate writes when it fires. Written by the model of the editor's node building in\n"
			"`EngineShim/BlueprintGraph` (each rule beside the engine function it follows), for a node placed in the\n"
			"event graph of a Blueprint that has a world (an actor, a component, a widget). Do not edit by hand:\n"
			"after changing a reflected declaration, run in the build directory\n\n"
			"    TALVANE_WRITE_BLUEPRINT_PINS=1 ctest -R Talvane.StandIn.BlueprintPins\n\n"
			"and review the difference. The test fails while a node loses data, and while this file differs from\n"
			"what the model makes.\n\n"
			"Pin names are what C++ and redirects use; \"Shown as\" is what the editor draws. `execute` and `then`\n"
			"are the unnamed exec pins. A request node's delegates are its exec outputs (On Progress, On Success,\n"
			"On Failure); each of them writes the data pins listed beside it before its exec pin fires.\n\n");
		for (const TCHAR* Package : PluginPackages)
		{
			Text += FString::Printf(TEXT("## %s\n\n"), Package);
			const TArray<FModelNode> Nodes = BlueprintPinModel::BuildNodesForPackage(Package);
			if (Nodes.IsEmpty())
			{
				Text += TEXT("No node: the module's structs and enumerations are the types of other modules' pins.\n\n");
			}
			for (const FModelNode& Node : Nodes)
			{
				Text += BlueprintPinModel::DescribeNode(Node);
			}
		}
		return Text;
	}

	std::string ReadFile(const char* InPath)
	{
		std::ifstream File(InPath, std::ios::binary);
		std::stringstream Contents;
		Contents << File.rdbuf();
		return Contents.str();
	}

	/** The first line where the two texts differ, as "line N: expected … / model …". */
	FString FirstDifference(const std::string& InExpected, const std::string& InActual)
	{
		std::istringstream Expected(InExpected);
		std::istringstream Actual(InActual);
		std::string ExpectedLine;
		std::string ActualLine;
		for (int32 Line = 1;; ++Line)
		{
			const bool bHasExpected = static_cast<bool>(std::getline(Expected, ExpectedLine));
			const bool bHasActual = static_cast<bool>(std::getline(Actual, ActualLine));
			if (!bHasExpected && !bHasActual)
			{
				return FString();
			}
			if (!bHasExpected || !bHasActual || ExpectedLine != ActualLine)
			{
				return FString::Printf(TEXT("line %d: the document has \"%s\", the model makes \"%s\""), Line,
					UTF8_TO_TCHAR(bHasExpected ? ExpectedLine.c_str() : "(end of file)"), UTF8_TO_TCHAR(bHasActual ? ActualLine.c_str() : "(end of file)"));
			}
		}
	}
}

BEGIN_DEFINE_SPEC(FTalvaneBlueprintPinsSpec, "Talvane.StandIn.BlueprintPins", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	void ExpectNoLoss(EModelNodeKind InKind);
	void ExpectFileIsModel(const char* InPath, const FString& InModel);
END_DEFINE_SPEC(FTalvaneBlueprintPinsSpec)

void FTalvaneBlueprintPinsSpec::ExpectFileIsModel(const char* InPath, const FString& InModel)
{
	const std::string Model(TCHAR_TO_UTF8(*InModel));
	const char* Write = std::getenv("TALVANE_WRITE_BLUEPRINT_PINS");
	if (Write && std::string(Write) == "1")
	{
		std::ofstream(InPath, std::ios::binary) << Model;
		AddInfo(FString::Printf(TEXT("Wrote %s"), UTF8_TO_TCHAR(InPath)));
	}
	const FString Difference = FirstDifference(ReadFile(InPath), Model);
	if (!Difference.IsEmpty())
	{
		AddError(FString::Printf(TEXT("%s differs from the model at %s. If the new pins are meant, run "
			"TALVANE_WRITE_BLUEPRINT_PINS=1 ctest -R Talvane.StandIn.BlueprintPins in the build directory."),
			UTF8_TO_TCHAR(InPath), *Difference));
	}
}

void FTalvaneBlueprintPinsSpec::ExpectNoLoss(const EModelNodeKind InKind)
{
	int32 Nodes = 0;
	for (const TCHAR* Package : PluginPackages)
	{
		for (const FModelNode& Node : BlueprintPinModel::BuildNodesForPackage(Package))
		{
			if (Node.Kind != InKind)
			{
				continue;
			}
			++Nodes;
			for (const FString& Problem : Node.Problems)
			{
				AddError(FString::Printf(TEXT("%s (%s): %s"), *Node.Title, *Node.Source, *Problem));
			}
		}
	}
	TestTrue(TEXT("the plugin has nodes of this kind"), Nodes > 0);
}

void FTalvaneBlueprintPinsSpec::Define()
{
	BeforeEach([this]()
	{
		// As the editor has them: both modules loaded, so their reflection is registered.
		TestNotNull(TEXT("Talvane loads"), FModuleManager::Get().LoadModule(TEXT("Talvane")));
		TestNotNull(TEXT("TalvaneSubsystem loads"), FModuleManager::Get().LoadModule(TEXT("TalvaneSubsystem")));
	});

	Describe(TEXT("the request nodes"), [this]()
	{
		It(TEXT("give every delegate parameter a pin that each firing writes"), [this]()
		{
			ExpectNoLoss(EModelNodeKind::AsyncAction);
		});

		It(TEXT("are the four nodes with one signature per node"), [this]()
		{
			// Every exec pin writes every data pin: three pins, and four on the tool loop node (OnToolCall).
			TArray<FString> Titles;
			for (const FModelNode& Node : BlueprintPinModel::BuildNodesForPackage(TEXT("/Script/TalvaneSubsystem")))
			{
				if (Node.Kind == EModelNodeKind::AsyncAction)
				{
					Titles.Add(Node.Title);
					for (const TCHAR* Pin : {TEXT("Response"), TEXT("Text"), TEXT("Reasoning"), TEXT("StatusCode"), TEXT("Body"), TEXT("ErrorMessage")})
					{
						const FModelPin* Found = Node.FindPin(Pin);
						TestTrue(FString::Printf(TEXT("%s has pin %s"), *Node.Title, Pin), Found != nullptr);
						const int32 ExecPins = Node.Title == TEXT("Nimbrel Chat With Tools") ? 4 : 3;
						TestEqual(FString::Printf(TEXT("%s: %s written by"), *Node.Title, Pin), Found ? Found->FilledBy.Num() : 0, ExecPins);
					}
				}
			}
			TestEqual(TEXT("request nodes"), FString::Join(Titles, TEXT(", ")), FString(TEXT("Nimbrel Chat, Nimbrel FIM, Nimbrel Local Chat, Nimbrel Chat With Tools")));
			const FModelNode* ToolLoop = nullptr;
			const TArray<FModelNode> Nodes = BlueprintPinModel::BuildNodesForPackage(TEXT("/Script/TalvaneSubsystem"));
			for (const FModelNode& Node : Nodes)
			{
				ToolLoop = Node.Title == TEXT("Nimbrel Chat With Tools") ? &Node : ToolLoop;
			}
			const FModelPin* ToolCall = ToolLoop ? ToolLoop->FindPin(TEXT("ToolCall")) : nullptr;
			TestEqual(TEXT("the tool call reaches every pin"), ToolCall ? ToolCall->FilledBy.Num() : 0, 4);
		});
	});

	Describe(TEXT("the subsystem's functions and events"), [this]()
	{
		It(TEXT("lose no datum"), [this]()
		{
			ExpectNoLoss(EModelNodeKind::CallFunction);
			ExpectNoLoss(EModelNodeKind::AssignedEvent);
		});
	});

	Describe(TEXT("docs/blueprint-pins.md"), [this]()
	{
		It(TEXT("lists the pins the editor makes"), [this]()
		{
			ExpectFileIsModel(DocumentPath, Document());
		});
	});

	Describe(TEXT("docs/async-node.dot"), [this]()
	{
		It(TEXT("draws the Nimbrel Chat node with the pins the editor makes"), [this]()
		{
			const FString Dot = Picture();
			if (TestFalse(TEXT("the model has the node"), Dot.IsEmpty()))
			{
				ExpectFileIsModel(PicturePath, Dot);
			}
		});
	});
}

#endif
