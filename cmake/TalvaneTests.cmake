# Automation test programs, registered with CTest one test per It.
#
#   talvane_add_spec_tests(TARGET <name> SOURCES <files...> [LINK <libraries...>]
#                          [LABELS <labels...>] [TIMEOUT <seconds>] [WILL_FAIL])
#
# (The target may also come first without the TARGET keyword.) Builds the executable <name> from
# the sources with UE_AutomationTestMain and the libraries. After each build the program lists its
# tests (`<name> --list`) and a CTest file is written with one test per It, named by the It's full
# name ("Talvane.Json.Writer escapes quotes") and run as `<name> --run "<full name>"`. TIMEOUT
# defaults to 120 seconds per It; WILL_FAIL marks every It of the program as one that must fail.
#
# A program whose sources declare TALVANE_SPEC_NEEDS_REFERENCE_SERVER() talks to the reference
# server: its tests require the CTest fixture "TalvaneReferenceServer" (talvane_add_reference_server_fixture),
# whose ini file with the server's URL they merge into the engine ini (TALVANE_PROJECT_ENGINE_INI).
# Every It that reports the skip line of a spec without a server counts as skipped.
#
# Run with `cmake -P` this file writes the CTest file instead (the post-build step).

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED TALVANE_SPEC_EXECUTABLE)
	cmake_policy(VERSION 3.20)
	# Bracket arguments keep spaces, quotes, semicolons and any UTF-8 in names as they are.
	function(_talvane_bracket Text OutVar)
		set(Equals "")
		while(TRUE)
			string(FIND "${Text}]" "]${Equals}]" Found)
			if(Found EQUAL -1)
				break()
			endif()
			string(APPEND Equals "=")
		endwhile()
		set(${OutVar} "[${Equals}[${Text}]${Equals}]" PARENT_SCOPE)
	endfunction()

	execute_process(COMMAND "${TALVANE_SPEC_EXECUTABLE}" --list
		OUTPUT_VARIABLE Listing ERROR_VARIABLE Errors RESULT_VARIABLE Status)
	if(NOT Status EQUAL 0)
		message(FATAL_ERROR "${TALVANE_SPEC_EXECUTABLE} --list failed (${Status}):\n${Errors}")
	endif()

	# Names may hold the characters that CMake lists treat specially; stand-ins carry them
	# through the split (the program refuses names with control characters).
	string(ASCII 1 Semicolon)
	string(ASCII 2 OpenBracket)
	string(ASCII 3 CloseBracket)
	string(REPLACE ";" "${Semicolon}" Listing "${Listing}")
	string(REPLACE "[" "${OpenBracket}" Listing "${Listing}")
	string(REPLACE "]" "${CloseBracket}" Listing "${Listing}")
	string(REPLACE "\n" ";" Lines "${Listing}")

	_talvane_bracket("${TALVANE_SPEC_EXECUTABLE}" Executable)
	string(REPLACE "|" ";" Labels "${TALVANE_SPEC_LABELS}")
	_talvane_bracket("${Labels}" LabelsArgument)
	set(Script "# Written by cmake/TalvaneTests.cmake from `${TALVANE_SPEC_EXECUTABLE} --list`.\n")
	foreach(Line IN LISTS Lines)
		if(Line STREQUAL "")
			continue()
		endif()
		string(REPLACE "${Semicolon}" ";" Name "${Line}")
		string(REPLACE "${OpenBracket}" "[" Name "${Name}")
		string(REPLACE "${CloseBracket}" "]" Name "${Name}")
		_talvane_bracket("${Name}" NameArgument)
		string(APPEND Script "add_test(${NameArgument} ${Executable} --run ${NameArgument})\n")
		string(APPEND Script "set_tests_properties(${NameArgument} PROPERTIES LABELS ${LabelsArgument} TIMEOUT ${TALVANE_SPEC_TIMEOUT}")
		string(APPEND Script " SKIP_REGULAR_EXPRESSION [[Skipped: no reference server]]")
		if(TALVANE_SPEC_WILL_FAIL)
			string(APPEND Script " WILL_FAIL TRUE")
		endif()
		if(TALVANE_SPEC_SERVER_INI)
			_talvane_bracket("TALVANE_PROJECT_ENGINE_INI=${TALVANE_SPEC_SERVER_INI}" Environment)
			string(APPEND Script " FIXTURES_REQUIRED TalvaneReferenceServer ENVIRONMENT ${Environment}")
		endif()
		string(APPEND Script ")\n")
	endforeach()
	file(WRITE "${TALVANE_SPEC_OUTPUT}" "${Script}")
	return()
endif()

include_guard(GLOBAL)

# Where the reference server fixture keeps its state; engine.ini there holds the server's URL.
set(TALVANE_REFERENCE_SERVER_STATE_DIR "${CMAKE_BINARY_DIR}/ReferenceServerFixture")

