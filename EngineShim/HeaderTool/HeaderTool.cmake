# talvane_reflect(<target> PACKAGE "/Script/<Module>" HEADERS <absolute header paths...> [API <MODULE_API>])
#
# Runs the header tool over the headers at build time. For each X.h it writes
# <build>/Generated/<target>/X.generated.h and X.gen.cpp, adds the .gen.cpp files to the target and
# the folder to its include path (public for libraries, whose public headers include their
# .generated.h). API is the export macro of the module (default: the package's last part in upper
# case followed by _API); a target that is no shared library gets it defined empty.

# The tool needs Python 3 and its standard library only. The interpreter's path is cached, since
# find_package sets it in the including directory's scope alone.
if(NOT TALVANE_HEADER_TOOL_PYTHON)
	find_package(Python3 3.8 REQUIRED COMPONENTS Interpreter)
	set(TALVANE_HEADER_TOOL_PYTHON "${Python3_EXECUTABLE}" CACHE INTERNAL "Python interpreter of the Talvane header tool")
endif()
set(TALVANE_HEADER_TOOL_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE INTERNAL "Folder of the Talvane header tool")

function(talvane_reflect TARGET)
	cmake_parse_arguments(PARSE_ARGV 1 ARG "" "PACKAGE;API" "HEADERS")
	if(NOT ARG_PACKAGE OR NOT ARG_HEADERS)
		message(FATAL_ERROR "talvane_reflect(${TARGET}) needs PACKAGE and HEADERS")
	endif()
	if(ARG_UNPARSED_ARGUMENTS)
		message(FATAL_ERROR "talvane_reflect(${TARGET}): unexpected arguments ${ARG_UNPARSED_ARGUMENTS}")
	endif()
	if(NOT ARG_API)
		string(REGEX REPLACE "^.*/" "" ModuleName "${ARG_PACKAGE}")
		string(TOUPPER "${ModuleName}_API" ARG_API)
	endif()

	set(GeneratedDir "${CMAKE_BINARY_DIR}/Generated/${TARGET}")
	set(Outputs "")
	set(GeneratedSources "")
	foreach(Header IN LISTS ARG_HEADERS)
		if(NOT IS_ABSOLUTE "${Header}")
			message(FATAL_ERROR "talvane_reflect(${TARGET}): header '${Header}' must be an absolute path")
		endif()
		get_filename_component(BaseName "${Header}" NAME_WE)
		list(APPEND Outputs "${GeneratedDir}/${BaseName}.generated.h" "${GeneratedDir}/${BaseName}.gen.cpp")
		list(APPEND GeneratedSources "${GeneratedDir}/${BaseName}.gen.cpp")
	endforeach()

	file(GLOB ToolSources "${TALVANE_HEADER_TOOL_DIR}/*.py")
	add_custom_command(
		OUTPUT ${Outputs}
		COMMAND "${TALVANE_HEADER_TOOL_PYTHON}" -B "${TALVANE_HEADER_TOOL_DIR}/HeaderTool.py"
			--package "${ARG_PACKAGE}" --api "${ARG_API}" --output-dir "${GeneratedDir}" --root "${CMAKE_SOURCE_DIR}"
			${ARG_HEADERS}
		DEPENDS ${ARG_HEADERS} ${ToolSources}
		COMMENT "Reading the reflection markup of ${TARGET}"
		VERBATIM)
	# Consumers compile against the .generated.h files too, so they wait for this step.
	add_custom_target(${TARGET}_Reflection DEPENDS ${Outputs})
	add_dependencies(${TARGET} ${TARGET}_Reflection)

	target_sources(${TARGET} PRIVATE ${GeneratedSources})
	get_target_property(TargetType ${TARGET} TYPE)
	if(TargetType STREQUAL "SHARED_LIBRARY" OR TargetType STREQUAL "STATIC_LIBRARY" OR TargetType STREQUAL "MODULE_LIBRARY")
		target_include_directories(${TARGET} PUBLIC "${GeneratedDir}")
	else()
		target_include_directories(${TARGET} PRIVATE "${GeneratedDir}")
	endif()
	if(NOT TargetType STREQUAL "SHARED_LIBRARY" AND NOT TargetType STREQUAL "MODULE_LIBRARY")
		target_compile_definitions(${TARGET} PUBLIC "${ARG_API}=")
	endif()
endfunction()
