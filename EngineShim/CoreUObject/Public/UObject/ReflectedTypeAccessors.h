#pragma once

class UClass;
class UEnum;
class UScriptStruct;

/** The class object of a UObject class. */
template <typename ClassType>
UClass* StaticClass()
{
	return ClassType::StaticClass();
}

/** The struct object of a reflected struct; the header tool defines one for each USTRUCT. */
template <typename StructType>
UScriptStruct* StaticStruct();

/** The enum object of a reflected enumeration; the header tool defines one for each UENUM. */
template <typename EnumType>
UEnum* StaticEnum();
