// talvane-chat: a terminal chat through the Talvane plugin, run the way a game runs it.

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "ChatSession.h"
#include "Terminal.h"

namespace
{
	struct FCommandLine
	{
		std::string Model = "chat";
		std::string ModelName;
		bool bNoStream = false;
		bool bDelta = false;
		bool bStatements = false;
		bool bInteractive = false;
		bool bVerbose = false;
		bool bNode = false;
		bool bTools = false;
		int Retries = -1;
		std::string Prompt;
		std::string FimPrompt;
		std::string Suffix;
		std::string Local;
		std::string ChatID;
		std::string BaseURL;
		std::string APIKey;
		std::string System;
		std::vector<std::string> Headers;
	};

	FString ToFString(const std::string& Text)
	{
		return FString(FUTF8ToTCHAR(Text.c_str()).Get());
	}

	bool ParseModel(const std::string& Name, ENimbrelModel& OutModel)
	{
		if (Name == "chat" || Name == "nimbrel-chat")
		{
			OutModel = ENimbrelModel::NIMBREL_CHAT;
			return true;
		}
		if (Name == "reasoner" || Name == "nimbrel-reasoner")
		{
			OutModel = ENimbrelModel::NIMBREL_REASONER;
			return true;
		}
		return false;
	}

	void AddOptions(CLI::App& App, FCommandLine& Line)
	{
		App.add_flag("-i,--interactive", Line.bInteractive, "Chat in a read-eval loop: /reset clears the history, /model chat|reasoner "
			"switches the model, /quit leaves; Ctrl-C during an answer cancels it");
		App.add_option("-p,--prompt", Line.Prompt, "Ask one question, print the answer and exit");
		App.add_option("-m,--model", Line.Model, "Model: chat or reasoner (nimbrel-chat, nimbrel-reasoner)")->capture_default_str();
		App.add_option("--model-name", Line.ModelName, "Send NAME as the model instead of --model's (for another server that speaks this "
			"chat format, with --base-url); the endpoint still follows --model");
		App.add_flag("--no-stream", Line.bNoStream, "Ask for the whole answer at once instead of a stream");
		App.add_flag("--delta", Line.bDelta, "Delta mode: progress reports carry only the new text");
		App.add_flag("--statements", Line.bStatements, "Print each finished sentence on its own line, as a subtitle or speech system would take them");
		App.add_option("--fim", Line.FimPrompt, "Fill-in-the-middle: complete the text after PROMPT");
		App.add_option("--suffix", Line.Suffix, "With --fim: the text after the gap");
		App.add_option("--local", Line.Local, "Talk to a local chat server at HOST[:PORT] (plain HTTP) instead of the cloud service");
		App.add_option("--chat-id", Line.ChatID, "With --local: the chat id on that server");
		App.add_option("--base-url", Line.BaseURL, "Cloud service base URL (default: the embedded reference server)");
		App.add_option("--api-key", Line.APIKey, "API key (default: the NIMBREL_API_KEY environment variable)");
		App.add_option("--system", Line.System, "A system message that starts the conversation");
		App.add_option("-H,--header", Line.Headers, "Custom metadata header NAME=VALUE, sent with every request (repeatable)");
		App.add_flag("-v,--verbose", Line.bVerbose, "Also show the plugin's warning and error log lines, and each answer's timings and token usage");
		App.add_flag("--tools", Line.bTools, "Give the model two functions of a small game object (a die roll and an innkeeper's price list) "
			"through the tool loop; each call is printed with its arguments and result, then the answer");
		App.add_flag("--node", Line.bNode, "Send each request through its own request node (the Blueprint async node) instead of the subsystem's delegates");
		App.add_option("--retries", Line.Retries, "Send a request that failed before any answer arrived (429, 5xx, no connection) again, up to N times ([Talvane] MaxRetries)");
	}

	bool MakeOptions(const FCommandLine& Line, FChatOptions& OutOptions, std::string& OutError)
	{
		if (!ParseModel(Line.Model, OutOptions.Model))
		{
			OutError = "unknown model '" + Line.Model + "' (use chat or reasoner)";
			return false;
		}
		if (Line.Retries < -1 || Line.Retries > 100)
		{
			OutError = "--retries takes a number from 0 to 100";
			return false;
		}
		if (!Line.Local.empty() && Line.ChatID.empty())
		{
			OutError = "--local needs --chat-id";
			return false;
		}
		OutOptions.bStream = !Line.bNoStream;
		OutOptions.bDelta = Line.bDelta;
		OutOptions.bStatements = Line.bStatements;
		OutOptions.bVerbose = Line.bVerbose;
		OutOptions.bNode = Line.bNode;
		OutOptions.bTools = Line.bTools;
		OutOptions.MaxRetries = Line.Retries;
		OutOptions.bColour = ChatTerminal::SupportsColour();
		OutOptions.LocalHost = ToFString(Line.Local);
		OutOptions.ChatID = ToFString(Line.ChatID);
		OutOptions.BaseURL = ToFString(Line.BaseURL);
		OutOptions.ModelName = ToFString(Line.ModelName);
		const char* EnvironmentKey = std::getenv("NIMBREL_API_KEY");
		OutOptions.APIKey = ToFString(!Line.APIKey.empty() ? Line.APIKey : (EnvironmentKey ? EnvironmentKey : ""));
		OutOptions.SystemPrompt = ToFString(Line.System);
		for (const std::string& Header : Line.Headers)
		{
			const std::string::size_type Equals = Header.find('=');
			if (Equals == std::string::npos || Equals == 0)
			{
				OutError = "--header takes NAME=VALUE, not '" + Header + "'";
				return false;
			}
			OutOptions.Headers.Add(ToFString(Header.substr(0, Equals)), ToFString(Header.substr(Equals + 1)));
		}
		if (Line.bTools && !Line.Local.empty())
		{
			OutError = "--tools needs the cloud service: a local chat record offers no tools";
			return false;
		}
		if (Line.bTools && Line.BaseURL.empty() && !OutOptions.Headers.Contains(TEXT("X-Talvane-Scenario")))
		{
			// The embedded reference server plays a model that calls tools only in its tools scenario.
			OutOptions.Headers.Add(TEXT("X-Talvane-Scenario"), TEXT("tools"));
		}
		return true;
	}

