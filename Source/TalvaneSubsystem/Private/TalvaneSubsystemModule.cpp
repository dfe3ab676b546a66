#include "Modules/ModuleManager.h"

// The subsystem is created by the engine with each game instance, so the module itself has no
// work at startup or shutdown.
IMPLEMENT_MODULE(FDefaultModuleImpl, TalvaneSubsystem)
