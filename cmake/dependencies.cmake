# Dependencies are installed on the machine (scripts/install-deps.sh) and built
# here with the cross compiler; none is copied into the repository.

# tinyxml2 from Debian's source package.
set(TINYXML2_SOURCE_DIR "" CACHE PATH "Unpacked tinyxml2 source package")
if(NOT TINYXML2_SOURCE_DIR)
  file(GLOB _tinyxml_candidates /usr/local/src/tinyxml2/tinyxml2-*/tinyxml2.cpp)
  list(SORT _tinyxml_candidates)
  list(GET _tinyxml_candidates -1 _tinyxml_cpp)
  get_filename_component(_tinyxml_dir "${_tinyxml_cpp}" DIRECTORY)
  set(TINYXML2_SOURCE_DIR ${_tinyxml_dir} CACHE PATH "" FORCE)
endif()
if(NOT EXISTS ${TINYXML2_SOURCE_DIR}/tinyxml2.cpp)
  message(FATAL_ERROR "tinyxml2 sources not found; run scripts/install-deps.sh")
endif()
add_library(tinyxml2 STATIC ${TINYXML2_SOURCE_DIR}/tinyxml2.cpp)
target_include_directories(tinyxml2 SYSTEM PUBLIC ${TINYXML2_SOURCE_DIR})

# nlohmann-json from Debian's header package: only its own folder reaches the
# cross compiler, through a link in the build tree.
set(NLOHMANN_JSON_HEADER_DIR /usr/include/nlohmann CACHE PATH "nlohmann-json headers")
if(NOT EXISTS ${NLOHMANN_JSON_HEADER_DIR}/json.hpp)
  message(FATAL_ERROR "nlohmann-json not found; run scripts/install-deps.sh")
endif()
set(_json_inc ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${_json_inc})
file(CREATE_LINK ${NLOHMANN_JSON_HEADER_DIR} ${_json_inc}/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${_json_inc})

# GoogleTest from Debian's source package.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found; run scripts/install-deps.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
