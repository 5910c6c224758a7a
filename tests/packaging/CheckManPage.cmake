# Fails when an option or command that PROGRAM --help lists has no entry in its man page, or when
# the page still has an entry for an option the program no longer has.
#   cmake -DPROGRAM=<program> -DPAGE=<page.1.in> -P CheckManPage.cmake
# A program with commands (a "Subcommands:" list) is asked for each command's --help as well.
cmake_minimum_required(VERSION 3.25)
foreach(var PROGRAM PAGE)
  if(NOT ${var})
    message(FATAL_ERROR "usage: cmake -DPROGRAM=<program> -DPAGE=<page> -P CheckManPage.cmake")
  endif()
endforeach()

function(read_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text ERROR_VARIABLE err
                  RESULT_VARIABLE rc TIMEOUT 30)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "'${PROGRAM} ${ARGN} --help' failed (${rc}): ${err}")
  endif()
  # Semicolons would split the text as a CMake list.
  string(REPLACE ";" "," text "${text}")
  set(${out} "\n${text}" PARENT_SCOPE)
endfunction()

# The option names ("-h", "--help") in the parts of `text` that match `part_regex`.
function(option_names text part_regex out)
  string(REGEX MATCHALL "${part_regex}" parts "${text}")
  set(names "")
  foreach(part IN LISTS parts)
    string(REGEX MATCHALL "--?[A-Za-z0-9][A-Za-z0-9-]*" part_names "${part}")
    list(APPEND names ${part_names})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Options are the dashed words at the start of an indented help line ("  -h,--help  ...").
function(help_options text out)
  option_names("${text}" "\n  +-[^ \n]*" options)
  set(${out} ${options} PARENT_SCOPE)
endfunction()

# Commands are the first words of the lines under "Subcommands:", up to the next blank line.
function(help_commands text out)
  set(commands "")
  if(text MATCHES "\nSubcommands:\n(.*)$")
    set(section "${CMAKE_MATCH_1}")
    string(FIND "${section}" "\n\n" end)
    string(SUBSTRING "${section}" 0 ${end} section)
    string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" words "${section}")
    foreach(word IN LISTS words)
      string(STRIP "${word}" word)
      list(APPEND commands ${word})
    endforeach()
  endif()
  set(${out} ${commands} PARENT_SCOPE)
endfunction()

read_help(main_help)
help_options("${main_help}" options)
help_commands("${main_help}" commands)
foreach(command IN LISTS commands)
  read_help(command_help ${command})
  help_options("${command_help}" command_options)
  list(APPEND options ${command_options})
endforeach()
list(REMOVE_DUPLICATES options)
if(options STREQUAL "")
  message(FATAL_ERROR "found no option in '${PROGRAM} --help'")
endif()

# The page as plain text: roff's escaped minus as "-", font changes dropped.
file(READ ${PAGE} page)
string(REPLACE ";" "," page "${page}")
string(REPLACE "\\-" "-" page "${page}")
string(REGEX REPLACE "\\\\f[BIRP]" "" page "${page}")

# An option's entry is a .TP paragraph whose tag line names it ("-h, --help").
option_names("${page}" "\n\\.TP\n[^\n]*" entries)

set(faults "")
foreach(option IN LISTS options)
  if(NOT option IN_LIST entries)
    string(APPEND faults "  option ${option} is in --help but has no entry in the page\n")
  endif()
endforeach()
foreach(command IN LISTS commands)
  if(NOT page MATCHES "\n\\.SS \"?${command}[ \"\n]")
    string(APPEND faults "  command ${command} is in --help but has no .SS heading in the page\n")
  endif()
endforeach()
foreach(entry IN LISTS entries)
  # Every program takes -h and --help even where its usage text leaves them out.
  if(NOT entry IN_LIST options AND NOT entry MATCHES "^(-h|--help)$")
    string(APPEND faults "  the page has an entry for ${entry}, which --help does not list\n")
  endif()
endforeach()

if(faults)
  message(FATAL_ERROR "${PAGE} is out of step with ${PROGRAM}:\n${faults}")
endif()
list(LENGTH options option_count)
list(LENGTH commands command_count)
message(STATUS "${PAGE}: ${option_count} options and ${command_count} commands, all with entries")
