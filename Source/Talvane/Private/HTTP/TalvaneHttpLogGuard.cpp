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
		// The macro, not LogHttp.SetVerbosity: a Test or Shipping game has no log, and every category
		// is then an empty struct with no member to call (the macro compiles to nothing there).
		UE_SET_LOG_VERBOSITY(LogHttp, Verbose);
		UE_LOG(TalvaneLog, Warning,
			TEXT("LogHttp was at VeryVerbose, where the engine writes every request header to the log, the API key among them; lowered to Verbose."));
	}
}
