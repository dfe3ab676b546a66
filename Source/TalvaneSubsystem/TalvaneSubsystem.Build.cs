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
	}
}
