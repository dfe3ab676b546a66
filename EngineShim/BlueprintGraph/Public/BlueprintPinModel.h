#pragma once

// A model of the pins the Blueprint editor (Editor/BlueprintGraph) builds from reflection, for the
// stand-in, which cannot run the editor. Each rule names the engine file and function it follows.
// The model assumes the node is placed in the event graph of a Blueprint whose native class has a
// world (an actor, a component, a widget): the kind of graph the plugin's nodes are made for.

#include "CoreMinimal.h"
#include "UObject/Class.h"
#include "UObject/UnrealType.h"

/** Which side of the node a pin is on. */
enum class EModelPinDirection : uint8
{
	Input,
	Output,
};

/** One pin, as UEdGraphNode::CreatePin makes it. */
struct BLUEPRINTGRAPH_API FModelPin
{
	/** The pin name: the parameter's or delegate's name, or one of the schema's (execute, then, self). */
	FString Name;
	/** What the editor writes beside the pin: the friendly name, else the name made readable. */
	FString DisplayName;
	EModelPinDirection Direction = EModelPinDirection::Input;
	/** "exec", or the C++ type of the property the pin stands for ("FString", "TArray<FString>"). */
	FString Type;
	/** A non-const reference input: the Blueprint passes its variable itself (a diamond pin). */
	bool bByReference = false;
	/** Hidden and filled in by the compiler (world context, self of a static function). */
	bool bHidden = false;
	/** The input's default when nothing is connected, from the C++ default argument. */
	FString DefaultValue;
	/** For an async node's data output: the delegates whose firing writes it. */
	TArray<FString> FilledBy;

	bool IsExec() const { return Type == TEXT("exec"); }
};

/** The kinds of node the model builds. */
enum class EModelNodeKind : uint8
{
	/** UK2Node_AsyncAction, from a static factory of a UBlueprintAsyncActionBase subclass. */
	AsyncAction,
	/** UK2Node_CallFunction, from a BlueprintCallable or BlueprintPure function. */
	CallFunction,
	/** The custom event bound to a BlueprintAssignable multicast delegate (Assign / Bind Event). */
	AssignedEvent,
};

/** A node and the data that would not reach a Blueprint through it. */
struct BLUEPRINTGRAPH_API FModelNode
{
	EModelNodeKind Kind = EModelNodeKind::CallFunction;
	/** The title the editor gives it (DisplayName metadata, else the function name made readable). */
	FString Title;
	/** Where it comes from: "UClass::Function" or "UClass::Delegate". */
	FString Source;
	TArray<FModelPin> Pins;
	/** Each datum a Blueprint cannot read, or reads stale, or a node the Blueprint compiler refuses. */
	TArray<FString> Problems;

	const FModelPin* FindPin(const FString& InName) const;
};

namespace BlueprintPinModel
{
	/** FBlueprintActionDatabaseRegistrar::RegisterClassFactoryActions: is this an async action factory of its class? */
	BLUEPRINTGRAPH_API bool IsAsyncActionFactory(const UClass& InClass, const UFunction& InFunction);

	/** UEdGraphSchema_K2::CanUserKismetCallFunction: does the function get a call node of its own? */
	BLUEPRINTGRAPH_API bool CanUserKismetCallFunction(const UFunction& InFunction);

	/** UK2Node_BaseAsyncTask::AllocateDefaultPins (and ExpandNode for what each delegate fills). */
	BLUEPRINTGRAPH_API FModelNode BuildAsyncActionNode(const UFunction& InFactory);

	/** UK2Node_CallFunction::CreatePinsForFunctionCall. */
	BLUEPRINTGRAPH_API FModelNode BuildCallFunctionNode(const UFunction& InFunction);

	/** The event a Blueprint binds to an assignable delegate (UK2Node_CustomEvent with the signature's pins). */
	BLUEPRINTGRAPH_API FModelNode BuildAssignedEventNode(const FMulticastDelegateProperty& InDelegate);

	/** Every node the classes of one package give Blueprints: async actions, callable functions, assignable delegates. */
	BLUEPRINTGRAPH_API TArray<FModelNode> BuildNodesForPackage(const TCHAR* InPackageName);

	/** The node as a Markdown section: its pins in a table, then its problems. */
	BLUEPRINTGRAPH_API FString DescribeNode(const FModelNode& InNode);

	/** FName::NameToDisplayString: "InContent" as "In Content", "bIncludeLast" as "Include Last". */
	BLUEPRINTGRAPH_API FString NameToDisplayString(const FString& InName, bool bIsBool);

	/** The type a pin takes for a property: its C++ type with template arguments (UEdGraphSchema_K2::ConvertPropertyToPinType, as text). */
	BLUEPRINTGRAPH_API FString PinTypeOf(const FProperty& InProperty);
}
