# Helpers shared by the folders' CMakeLists.

# Product sources of a folder: every .cc that is not a test.
function(kivo_sources out dir)
  file(GLOB_RECURSE _all CONFIGURE_DEPENDS ${dir}/*.cc)
  list(FILTER _all EXCLUDE REGEX "_test\\.cc$")
  if(NOT _all)
    set(_all ${PROJECT_SOURCE_DIR}/cmake/empty.cc)
  endif()
  set(${out} ${_all} PARENT_SCOPE)
endfunction()

function(kivo_target_defaults target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KIVO_WARNINGS}>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Every <name>_test.cc below |dir| becomes its own test program, run under Wine.
# Extra libraries follow LIBS.
function(kivo_add_tests dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE _tests CONFIGURE_DEPENDS ${dir}/*_test.cc)
  foreach(_src ${_tests})
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    kivo_target_defaults(${_name})
    target_link_libraries(${_name} PRIVATE kivo_test_support ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    add_test(NAME ${_name} COMMAND ${_name} --gtest_color=no)
    set_tests_properties(${_name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
    add_dependencies(kivo_all_tests ${_name})
  endforeach()
endfunction()
