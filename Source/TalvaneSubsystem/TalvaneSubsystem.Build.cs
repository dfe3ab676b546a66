// The game-instance subsystem through which scripts use the Talvane plugin.

using UnrealBuildTool;

public class TalvaneSubsystem : ModuleRules
{
	public TalvaneSubsystem(ReadOnlyTargetRules Target) : base(Target)
	{
		PCHUsage = PCHUsageMode.UseExplicitOrSharedPCHs;

		PublicDependencyModuleNames.AddRange(
			new string[]
			{
				"Core",
				"CoreUObject",
				"Engine",
				"Talvane",
			});

		// The automation tests of this module tick the HTTP manager (Tests/TalvaneTestServer.h of Talvane).
		PrivateDependencyModuleNames.AddRange(
			new string[]
			{
				"HTTP",
			});
	}
}
