#pragma once

// The README's picture of a request node, drawn from the pins the model makes (Graphviz source).

#include "BlueprintPinModel.h"

namespace TalvaneBlueprintPinsPicture
{
	/** The colour the editor gives a pin of this type, near enough. */
	inline const TCHAR* PinColour(const FModelPin& InPin)
	{
		if (InPin.IsExec())
		{
			return TEXT("white");
		}
		if (InPin.Type == TEXT("FString") || InPin.Type.StartsWith(TEXT("TMap")))
		{
			return TEXT("#f4a3c8");
		}
		if (InPin.Type == TEXT("int32"))
		{
			return TEXT("#9fe8a0");
		}
		return InPin.Type.EndsWith(TEXT("*")) ? TEXT("#9fc5e8") : TEXT("#6fa8dc");
	}

	/** One table cell: the pin's name as the editor shows it, with its port for the notes' edges. */
	inline FString Cell(const FModelPin* InPin, const bool bInOutput)
	{
		if (!InPin)
		{
			return TEXT("<td></td>");
		}
		FString Label = InPin->DisplayName;
		if (InPin->IsExec())
		{
			Label = bInOutput ? (Label.IsEmpty() ? FString(TEXT("&#9655;")) : Label + TEXT(" &#9655;"))
							  : (Label.IsEmpty() ? FString(TEXT("&#9655;")) : FString(TEXT("&#9655; ")) + Label);
		}
		else if (InPin->bByReference)
		{
			Label += TEXT(" (by ref)");
		}
		return FString::Printf(TEXT("<td port=\"%s\" align=\"%s\"><font color=\"%s\">%s</font></td>"), *InPin->Name,
			bInOutput ? TEXT("right") : TEXT("left"), PinColour(*InPin), *Label);
	}

	/** What the notes say about the data the node's pins carry; a note is drawn only where the model has its pin. */
	struct FNote
	{
		const TCHAR* Pin;
		const TCHAR* Style;
		const TCHAR* Text;
	};

	inline FString Picture(const FModelNode& InNode)
	{
		TArray<const FModelPin*> Inputs;
		TArray<const FModelPin*> Outputs;
		for (const FModelPin& Pin : InNode.Pins)
		{
			if (!Pin.bHidden)
			{
				(Pin.Direction == EModelPinDirection::Input ? Inputs : Outputs).Add(&Pin);
			}
		}
		FString Dot = FString::Printf(
			TEXT("// The pins of the \"%s\" request node, as the pin model of Editor/BlueprintGraph makes them.\n"
				 "// Written by Talvane.StandIn.BlueprintPins (see docs/blueprint-pins.md); rendered with\n"
				 "//   dot -Tsvg docs/async-node.dot -o docs/async-node.svg\n"
				 "digraph AsyncNode\n{\n"
				 "\tgraph [rankdir=LR, bgcolor=\"transparent\", fontname=\"Helvetica\", nodesep=0.3];\n"
				 "\tnode [fontname=\"Helvetica\", fontsize=11];\n\tedge [fontname=\"Helvetica\", fontsize=10, color=\"#555555\"];\n\n"
				 "\tRequestNode [shape=plaintext, label=<\n"
				 "\t\t<table border=\"1\" cellborder=\"0\" cellspacing=\"0\" cellpadding=\"6\" bgcolor=\"#2b2b2b\" color=\"#8a8a8a\">\n"
				 "\t\t\t<tr><td colspan=\"2\" bgcolor=\"#1f4e79\" align=\"left\"><font color=\"white\"><b>%s</b></font></td></tr>\n"),
			*InNode.Title, *InNode.Title);
		for (int32 Row = 0; Row < FMath::Max(Inputs.Num(), Outputs.Num()); ++Row)
		{
			Dot += FString(TEXT("\t\t\t<tr>")) + Cell(Inputs.IsValidIndex(Row) ? Inputs[Row] : nullptr, false) +
				   Cell(Outputs.IsValidIndex(Row) ? Outputs[Row] : nullptr, true) + TEXT("</tr>\n");
		}
		Dot += TEXT("\t\t</table>\n\t>];\n\n");
		const FNote Notes[] = {
			{TEXT("InRequest"), TEXT("fillcolor=\"#fff8dc\""),
				TEXT("the conversation record: the question is\\nappended, and the answer once whole")},
			{TEXT("Response"), TEXT("fillcolor=\"#e8f4fd\""),
				TEXT("on success the parsed answer: content, reasoning,\\ntool calls, finish reason, usage;\\nempty on progress and "
					 "failure")},
			{TEXT("Text"), TEXT("fillcolor=\"#eeeeee\""),
				TEXT("Text, Reasoning: so far on progress\\n(only the new text in delta mode),\\nwhole on success")},
			{TEXT("StatusCode"), TEXT("fillcolor=\"#fdecea\""),
				TEXT("Status Code, Body: once the request ended\\n(0 when no answer arrived);\\nError Message: on failure")},
			{TEXT("AsyncTaskProxy"), TEXT("fillcolor=\"#eeeeee\""),
				TEXT("Cancel on it: On Failure fires with\\n\\\"The request was cancelled.\\\"")},
		};
		for (const FNote& Note : Notes)
		{
			if (InNode.FindPin(Note.Pin))
			{
				const bool bInput = InNode.FindPin(Note.Pin)->Direction == EModelPinDirection::Input;
				Dot += FString::Printf(TEXT("\tNote%s [shape=note, style=filled, %s, label=\"%s\"];\n"), Note.Pin, Note.Style, Note.Text);
				Dot += bInput ? FString::Printf(TEXT("\tNote%s -> RequestNode:%s;\n"), Note.Pin, Note.Pin)
							  : FString::Printf(TEXT("\tRequestNode:%s -> Note%s;\n"), Note.Pin, Note.Pin);
			}
		}
		return Dot + TEXT("}\n");
	}
}
