#include "GenericPlatform/GenericPlatformHttp.h"

FString FGenericPlatformHttp::GetDefaultUserAgent()
{
	// Project "TalvaneHost", build "++UE5+Release-5.3-CL-0", the comment the curl thread adds, platform "Linux".
	return TEXT("TalvaneHost/++UE5+Release-5.3-CL-0 (http-legacy) Linux/6.1.0");
}
