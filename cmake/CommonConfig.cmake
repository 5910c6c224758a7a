# Standard, warnings and sanitizer switches shared by every target (link velkaro_common).
add_library(velkaro_common INTERFACE)
target_compile_features(velkaro_common INTERFACE cxx_std_20)
# src/ is the one include root: every include names its layer ("protocol/Exchange.h").
target_include_directories(velkaro_common INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(velkaro_common INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                                -Woverloaded-virtual -Wcast-qual -Wcast-align
                                                -Wformat=2 -Wmissing-declarations)
if(VELKARO_WERROR)
  target_compile_options(velkaro_common INTERFACE -Werror)
endif()
if(VELKARO_SANITIZE)
  target_compile_options(velkaro_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                  -fno-sanitize-recover=undefined)
  target_link_options(velkaro_common INTERFACE -fsanitize=address,undefined)
endif()
if(VELKARO_TSAN)
  target_compile_options(velkaro_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(velkaro_common INTERFACE -fsanitize=thread)
endif()

if(VELKARO_FUZZ)
  # Coverage for libFuzzer in every library; the fuzz targets add the fuzzer's own main.
  target_compile_options(velkaro_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                  -fno-omit-frame-pointer
                                                  -fno-sanitize-recover=undefined)
  target_link_options(velkaro_common INTERFACE -fsanitize=address,undefined)
endif()

# Adds a GoogleTest executable linked with the given libraries and registers its cases with CTest.
function(velkaro_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velkaro_test_support GTest::gtest
                                        GTest::gtest_main velkaro_common)
  if(CMAKE_CROSSCOMPILING)
    # Listed when ctest runs, through the emulator (Wine): the build itself needs no Wine.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT 300 LABELS ${name})
  else()
    # Labelled by program, so that one stage can run a chosen few (ctest -L).
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS ${name})
  endif()
endfunction()

# Stands in for a test program that cannot run in the Windows build under Wine: ctest lists it as
# skipped and its output gives the reason, so nothing is left out silently.
function(velkaro_skipped_test name reason)
  add_test(NAME ${name} COMMAND sh -c "echo 'Skipped on Windows: ${reason}'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

# The environment of a QtTest run: offscreen with a fixed locale. Under Wine three more things:
# Wine hands no QT_ variable to a Windows program unless it is spelled WINEQT_; QtTest writes to
# the debugger instead of stdout unless told otherwise; and the offscreen platform finds fonts only
# in a folder it is given, here the same DejaVu fonts the Linux run measures with.
set(VELKARO_QTEST_ENV "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8")
if(WIN32)
  list(APPEND VELKARO_QTEST_ENV WINEQT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1
       WINEQT_FORCE_STDERR_LOGGING=1 "WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu")
endif()

# Adds a QtTest executable run with that environment.
function(velkaro_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velkaro_test_support Qt6::Test Qt6::Widgets
                                        velkaro_common)
  if(WIN32)
    # Static Qt: the offscreen platform the tests run on is linked in.
    qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${VELKARO_QTEST_ENV}")
endfunction()
