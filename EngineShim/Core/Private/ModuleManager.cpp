#include "Modules/ModuleManager.h"

#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <unistd.h>

#include "Containers/StringConv.h"
#include "Logging/LogMacros.h"

namespace
{
	std::string DirectoryOf(const std::string& Path)
	{
		const std::string::size_type Slash = Path.rfind('/');
		return Slash == std::string::npos ? std::string(".") : Path.substr(0, Slash);
	}

	/** Folders where module libraries are looked for: the program's folder and this library's folder. */
	std::vector<std::string> ModuleSearchDirectories()
	{
		std::vector<std::string> Directories;
		char ExePath[PATH_MAX] = {};
		const ssize_t Length = readlink("/proc/self/exe", ExePath, sizeof(ExePath) - 1);
		if (Length > 0)
		{
			Directories.push_back(DirectoryOf(std::string(ExePath, static_cast<SIZE_T>(Length))));
		}
		Dl_info Info{};
		if (dladdr(reinterpret_cast<void*>(&ModuleSearchDirectories), &Info) && Info.dli_fname)
		{
			Directories.push_back(DirectoryOf(Info.dli_fname));
		}
		return Directories;
	}
}

FModuleManager& FModuleManager::Get()
{
	static FModuleManager Manager;
	return Manager;
}

void* FModuleManager::OpenModuleLibrary(const FName InModuleName) const
{
	// Plugin modules build as lib<Name>.so; the stand-in's engine modules as libUE_<Name>.so.
	const std::string Name = FTCHARToUTF8(*InModuleName.ToString()).Get();
	for (const std::string& FileName : {"lib" + Name + ".so", "libUE_" + Name + ".so"})
	{
		if (void* Handle = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL))
		{
			return Handle;
		}
		for (const std::string& Directory : ModuleSearchDirectories())
		{
			if (void* Handle = dlopen((Directory + "/" + FileName).c_str(), RTLD_NOW | RTLD_LOCAL))
			{
				return Handle;
			}
		}
	}
	return nullptr;
}

IModuleInterface* FModuleManager::LoadModule(const FName InModuleName)
{
	const std::lock_guard<std::recursive_mutex> Lock(Mutex);
	if (IModuleInterface* Existing = GetModule(InModuleName))
	{
		return Existing;
	}
	void* Handle = OpenModuleLibrary(InModuleName);
	FInitializeModuleFunctionPtr Initialize = Handle
		? reinterpret_cast<FInitializeModuleFunctionPtr>(dlsym(Handle, "InitializeModule")) : nullptr;
	if (!Initialize)
	{
		UE_LOG(LogCore, Warning, TEXT("ModuleManager: Unable to load module '%s'"), *InModuleName.ToString());
		if (Handle)
		{
			dlclose(Handle);
		}
		return nullptr;
	}
	IModuleInterface* Module = Initialize();
	FModuleInfo& Info = Modules.emplace_back();
	Info.Name = InModuleName;
	Info.Module.reset(Module);
	Info.Handle = Handle;
	// Startup may load other modules, which grows the list: no reference into it is kept across the call.
	Module->StartupModule();
	return Module;
}

IModuleInterface& FModuleManager::LoadModuleChecked(const FName InModuleName)
{
	IModuleInterface* Module = LoadModule(InModuleName);
	check(Module);
	return *Module;
}

void FModuleManager::AddModule(const FName InModuleName, IModuleInterface* InModule)
{
	const std::lock_guard<std::recursive_mutex> Lock(Mutex);
	FModuleInfo& Info = Modules.emplace_back();
	Info.Name = InModuleName;
	Info.Module.reset(InModule);
	InModule->StartupModule();
}

IModuleInterface* FModuleManager::GetModule(const FName InModuleName) const
{
	const std::lock_guard<std::recursive_mutex> Lock(Mutex);
	for (const FModuleInfo& Info : Modules)
	{
		if (Info.Name == InModuleName)
		{
			return Info.Module.get();
		}
	}
	return nullptr;
}

bool FModuleManager::IsModuleLoaded(const FName InModuleName) const
{
	return GetModule(InModuleName) != nullptr;
}

bool FModuleManager::UnloadModule(const FName InModuleName, const bool)
{
	std::unique_ptr<IModuleInterface> Module;
	{
		const std::lock_guard<std::recursive_mutex> Lock(Mutex);
		for (auto It = Modules.begin(); It != Modules.end(); ++It)
		{
			if (It->Name == InModuleName)
			{
				Module = MoveTemp(It->Module);
				Modules.erase(It);
				break;
			}
		}
	}
	if (!Module)
	{
		return false;
	}
	Module->PreUnloadCallback();
	Module->ShutdownModule();
	// The library stays mapped: objects it registered (reflection data, log categories) may still be referenced.
	return true;
}

void FModuleManager::UnloadModulesAtShutdown()
{
	for (;;)
	{
		FName Last;
		{
			const std::lock_guard<std::recursive_mutex> Lock(Mutex);
			if (Modules.empty())
			{
				return;
			}
			Last = Modules.back().Name;
		}
		UnloadModule(Last, true);
	}
}
