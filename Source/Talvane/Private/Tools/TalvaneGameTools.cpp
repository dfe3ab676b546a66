#include "TalvaneGameTools.h"

#include "Policies/CondensedJsonPrintPolicy.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"
#include "Serialization/JsonWriter.h"
#include "TalvaneLog.h"
#include "Tools/TalvaneToolParms.h"
#include "Tools/TalvaneToolSchema.h"
#include "Tools/TalvaneToolValues.h"
#include "UObject/Class.h"
#include "UObject/Object.h"

namespace
{
	/** How much of the model's text a log line or an error text repeats. */
	constexpr int32 MaxEchoedLength = 64;

	FString ToCondensedJson(const TSharedRef<FJsonObject>& InObject)
	{
		FString Json;
		const TSharedRef<TJsonWriter<TCHAR, TCondensedJsonPrintPolicy<TCHAR>>> Writer =
			TJsonWriterFactory<TCHAR, TCondensedJsonPrintPolicy<TCHAR>>::Create(&Json);
		FJsonSerializer::Serialize(InObject, Writer);
		return Json;
	}

	FString DescribeFunction(const UFunction& InFunction)
	{
		FString Description;
#if WITH_EDITORONLY_DATA
		Description = InFunction.GetMetaData(TEXT("ToolTip"));
#endif
		// A packaged game has no tooltips; the name is all reflection knows then.
		return Description.IsEmpty() ? TEXT("Calls the game function ") + InFunction.GetName() + TEXT(".") : Description;
	}

	/** The listed function of the target whose name the call gives, in the spelling the tools were offered with. */
	UFunction* FindListedFunction(const UObject& InTarget, const TArray<FName>& InFunctionNames, const FString& InName)
	{
		for (const FName& Name : InFunctionNames)
		{
			UFunction* Function = InTarget.FindFunction(Name);
			if (Function && Function->GetName().Equals(InName, ESearchCase::CaseSensitive))
			{
				return Function;
			}
		}
		return nullptr;
	}

	FString ListNames(const TArray<FName>& InFunctionNames)
	{
		TArray<FString> Names;
		for (const FName& Name : InFunctionNames)
		{
			Names.Add(Name.ToString());
		}
		return FString::Join(Names, TEXT(", "));
	}

	/**
	 * True when objects and arrays nest no deeper than the arguments of a tool can. The engine's JSON
	 * reader has no depth limit, and a tree nested tens of thousands deep is destroyed by recursion,
	 * so such text is refused before it is read.
	 */
	bool IsShallowEnough(const FString& InText)
	{
		constexpr int32 MaxJsonDepth = 2 * TalvaneGameTools::MaxNestingDepth + 2;
		int32 Depth = 0;
		bool bInString = false;
		bool bEscaped = false;
		for (const TCHAR Char : InText)
		{
			if (bInString)
			{
				bInString = bEscaped || Char != TEXT('"');
				bEscaped = !bEscaped && Char == TEXT('\\');
			}
			else if (Char == TEXT('"'))
			{
				bInString = true;
			}
			else if (Char == TEXT('{') || Char == TEXT('['))
			{
				if (++Depth > MaxJsonDepth)
				{
					return false;
				}
			}
			else if (Char == TEXT('}') || Char == TEXT(']'))
			{
				--Depth;
			}
		}
		return true;
	}

	bool ParseArguments(const FString& InText, TSharedPtr<FJsonObject>& OutArguments)
	{
		// A call to a function without inputs may come without any arguments text.
		if (InText.TrimStartAndEnd().IsEmpty())
		{
			OutArguments = MakeShared<FJsonObject>();
			return true;
		}
		return FJsonSerializer::Deserialize(TJsonReaderFactory<TCHAR>::Create(InText), OutArguments) && OutArguments.IsValid();
	}

	bool Refuse(const FNimbrelChatResponseToolCall& InCall, const FString& InWhy, FString& OutContent)
	{
		UE_LOG(TalvaneLog, Warning, TEXT("Tool call \"%s\" (%s) not made: %s"), *InCall.Function.Name.Left(MaxEchoedLength),
			*InCall.ID.Left(MaxEchoedLength), *InWhy);
		OutContent = TEXT("Error: ") + InWhy;
		return false;
	}
}

