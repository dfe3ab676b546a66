# Builds one engine-style module as a shared library.
#
# Every module exports only what carries its API macro (hidden visibility otherwise), puts its
# Public folder on the include path of its users and its Private folder on its own, so the same
# sources build here and inside the engine.
function(talvane_engine_module TARGET API_MACRO)
	add_library(${TARGET} SHARED ${ARGN})
	# Public: the engine headers need C++20 in every translation unit that includes them.
	target_compile_features(${TARGET} PUBLIC cxx_std_20)
	set_target_properties(${TARGET} PROPERTIES
		CXX_VISIBILITY_PRESET hidden
		VISIBILITY_INLINES_HIDDEN ON
		POSITION_INDEPENDENT_CODE ON)
	target_compile_definitions(${TARGET} PUBLIC "${API_MACRO}=DLLEXPORT")
	if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/Public")
		target_include_directories(${TARGET} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/Public")
	endif()
	if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/Private")
		target_include_directories(${TARGET} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/Private")
	endif()
endfunction()

# Lists in OUT_VAR the headers of DIRECTORY that include their own .generated.h: the reflected types
# the engine's header tool reads there with every other header of the module.
function(talvane_reflected_headers OUT_VAR DIRECTORY)
	file(GLOB Candidates CONFIGURE_DEPENDS ${DIRECTORY}/*.h)
	set(Reflected "")
	foreach(Header IN LISTS Candidates)
		get_filename_component(HeaderName ${Header} NAME_WE)
		file(STRINGS ${Header} GeneratedInclude REGEX "#include \"${HeaderName}\\.generated\\.h\"")
		if(GeneratedInclude)
			list(APPEND Reflected ${Header})
		endif()
	endforeach()
	set(${OUT_VAR} ${Reflected} PARENT_SCOPE)
endfunction()
