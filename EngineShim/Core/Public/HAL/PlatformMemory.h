#pragma once

#include <cstdio>
#include <unistd.h>

#include "CoreTypes.h"

/** What the engine's FPlatformMemoryStats reports that a caller here reads. */
struct FPlatformMemoryStats
{
	/** Resident memory of the process, in bytes. */
	uint64 UsedPhysical = 0;
	/** Virtual memory of the process, in bytes. */
	uint64 UsedVirtual = 0;
};

/** The process's memory, as the engine's Linux platform layer reads it from /proc. */
struct FPlatformMemory
{
	static FPlatformMemoryStats GetStats()
	{
		FPlatformMemoryStats Stats;
		// statm: total and resident size, in pages.
		if (FILE* const File = std::fopen("/proc/self/statm", "r"))
		{
			unsigned long long TotalPages = 0;
			unsigned long long ResidentPages = 0;
			if (std::fscanf(File, "%llu %llu", &TotalPages, &ResidentPages) == 2)
			{
				const uint64 PageBytes = static_cast<uint64>(sysconf(_SC_PAGESIZE));
				Stats.UsedVirtual = TotalPages * PageBytes;
				Stats.UsedPhysical = ResidentPages * PageBytes;
			}
			std::fclose(File);
		}
		return Stats;
	}
};
