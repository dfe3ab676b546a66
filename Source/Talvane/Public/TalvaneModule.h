#pragma once

#include "CoreMinimal.h"
#include "Modules/ModuleInterface.h"

/** Entry point of the Talvane module: records, wire codec, HTTP transport and request manager. */
class FTalvaneModule : public IModuleInterface
{
public:
	virtual void StartupModule() override;
	virtual void ShutdownModule() override;
};