bool TalvaneGameTools::MakeTools(
	const UObject* InTarget, const TArray<FName>& InFunctionNames, TArray<FNimbrelTools>& OutTools, FString& OutError)
{
	TArray<FNimbrelTools> Tools;
	TArray<FString> Problems;
	for (const FName& Name : InFunctionNames)
	{
		const UFunction* Function = IsValid(InTarget) ? InTarget->FindFunction(Name) : nullptr;
		FString Why;
		if (!Function)
		{
			Why = TEXT("the object has no function of that name");
		}
		else if (Tools.ContainsByPredicate(
					 [Function](const FNimbrelTools& Tool)
					 {
						 return Tool.Function.Name == Function->GetName();
					 }))
		{
			Why = TEXT("listed twice");
		}
		else if (TalvaneToolSchema::CanExpressFunction(*Function, Why))
		{
			FNimbrelTools& Tool = Tools.AddDefaulted_GetRef();
			Tool.Function.Name = Function->GetName();
			Tool.Function.Description = DescribeFunction(*Function);
			Tool.Function.Parameters = ToCondensedJson(TalvaneToolSchema::MakeArgumentsSchema(*Function));
			continue;
		}
		Problems.Add(Name.ToString() + TEXT(": ") + Why);
	}
	if (!IsValid(InTarget) || Problems.Num() > 0)
	{
		OutError = IsValid(InTarget) ? TEXT("Cannot offer these functions of ") + InTarget->GetName() + TEXT(" as tools: ") +
										   FString::Join(Problems, TEXT("; "))
									 : FString(TEXT("Cannot make tools without a game object."));
		UE_LOG(TalvaneLog, Warning, TEXT("%s"), *OutError);
		return false;
	}
	OutTools.Append(Tools);
	return true;
}

bool TalvaneGameTools::DispatchToolCall(const TWeakObjectPtr<UObject>& InTarget, const TArray<FName>& InFunctionNames,
	const FNimbrelChatResponseToolCall& InCall, FString& OutContent)
{
	if (!IsInGameThread())
	{
		return Refuse(InCall, TEXT("game functions are called on the game thread only; nothing was called."), OutContent);
	}
	UObject* Target = InTarget.Get();
	if (!Target)
	{
		return Refuse(InCall, TEXT("the game object behind this tool is gone; nothing was called."), OutContent);
	}
	UFunction* Function = FindListedFunction(*Target, InFunctionNames, InCall.Function.Name);
	FString Why;
	if (!Function)
	{
		return Refuse(InCall,
			TEXT("there is no tool named \"") + InCall.Function.Name.Left(MaxEchoedLength) + TEXT("\"; the tools are: ") +
				ListNames(InFunctionNames) + TEXT("."),
			OutContent);
	}
	if (!TalvaneToolSchema::CanExpressFunction(*Function, Why))
	{
		return Refuse(InCall, Function->GetName() + TEXT(" cannot be called as a tool (") + Why + TEXT(")."), OutContent);
	}
	TSharedPtr<FJsonObject> Arguments;
	if (InCall.Function.Arguments.Len() > MaxArgumentsLength)
	{
		return Refuse(InCall, FString::Printf(TEXT("the arguments are longer than %d characters."), MaxArgumentsLength), OutContent);
	}
	if (!IsShallowEnough(InCall.Function.Arguments))
	{
		return Refuse(InCall, TEXT("the arguments nest deeper than any tool's parameters do."), OutContent);
	}
	if (!ParseArguments(InCall.Function.Arguments, Arguments))
	{
		return Refuse(InCall, TEXT("the arguments are not one JSON object."), OutContent);
	}
	FTalvaneToolParms Parms(*Function);
	if (!TalvaneToolValues::JsonToArguments(*Arguments, *Function, Parms.Get(), Why))
	{
		return Refuse(InCall, TEXT("argument ") + Why + TEXT("; nothing was called."), OutContent);
	}
	Target->ProcessEvent(Function, Parms.Get());
	OutContent = ToCondensedJson(TalvaneToolValues::ResultsToJson(*Function, Parms.Get()));
	UE_LOG(TalvaneLog, Log, TEXT("Tool call \"%s\" (%s) made: %s"), *Function->GetName(), *InCall.ID.Left(MaxEchoedLength), *OutContent);
	return true;
}
