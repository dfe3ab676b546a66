// Writes the body of a default local chat request through the linked plugin module.
#include <cstdio>

#include "CoreMinimal.h"
#include "TalvaneJsonRequests.h"
#include "TalvaneType.h"

int main()
{
	const FNimbrelLocalChatRequest Request;
	FString Body;
	TalvaneJson::NimbrelChatRequestToString(Request, Body);
	std::puts(TCHAR_TO_UTF8(*Body));
	return 0;
}