	void ShowQuestion(const FChatOptions& Options, const std::string& Question)
	{
		ChatTerminal::Write(std::string(ChatTerminal::Bold(Options.bColour)) + "you> " + ChatTerminal::Reset(Options.bColour) + Question + "\n");
		ChatTerminal::Write(std::string(ChatTerminal::Bold(Options.bColour)) + "nimbrel> " + ChatTerminal::Reset(Options.bColour));
	}

	int Fail(const std::string& Reason)
	{
		ChatTerminal::WriteError("talvane-chat: " + Reason + "\n");
		return 1;
	}

	int RunTurn(FChatSession& Session, const FChatOptions& Options, const std::string& Question)
	{
		ShowQuestion(Options, Question);
		const ETurnResult Result = Session.Ask(ToFString(Question));
		if (Result == ETurnResult::Cancelled)
		{
			return Fail("cancelled");
		}
		return Result == ETurnResult::Success ? 0 : Fail(Session.GetLastError());
	}

	/** Two turns with the reasoning model and a system message: streaming, reasoning and history at once. */
	int RunScripted(FChatSession& Session, const FChatOptions& Options)
	{
		const char* const Questions[] = {
			"Greetings, traveller! Which roads lead to the northern keep?",
			"Thanks. What did I ask you a moment ago?",
		};
		for (const char* Question : Questions)
		{
			if (const int Status = RunTurn(Session, Options, Question))
			{
				return Status;
			}
		}
		return 0;
	}

	int RunInteractive(FChatSession& Session, FChatOptions& Options)
	{
		ChatTerminal::Write("Type a message; /reset, /model chat|reasoner, /quit. Ctrl-C cancels an answer.\n");
		std::string Line;
		for (;;)
		{
			ChatTerminal::Write("> ");
			ChatTerminal::GInterrupted.store(false);
			if (!std::getline(std::cin, Line))
			{
				ChatTerminal::Write("\n");
				return 0;
			}
			if (Line == "/quit" || Line == "/exit")
			{
				return 0;
			}
			if (Line == "/reset")
			{
				Session.ResetHistory();
				ChatTerminal::Write("(history cleared)\n");
				continue;
			}
			if (Line.rfind("/model", 0) == 0)
			{
				ENimbrelModel Model = Options.Model;
				const std::string Name = Line.size() > 7 ? Line.substr(7) : "";
				if (ParseModel(Name, Model))
				{
					Session.SetModel(Model);
					ChatTerminal::Write("(model: " + Name + ")\n");
				}
				else
				{
					ChatTerminal::Write("(use /model chat or /model reasoner)\n");
				}
				continue;
			}
			if (Line.empty())
			{
				continue;
			}
			ChatTerminal::Write(std::string(ChatTerminal::Bold(Options.bColour)) + "nimbrel> " + ChatTerminal::Reset(Options.bColour));
			const ETurnResult Result = Session.Ask(ToFString(Line));
			if (Result == ETurnResult::Cancelled)
			{
				ChatTerminal::Write("(cancelled)\n");
			}
			else if (Result == ETurnResult::Failure)
			{
				ChatTerminal::Write("(error: " + Session.GetLastError() + ")\n");
			}
		}
	}

	int RunFim(FChatSession& Session, const FChatOptions& Options, const FCommandLine& Line)
	{
		ShowQuestion(Options, Line.FimPrompt + " ... " + Line.Suffix);
		const ETurnResult Result = Session.Fill(ToFString(Line.FimPrompt), ToFString(Line.Suffix));
		return Result == ETurnResult::Success ? 0 : Fail(Result == ETurnResult::Cancelled ? "cancelled" : Session.GetLastError());
	}
}

int main(int Argc, char** Argv)
{
	CLI::App App{"talvane-chat: chat through the Talvane plugin. With no options it runs a short scripted conversation "
		"against an embedded reference server on 127.0.0.1."};
	FCommandLine Line;
	AddOptions(App, Line);
	CLI11_PARSE(App, Argc, Argv);

	FChatOptions Options;
	std::string Error;
	const bool bScripted = !Line.bInteractive && Line.Prompt.empty() && Line.FimPrompt.empty();
	if (bScripted)
	{
		Line.Model = App.count("--model") > 0 ? Line.Model : "reasoner";
		Line.System = Line.System.empty() ? "You are the innkeeper of a fantasy tavern." : Line.System;
	}
	if (!MakeOptions(Line, Options, Error))
	{
		return Fail(Error);
	}
	FChatSession Session(Options);
	if (!Session.Start(Error))
	{
		return Fail(Error);
	}
	ChatTerminal::InstallInterruptHandler();
	int Status = 0;
	if (!Line.FimPrompt.empty())
	{
		Status = RunFim(Session, Options, Line);
	}
	else if (Line.bInteractive)
	{
		Status = RunInteractive(Session, Options);
	}
	else if (!Line.Prompt.empty())
	{
		Status = RunTurn(Session, Options, Line.Prompt);
	}
	else
	{
		Status = RunScripted(Session, Options);
	}
	Session.Stop();
	return Status;
}
