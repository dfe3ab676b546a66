#include "HTTP/TalvaneHttpLogGuard.h"

#include "Http.h"
#include "TalvaneLog.h"

namespace TalvaneHttp
{
	void KeepHeadersOutOfHttpLog()
	{
		// Read on the game thread before the request starts; the HTTP thread writes the header block
		// only once it runs the request, by which time the category is lowered.
		if (!UE_LOG_ACTIVE(LogHttp, VeryVerbose))
		{
			return;
		}
		LogHttp.SetVerbosity(ELogVerbosity::Verbose);
		UE_LOG(TalvaneLog, Warning,
			TEXT("LogHttp was at VeryVerbose, where the engine writes every request header to the log, the API key among them; lowered to Verbose."));
	}
}
