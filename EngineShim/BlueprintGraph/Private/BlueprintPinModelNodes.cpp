// Every node the classes of a package give Blueprints, and the nodes as text.

#include "BlueprintPinModel.h"
#include "Kismet/BlueprintAsyncActionBase.h"
#include "Templates/Casts.h"
#include "UObject/Package.h"
#include "UObject/UObjectGlobals.h"
#include "UObject/UObjectHash.h"

namespace
{
	const TCHAR* KindText(const EModelNodeKind InKind)
	{
		switch (InKind)
		{
		case EModelNodeKind::AsyncAction:
			return TEXT("async action node (K2Node_AsyncAction)");
		case EModelNodeKind::AssignedEvent:
			return TEXT("event bound to an assignable delegate (K2Node_AddDelegate, K2Node_CustomEvent)");
		default:
			return TEXT("function call node (K2Node_CallFunction)");
		}
	}

	FString NotesOf(const FModelPin& InPin)
	{
		TArray<FString> Notes;
		if (InPin.bHidden)
		{
			Notes.Add(TEXT("hidden, filled in by the compiler"));
		}
		if (InPin.bByReference)
		{
			Notes.Add(TEXT("by reference"));
		}
		if (!InPin.DefaultValue.IsEmpty())
		{
			Notes.Add(FString(TEXT("default ")) + InPin.DefaultValue);
		}
		if (!InPin.FilledBy.IsEmpty())
		{
			Notes.Add(FString(TEXT("written by ")) + FString::Join(InPin.FilledBy, TEXT(", ")));
		}
		return FString::Join(Notes, TEXT("; "));
	}

	TArray<UClass*> ClassesOfPackage(const TCHAR* InPackageName)
	{
		// The engine registers a module's reflection as the module loads; the stand-in does it on request.
		ProcessNewlyLoadedUObjects();
		TArray<UClass*> Classes;
		if (const UPackage* Package = FindPackage(nullptr, InPackageName))
		{
			ForEachObjectWithPackage(
				Package,
				[&Classes](UObject* Object)
				{
					if (UClass* Class = Cast<UClass>(Object))
					{
						Classes.Add(Class);
					}
					return true;
				},
				false);
		}
		Classes.Sort(
			[](const UClass* A, const UClass* B)
			{
				return A->GetName() < B->GetName();
			});
		return Classes;
	}
}

TArray<FModelNode> BlueprintPinModel::BuildNodesForPackage(const TCHAR* InPackageName)
{
	TArray<FModelNode> Nodes;
	for (const UClass* Class : ClassesOfPackage(InPackageName))
	{
		for (TFieldIterator<UFunction> It(Class, EFieldIteratorFlags::ExcludeSuper); It; ++It)
		{
			if (IsAsyncActionFactory(*Class, **It))
			{
				Nodes.Add(BuildAsyncActionNode(**It));
			}
			else if (CanUserKismetCallFunction(**It))
			{
				Nodes.Add(BuildCallFunctionNode(**It));
			}
		}
		// An async action's delegates are its node's exec pins (above); other classes' assignable
		// delegates are events a Blueprint binds.
		if (Class->IsChildOf(UBlueprintAsyncActionBase::StaticClass()))
		{
			continue;
		}
		for (TFieldIterator<FMulticastDelegateProperty> It(Class, EFieldIteratorFlags::ExcludeSuper); It; ++It)
		{
			if (It->HasAnyPropertyFlags(CPF_BlueprintAssignable))
			{
				Nodes.Add(BuildAssignedEventNode(**It));
			}
		}
	}
	return Nodes;
}

FString BlueprintPinModel::DescribeNode(const FModelNode& InNode)
{
	FString Text = FString::Printf(TEXT("### %s\n\n`%s`, %s.\n\n"), *InNode.Title, *InNode.Source, KindText(InNode.Kind));
	Text += TEXT("| Side | Pin | Shown as | Type | Notes |\n|---|---|---|---|---|\n");
	for (const EModelPinDirection Direction : {EModelPinDirection::Input, EModelPinDirection::Output})
	{
		for (const FModelPin& Pin : InNode.Pins)
		{
			if (Pin.Direction == Direction)
			{
				Text +=
					FString::Printf(TEXT("| %s | %s | %s | %s | %s |\n"), Direction == EModelPinDirection::Input ? TEXT("in") : TEXT("out"),
						*Pin.Name, *Pin.DisplayName, *Pin.Type, *NotesOf(Pin));
			}
		}
	}
	Text += TEXT("\n");
	if (InNode.Problems.IsEmpty())
	{
		return Text + TEXT("Every datum reaches a Blueprint.\n\n");
	}
	for (const FString& Problem : InNode.Problems)
	{
		Text += FString(TEXT("- **Lost:** ")) + Problem + TEXT("\n");
	}
	return Text + TEXT("\n");
}
