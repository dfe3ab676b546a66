#pragma once

#include "CoreMinimal.h"

namespace TalvaneHttp
{
	/**
	 * Keeps the API key out of the engine's HTTP log. At VeryVerbose, LogHttp writes the header block
	 * of every request as libcurl sends it, "Authorization: Bearer <key>" included, so before a request
	 * goes out a VeryVerbose LogHttp is lowered to Verbose (which still names every other header),
	 * with one warning in TalvaneLog each time it had to be lowered.
	 */
	void KeepHeadersOutOfHttpLog();
}
