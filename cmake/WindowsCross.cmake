# What the Windows cross build takes from the build machine: GoogleTest built from Debian's
# source package, and the header-only CLI11 and nlohmann-json. Their headers are reached through
# a folder of their own, never through /usr/include, which would shadow the MinGW headers.

set(VELKARO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")
if(NOT EXISTS ${VELKARO_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VELKARO_GTEST_SOURCE}: apt-get install googletest")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELKARO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(header_root ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${header_root})
# One header folder and one package configuration per library.
foreach(entry "CLI11 CLI CLI11::CLI11" "nlohmann_json nlohmann nlohmann_json::nlohmann_json")
  separate_arguments(entry)
  list(GET entry 0 package)
  list(GET entry 1 folder)
  list(GET entry 2 target)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "No /usr/include/${folder}: install scripts/install-deps.sh's packages")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${header_root}/${folder} SYMBOLIC)
  set(config_dir ${CMAKE_BINARY_DIR}/host-packages/${package})
  file(WRITE ${config_dir}/${package}Config.cmake
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${header_root})\n"
       "endif()\n")
  set(${package}_DIR ${config_dir} CACHE PATH "" FORCE)
endforeach()
