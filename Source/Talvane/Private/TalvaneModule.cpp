#include "TalvaneModule.h"

#include "HttpManager.h"
#include "HttpModule.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "TalvaneLog.h"

DEFINE_LOG_CATEGORY(TalvaneLog);

namespace
{
	/** Raises one flush limit of the engine's HTTP manager to Floor; returns whether it wrote. */
	bool RaiseFlushLimit(const TCHAR* Key, const double StartValue, const double Floor)
	{
		double Value = StartValue;
		GConfig->GetDouble(TEXT("HTTP"), Key, Value, GEngineIni);
		// Zero or less means no limit, and a larger one already suits us: both stay as they are.
		if (Value > 0.0 && Value <= Floor)
		{
			GConfig->SetDouble(TEXT("HTTP"), Key, Floor, GEngineIni);
			return true;
		}
		return false;
	}
}

void FTalvaneModule::StartupModule()
{
	// The raw-bytes path may flush the HTTP manager to send a large upload at once; the engine's
	// default limits (2 and 4 seconds) would cut such a flush short.
	const bool bSoftChanged = RaiseFlushLimit(TEXT("FlushSoftTimeLimitDefault"), 2.0, 6000.0);
	const bool bHardChanged = RaiseFlushLimit(TEXT("FlushHardTimeLimitDefault"), 4.0, 7000.0);
	if (bSoftChanged || bHardChanged)
	{
		FHttpModule::Get().GetHttpManager().UpdateConfigs();
	}
}

void FTalvaneModule::ShutdownModule()
{
}

IMPLEMENT_MODULE(FTalvaneModule, Talvane)