# Adds the fixture tests that start the reference server before the tests that need it and stop it
# after them. ServerTarget is the talvane-reference-server executable target.
function(talvane_add_reference_server_fixture ServerTarget)
	if(NOT TALVANE_HEADER_TOOL_PYTHON)
		find_package(Python3 3.8 REQUIRED COMPONENTS Interpreter)
		set(TALVANE_HEADER_TOOL_PYTHON "${Python3_EXECUTABLE}")
	endif()
	set(Script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ReferenceServerFixture.py")
	add_test(NAME Talvane.ReferenceServer.Start
		COMMAND "${TALVANE_HEADER_TOOL_PYTHON}" "${Script}" start --server "$<TARGET_FILE:${ServerTarget}>"
			--dir "${TALVANE_REFERENCE_SERVER_STATE_DIR}")
	add_test(NAME Talvane.ReferenceServer.Stop
		COMMAND "${TALVANE_HEADER_TOOL_PYTHON}" "${Script}" stop --dir "${TALVANE_REFERENCE_SERVER_STATE_DIR}")
	set_tests_properties(Talvane.ReferenceServer.Start PROPERTIES FIXTURES_SETUP TalvaneReferenceServer TIMEOUT 60
		LABELS "reference-server;threaded")
	set_tests_properties(Talvane.ReferenceServer.Stop PROPERTIES FIXTURES_CLEANUP TalvaneReferenceServer TIMEOUT 60
		LABELS "reference-server;threaded")
endfunction()

function(talvane_add_spec_tests)
	set(Arguments ${ARGN})
	list(GET Arguments 0 First)
	if(NOT First STREQUAL "TARGET")
		list(PREPEND Arguments TARGET)
	endif()
	cmake_parse_arguments(Spec "WILL_FAIL" "TARGET;TIMEOUT" "SOURCES;LINK;LABELS" ${Arguments})
	if(NOT Spec_TARGET OR NOT Spec_SOURCES)
		message(FATAL_ERROR "talvane_add_spec_tests needs TARGET <name> and SOURCES <files...>")
	endif()
	if(Spec_UNPARSED_ARGUMENTS)
		message(FATAL_ERROR "talvane_add_spec_tests: unexpected arguments ${Spec_UNPARSED_ARGUMENTS}")
	endif()
	if(NOT Spec_TIMEOUT)
		set(Spec_TIMEOUT 120)
	endif()
	foreach(Label IN LISTS Spec_LABELS)
		if(Label MATCHES "[|]")
			message(FATAL_ERROR "talvane_add_spec_tests: a label may not hold '|' (${Label})")
		endif()
	endforeach()
	string(REPLACE ";" "|" Labels "${Spec_LABELS}")

	set(ServerIni "")
	foreach(Source IN LISTS Spec_SOURCES)
		file(STRINGS "${Source}" NeedsServer REGEX "^[ \t]*TALVANE_SPEC_NEEDS_REFERENCE_SERVER\\(\\)")
		if(NeedsServer)
			set(ServerIni "${TALVANE_REFERENCE_SERVER_STATE_DIR}/engine.ini")
		endif()
	endforeach()

	add_executable(${Spec_TARGET} ${Spec_SOURCES})
	target_compile_features(${Spec_TARGET} PRIVATE cxx_std_20)
	target_link_libraries(${Spec_TARGET} PRIVATE UE_AutomationTestMain ${Spec_LINK})

	set(TestsFile "${CMAKE_CURRENT_BINARY_DIR}/${Spec_TARGET}_tests.cmake")
	add_custom_command(TARGET ${Spec_TARGET} POST_BUILD
		COMMAND "${CMAKE_COMMAND}"
			"-DTALVANE_SPEC_EXECUTABLE=$<TARGET_FILE:${Spec_TARGET}>"
			"-DTALVANE_SPEC_OUTPUT=${TestsFile}"
			"-DTALVANE_SPEC_LABELS=${Labels}"
			"-DTALVANE_SPEC_TIMEOUT=${Spec_TIMEOUT}"
			"-DTALVANE_SPEC_WILL_FAIL=${Spec_WILL_FAIL}"
			"-DTALVANE_SPEC_SERVER_INI=${ServerIni}"
			-P "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
		COMMENT "Listing the automation tests of ${Spec_TARGET}"
		VERBATIM)

	# Until the program is built, CTest shows one failing placeholder instead of no tests.
	set(IncludeFile "${CMAKE_CURRENT_BINARY_DIR}/${Spec_TARGET}_include.cmake")
	file(WRITE "${IncludeFile}"
		"if(EXISTS \"${TestsFile}\")\n"
		"\tinclude(\"${TestsFile}\")\n"
		"else()\n"
		"\tadd_test(${Spec_TARGET}_NOT_BUILT ${Spec_TARGET}_NOT_BUILT)\n"
		"endif()\n")
	set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${IncludeFile}")
endfunction()
