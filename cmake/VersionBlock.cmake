# Version block embedded in each executable: the texts the about box shows and the build number
# (fourth part of FileVersion) that selects the OEM variant at start-up. The block lives in the
# ELF section ".velkaro_version" and is read back from the file at run time (src/version/VersionInfo.h).
# On Windows the same values make a VERSIONINFO resource instead (compiled by windres).
#
#   velkaro_add_version_block(<target>
#     [DESCRIPTION <text>]        FileDescription            (default: the target name)
#     [ORIGINAL_FILENAME <text>]  OriginalFilename           (default: OUTPUT_NAME or target name)
#     [INTERNAL_NAME <text>]      InternalName               (default: the target name)
#     [COMMENTS <text>]           Comments
#     [BUILD_NUMBER <n>]          fourth FileVersion part    (default: VELKARO_BUILD_NUMBER)
#     [FILE_VERSION <text>]       whole FileVersion text, replacing major.minor.patch.build
#     [OMIT <key>...]             leave these string keys out of the block)
#
# Sets the target properties VELKARO_FILE_VERSION and VELKARO_BUILD_NUMBER to what was embedded.

set(VELKARO_VERSION_BLOCK_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/VersionBlock.cpp.in)
set(VELKARO_VERSION_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/VersionResource.rc.in)
set(VELKARO_VERSION_FORMAT_HEADER ${CMAKE_CURRENT_LIST_DIR}/../src/version/VersionBlockFormat.h)
cmake_path(NORMAL_PATH VELKARO_VERSION_FORMAT_HEADER)

set(VELKARO_COMPANY_NAME "Velkaro developers")
set(VELKARO_PRODUCT_NAME "Velkaro")
set(VELKARO_LEGAL_COPYRIGHT "Copyright (C) Velkaro developers")
set(VELKARO_LEGAL_TRADEMARKS "Velkaro")
set(VELKARO_DEFAULT_COMMENTS "Finds and configures network power switches")
# The string entries of every block, in resource order.
set(VELKARO_VERSION_KEYS CompanyName FileDescription FileVersion InternalName LegalCopyright
                         LegalTradeMarks OriginalFilename ProductName ProductVersion Comments)
# US English, UTF-8 texts.
set(VELKARO_VERSION_TRANSLATION "0409fde9")

