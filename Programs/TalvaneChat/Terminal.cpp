#include "Terminal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

std::atomic<bool> ChatTerminal::GInterrupted{false};

namespace
{
	void OnInterrupt(int)
	{
		ChatTerminal::GInterrupted.store(true);
	}
}

void ChatTerminal::InstallInterruptHandler()
{
	struct sigaction Action = {};
	Action.sa_handler = &OnInterrupt;
	sigemptyset(&Action.sa_mask);
	Action.sa_flags = 0;
	sigaction(SIGINT, &Action, nullptr);
}

bool ChatTerminal::SupportsColour()
{
	const char* NoColour = std::getenv("NO_COLOR");
	const char* Term = std::getenv("TERM");
	return isatty(STDOUT_FILENO) && !(NoColour && *NoColour) && !(Term && std::string(Term) == "dumb");
}

void ChatTerminal::Write(const FString& Text)
{
	Write(std::string(FTCHARToUTF8(*Text).Get()));
}

void ChatTerminal::Write(const std::string& Text)
{
	std::fwrite(Text.data(), 1, Text.size(), stdout);
	std::fflush(stdout);
}

void ChatTerminal::Write(const char* Text)
{
	Write(std::string(Text));
}

void ChatTerminal::WriteError(const std::string& Text)
{
	std::fputs(Text.c_str(), stderr);
	std::fflush(stderr);
}

const char* ChatTerminal::Dim(const bool bColour)
{
	return bColour ? "\x1b[2m" : "";
}

const char* ChatTerminal::Bold(const bool bColour)
{
	return bColour ? "\x1b[1m" : "";
}

const char* ChatTerminal::Reset(const bool bColour)
{
	return bColour ? "\x1b[0m" : "";
}
