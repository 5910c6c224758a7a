# The Windows downloads, made from the Windows build by `cmake --build build-windows --target
# windows_packages` (scripts/package-windows.sh): an NSIS installer velkaro-VERSION-setup.exe
# and a portable velkaro-VERSION-windows-x64.zip, both in package/ of the build folder. The
# version comes from the same values as the programs' VERSIONINFO resource.
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(VELKARO_INSTALLER ${package_dir}/velkaro-${PROJECT_VERSION}-setup.exe)
set(VELKARO_ZIP ${package_dir}/velkaro-${PROJECT_VERSION}-windows-x64.zip)
set(VELKARO_FILE_VERSION_NUMBERS "${PROJECT_VERSION}.${VELKARO_BUILD_NUMBER}")

set(programs velkaro-cli velkaro-sim)
if(VELKARO_GUI)
  list(PREPEND programs velkaro)
endif()
# Both downloads carry stripped copies: the symbols would double the window's size.
set(stripped_dir ${package_dir}/stripped)
set(VELKARO_INSTALL_FILES "")
set(VELKARO_UNINSTALL_FILES "")
set(zip_files "")
foreach(program IN LISTS programs)
  set(stripped ${stripped_dir}/${program}.exe)
  add_custom_command(OUTPUT ${stripped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stripped_dir}
    COMMAND ${CMAKE_STRIP} --strip-all -o ${stripped} $<TARGET_FILE:${program}>
    DEPENDS ${program} VERBATIM)
  string(APPEND VELKARO_INSTALL_FILES "  File \"${stripped}\"\n")
  string(APPEND VELKARO_UNINSTALL_FILES "  Delete \"$INSTDIR\\${program}.exe\"\n")
  list(APPEND zip_files ${stripped})
endforeach()
set(readme ${package_dir}/readme.txt)
string(APPEND VELKARO_INSTALL_FILES "  File \"${readme}\"")
string(APPEND VELKARO_UNINSTALL_FILES "  Delete \"$INSTDIR\\readme.txt\"")
if(VELKARO_GUI)
  set(VELKARO_INSTALL_SHORTCUT "  CreateShortcut \"$SMPROGRAMS\\Velkaro.lnk\" \"$INSTDIR\\velkaro.exe\"")
else()
  set(VELKARO_INSTALL_SHORTCUT "  ; no window in this build: no Start-menu entry")
endif()

configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/readme.txt.in ${readme} @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/velkaro.nsi.in
               ${CMAKE_BINARY_DIR}/velkaro.nsi.configured @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/velkaro.nsi INPUT ${CMAKE_BINARY_DIR}/velkaro.nsi.configured)

find_program(VELKARO_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
if(VELKARO_MAKENSIS)
  add_custom_command(OUTPUT ${VELKARO_INSTALLER}
    COMMAND ${VELKARO_MAKENSIS} -V2 -NOCD ${CMAKE_BINARY_DIR}/velkaro.nsi
    DEPENDS ${zip_files} ${CMAKE_BINARY_DIR}/velkaro.nsi ${readme}
    COMMENT "Making the installer ${VELKARO_INSTALLER}" VERBATIM)
else()
  add_custom_command(OUTPUT ${VELKARO_INSTALLER}
    COMMAND ${CMAKE_COMMAND} -E echo "makensis not found: apt-get install nsis"
    COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
endif()
add_custom_command(OUTPUT ${VELKARO_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_dir}/zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}/zip/velkaro-${PROJECT_VERSION}
  COMMAND ${CMAKE_COMMAND} -E copy ${zip_files} ${readme} ${package_dir}/zip/velkaro-${PROJECT_VERSION}
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_dir}/zip
          ${CMAKE_COMMAND} -E tar cf ${VELKARO_ZIP} --format=zip velkaro-${PROJECT_VERSION}
  DEPENDS ${zip_files} ${readme}
  COMMENT "Making the portable zip ${VELKARO_ZIP}" VERBATIM)
add_custom_target(windows_packages DEPENDS ${VELKARO_INSTALLER} ${VELKARO_ZIP})