# Text as the inside of a C++ string literal.
function(_velkaro_c_string out text)
  if(text MATCHES "[\r\n]")
    message(FATAL_ERROR "velkaro_add_version_block: line breaks are not allowed in '${text}'")
  endif()
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text as the inside of a resource-script string: quotes doubled, backslashes escaped.
function(_velkaro_rc_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The VERSIONINFO resource of a Windows target from the values velkaro_add_version_block chose
# (its variables are visible here: CMake functions see their caller's scope).
macro(_velkaro_version_resource target)
  # FILEVERSION holds four numbers; a FileVersion text that is no such list keeps the project's.
  string(REPLACE "," "." numbers "${VB_FILE_VERSION}")
  if(numbers MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    set(VB_FILE_VERSION_NUMBERS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
  else()
    set(VB_FILE_VERSION_NUMBERS
        "${Velkaro_VERSION_MAJOR},${Velkaro_VERSION_MINOR},${Velkaro_VERSION_PATCH},${VB_BUILD_NUMBER}")
  endif()
  set(VB_PRODUCT_VERSION_NUMBERS
      "${Velkaro_VERSION_MAJOR},${Velkaro_VERSION_MINOR},${Velkaro_VERSION_PATCH},0")
  string(SUBSTRING "${VB_TRANSLATION}" 0 4 language)
  string(SUBSTRING "${VB_TRANSLATION}" 4 4 code_page)
  set(VB_TRANSLATION_WORDS "0x${language}, 0x${code_page}")
  set(VB_RC_ENTRIES "")
  foreach(key IN LISTS VELKARO_VERSION_KEYS)
    if(key IN_LIST VB_OMIT)
      continue()
    endif()
    _velkaro_rc_string(escaped "${value_${key}}")
    string(APPEND VB_RC_ENTRIES "      VALUE \"${key}\", \"${escaped}\"\n")
  endforeach()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/version_block/${target}_version.rc)
  configure_file(${VELKARO_VERSION_RESOURCE_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_target_properties(${target} PROPERTIES VELKARO_FILE_VERSION "${VB_FILE_VERSION}"
                                             VELKARO_BUILD_NUMBER "${VB_BUILD_NUMBER}")
endmacro()

function(velkaro_add_version_block target)
  cmake_parse_arguments(PARSE_ARGV 1 VB ""
    "DESCRIPTION;ORIGINAL_FILENAME;INTERNAL_NAME;COMMENTS;BUILD_NUMBER;FILE_VERSION" "OMIT")
  if(VB_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velkaro_add_version_block: unknown arguments ${VB_UNPARSED_ARGUMENTS}")
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
    message(FATAL_ERROR "velkaro_add_version_block: ${target} is a ${type}; only linked "
                        "programs and shared libraries keep the block")
  endif()

  if(NOT DEFINED VB_BUILD_NUMBER)
    set(VB_BUILD_NUMBER "${VELKARO_BUILD_NUMBER}")
  endif()
  # A 16-bit number as in the Windows FILEVERSION; anything else would break the split.
  if(NOT VB_BUILD_NUMBER MATCHES "^[0-9]+$" OR VB_BUILD_NUMBER GREATER 65535)
    message(FATAL_ERROR "Build number '${VB_BUILD_NUMBER}' must be a number from 0 to 65535")
  endif()
  if(NOT DEFINED VB_FILE_VERSION)
    set(VB_FILE_VERSION
        "${Velkaro_VERSION_MAJOR}.${Velkaro_VERSION_MINOR}.${Velkaro_VERSION_PATCH}.${VB_BUILD_NUMBER}")
  endif()
  if(NOT DEFINED VB_DESCRIPTION)
    set(VB_DESCRIPTION "${target}")
  endif()
  if(NOT DEFINED VB_INTERNAL_NAME)
    set(VB_INTERNAL_NAME "${target}")
  endif()
  if(NOT DEFINED VB_ORIGINAL_FILENAME)
    get_target_property(output_name ${target} OUTPUT_NAME)
    if(output_name)
      set(VB_ORIGINAL_FILENAME "${output_name}")
    else()
      set(VB_ORIGINAL_FILENAME "${target}")
    endif()
  endif()
  if(NOT DEFINED VB_COMMENTS)
    set(VB_COMMENTS "${VELKARO_DEFAULT_COMMENTS}")
  endif()

  set(VB_TRANSLATION "${VELKARO_VERSION_TRANSLATION}")
  set(VB_TARGET "${target}")
  set(VB_FORMAT_HEADER "${VELKARO_VERSION_FORMAT_HEADER}")
  set(value_CompanyName "${VELKARO_COMPANY_NAME}")
  set(value_FileDescription "${VB_DESCRIPTION}")
  set(value_FileVersion "${VB_FILE_VERSION}")
  set(value_InternalName "${VB_INTERNAL_NAME}")
  set(value_LegalCopyright "${VELKARO_LEGAL_COPYRIGHT}")
  set(value_LegalTradeMarks "${VELKARO_LEGAL_TRADEMARKS}")
  set(value_OriginalFilename "${VB_ORIGINAL_FILENAME}")
  set(value_ProductName "${VELKARO_PRODUCT_NAME}")
  set(value_ProductVersion "${Velkaro_VERSION}")
  set(value_Comments "${VB_COMMENTS}")
  set(VB_STRING_ENTRIES "")
  foreach(key IN LISTS VELKARO_VERSION_KEYS)
    if(key IN_LIST VB_OMIT)
      continue()
    endif()
    _velkaro_c_string(escaped "${value_${key}}")
    string(APPEND VB_STRING_ENTRIES
           "    \"\\\\StringFileInfo\\\\${VB_TRANSLATION}\\\\${key}=${escaped}\" \"\\0\"\n")
  endforeach()

  if(WIN32)
    _velkaro_version_resource(${target})
    return()
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/version_block/${target}_version_block.cpp)
  configure_file(${VELKARO_VERSION_BLOCK_TEMPLATE} ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
  set_target_properties(${target} PROPERTIES VELKARO_FILE_VERSION "${VB_FILE_VERSION}"
                                             VELKARO_BUILD_NUMBER "${VB_BUILD_NUMBER}")
endfunction()
