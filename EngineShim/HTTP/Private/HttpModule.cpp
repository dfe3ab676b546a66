#include "HttpModule.h"

#include "CurlHttpRequest.h"
#include "HttpLog.h"
#include "HttpManager.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "SslCertificateStore.h"

DEFINE_LOG_CATEGORY(LogHttp);

IMPLEMENT_MODULE(FHttpModule, HTTP)

FHttpModule::FHttpModule() = default;

FHttpModule::~FHttpModule()
{
	// Reached without ShutdownModule only when the process exits: the thread still stops.
	delete HttpManager;
}

FHttpModule& FHttpModule::Get()
{
	// As the engine does (LoadModuleChecked): the module manager makes the module on first use, under
	// its own lock. A lock of this module's own, taken around the manager's, would be taken in the other
	// order when another module's start-up (Talvane's) asks for HTTP while the manager loads it.
	IModuleInterface* const Loaded = FModuleManager::Get().LoadModule(TEXT("HTTP"));
	check(Loaded);
	return static_cast<FHttpModule&>(*Loaded);
}

TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FHttpModule::CreateRequest()
{
	return MakeShared<FCurlHttpRequest>();
}

FHttpManager& FHttpModule::GetHttpManager()
{
	if (!HttpManager)
	{
		// Only a module already shut down gets here; it runs again rather than crash.
		StartupModule();
	}
	return *HttpManager;
}

void FHttpModule::UpdateConfigs()
{
	GConfig->GetFloat(TEXT("HTTP"), TEXT("HttpTimeout"), HttpTimeout, GEngineIni);
	if (HttpManager)
	{
		HttpManager->UpdateConfigs();
		HttpManager->SetDefaultTimeout(HttpTimeout);
	}
}

void FHttpModule::StartupModule()
{
	HttpTimeout = 300.0f;
	// The engine's HTTP module loads the SSL module, which gathers the trusted certificates once.
	SslCertificateStore::Rebuild();
	UpdateConfigs();
	if (!HttpManager)
	{
		HttpManager = new FHttpManager();
		HttpManager->SetDefaultTimeout(HttpTimeout);
	}
}

void FHttpModule::ShutdownModule()
{
	if (HttpManager)
	{
		HttpManager->Shutdown();
		delete HttpManager;
		HttpManager = nullptr;
	}
}
