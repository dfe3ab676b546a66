#pragma once

#include <atomic>
#include <string>

#include "CoreMinimal.h"

/** Terminal output and Ctrl-C handling for the chat program. */
namespace ChatTerminal
{
	/** Set by Ctrl-C; the chat loop turns it into a cancel while an answer arrives. */
	extern std::atomic<bool> GInterrupted;

	/** Installs the Ctrl-C handler (without restarting reads, so a prompt sees the interruption). */
	void InstallInterruptHandler();

	/** Whether standard output is a terminal that takes colour (and NO_COLOR is not set). */
	bool SupportsColour();

	void Write(const FString& Text);
	void Write(const std::string& Text);
	void Write(const char* Text);
	void WriteError(const std::string& Text);

	/** Escape sequences, or nothing when colour is off. */
	const char* Dim(bool bColour);
	const char* Bold(bool bColour);
	const char* Reset(bool bColour);
}
