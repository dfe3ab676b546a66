#include "ChatTimings.h"

#include <cstdio>

namespace
{
	std::string Seconds(const float InSeconds)
	{
		if (InSeconds < 0.0f)
		{
			return "-";
		}
		char Text[32];
		std::snprintf(Text, sizeof(Text), "%.3f s", InSeconds);
		return Text;
	}
}

std::string DescribeTimings(const FTalvaneRequestTimings& InTimings)
{
	std::string Line = "(timings: first byte " + Seconds(InTimings.SecondsToFirstByte) + ", first text " + Seconds(InTimings.SecondsToFirstText)
		+ ", done " + Seconds(InTimings.SecondsToCompletion);
	if (InTimings.CharactersPerSecond > 0.0f)
	{
		char Rate[48];
		std::snprintf(Rate, sizeof(Rate), ", %.1f characters/s", InTimings.CharactersPerSecond);
		Line += Rate;
	}
	if (InTimings.bHasUsage)
	{
		Line += "; tokens: " + std::to_string(InTimings.Usage.PromptTokens) + " prompt, " + std::to_string(InTimings.Usage.CompletionTokens)
			+ " completion, " + std::to_string(InTimings.Usage.TotalTokens) + " total";
	}
	return Line + ")";
}
