# Installs the build into a fresh prefix, compares the installed files with the expected lists
# and runs the installed programs.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<empty dir to use> -DEXPECTED=<list files> \
#         -DVERSION=<package version> [-DGUI=ON] -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var BUILD_DIR PREFIX EXPECTED VERSION)
  if(NOT ${var})
    message(FATAL_ERROR "CheckInstall.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${log}")
endif()

set(expected "")
foreach(list_file IN LISTS EXPECTED)
  file(STRINGS ${list_file} lines REGEX "^[^#]")
  list(APPEND expected ${lines})
endforeach()
list(SORT expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)

set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(unexpected ${installed})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
  list(JOIN missing "\n  " missing)
  list(JOIN unexpected "\n  " unexpected)
  message(FATAL_ERROR "installed files differ from the expected list\n"
                      "missing:\n  ${missing}\nunexpected:\n  ${unexpected}")
endif()

# Runs an installed program; fails unless it exits 0 and its output starts with `expected_start`.
function(expect_output expected_start)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
                  TIMEOUT 30)
  string(FIND "${out}" "${expected_start}" at)
  if(NOT rc EQUAL 0 OR NOT at EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "'${command}' exited with ${rc} and printed:\n${out}${err}\n"
                        "expected it to start with: ${expected_start}")
  endif()
endfunction()

expect_output("velkaro-cli ${VERSION}\n" ${PREFIX}/bin/velkaro-cli --version)
expect_output("Answers the device protocol" ${PREFIX}/bin/velkaro-sim --help)
if(GUI)
  expect_output("Usage: velkaro " ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${PREFIX}/bin/velkaro --help)
endif()

file(REMOVE_RECURSE ${PREFIX})
list(LENGTH installed count)
message(STATUS "${count} files installed as expected; velkaro-cli reports ${VERSION}")
