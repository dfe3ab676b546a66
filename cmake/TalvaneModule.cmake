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
