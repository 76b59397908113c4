# Runs a command and requires an exact exit status (see voxa_add_command_test).
#   cmake -DVOXA_ARGC=<n> -DVOXA_ARG0=... -DVOXA_EXIT_CODE=<status> -P VoxaRunCommand.cmake
if(NOT DEFINED VOXA_ARGC OR NOT DEFINED VOXA_EXIT_CODE)
  message(FATAL_ERROR "VoxaRunCommand.cmake: VOXA_ARGC and VOXA_EXIT_CODE are required")
endif()

set(command "")
math(EXPR last "${VOXA_ARGC} - 1")
foreach(i RANGE ${last})
  # Keep each argument whole, even with a ';' in it.
  string(REPLACE ";" "\\;" word "${VOXA_ARG${i}}")
  list(APPEND command "${word}")
endforeach()

execute_process(COMMAND ${command} RESULT_VARIABLE status)
if(NOT "${status}" STREQUAL "${VOXA_EXIT_CODE}")
  message(FATAL_ERROR "voxa-command-test: exit status ${status}, expected ${VOXA_EXIT_CODE}")
endif()
