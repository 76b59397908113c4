# Test helpers, natively and for Windows builds run under Wine.
#
#   voxa_add_gtest(<target> [EXTRA_ARGS args...] [PROPERTIES name value...]
#                  [WINE_RUNNER <script> <prefix>])
#     Registers every test of a GoogleTest program as its own ctest test.
#     Tests are listed when ctest runs (DISCOVERY_MODE PRE_TEST), so building
#     never needs Wine. In Windows builds each test passes only if the program
#     exits with 0 and printed its own "[  PASSED  ] 1 test." line (see
#     cmake/wine-run.sh --gtest). WINE_RUNNER replaces cmake/wine-run.sh and
#     the build's Wine prefix with a script taking the same arguments and a
#     prefix of the program's own (cmake/wine-dialog-run.sh for dialogs).
#
#   voxa_add_command_test(NAME <name> COMMAND <target-or-program> [args...]
#                         [WILL_FAIL] [EXIT_CODE <n>]
#                         [PASS_REGULAR_EXPRESSION <re>]
#                         [FAIL_REGULAR_EXPRESSION <re>]
#                         [WORKING_DIRECTORY <dir>] [TIMEOUT <s>]
#                         [LABELS <label>...] [PROPERTIES name value...])
#     A run of a program (usually the voxa tool). When COMMAND names an
#     executable target of a Windows build, it runs under Wine.
#     EXIT_CODE <n> requires exactly that exit status (e.g. 2 for a usage
#     error), which tells a clean error from a crash; WILL_FAIL only asks for
#     any non-zero status. ctest ignores the exit status of a test with
#     PASS_REGULAR_EXPRESSION; add EXIT_CODE 0 to check both.

include_guard(GLOBAL)
include(GoogleTest)

set(VOXA_RUN_COMMAND_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/VoxaRunCommand.cmake)
set(VOXA_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Per-test timeout (seconds); test presets may set a global one as well.
set(VOXA_TEST_TIMEOUT 120 CACHE STRING "Timeout of a single test, in seconds")

function(voxa_add_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXTRA_ARGS;PROPERTIES;WINE_RUNNER")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "voxa_add_gtest: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "voxa_add_gtest: ${target} is not a target")
  endif()

  set(discovery_timeout 30)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    # Same wrapper, in the mode that demands the success line.
    set(runner ${VOXA_WINE_RUN} ${CMAKE_BINARY_DIR}/wine-prefix)
    if(arg_WINE_RUNNER)
      set(runner ${arg_WINE_RUNNER})
    endif()
    list(INSERT runner 1 --gtest)
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${runner})
    # The first listing may have to create the Wine prefix.
    set(discovery_timeout 300)
  endif()

  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT ${discovery_timeout}
    EXTRA_ARGS ${arg_EXTRA_ARGS}
    PROPERTIES TIMEOUT ${VOXA_TEST_TIMEOUT} ${arg_PROPERTIES}
  )
endfunction()

function(voxa_add_command_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg
    "WILL_FAIL"
    "NAME;EXIT_CODE;PASS_REGULAR_EXPRESSION;FAIL_REGULAR_EXPRESSION;WORKING_DIRECTORY;TIMEOUT"
    "COMMAND;LABELS;PROPERTIES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "voxa_add_command_test: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "voxa_add_command_test: NAME and COMMAND are required")
  endif()
  if(arg_WILL_FAIL AND DEFINED arg_EXIT_CODE)
    message(FATAL_ERROR "voxa_add_command_test(${arg_NAME}): use WILL_FAIL or EXIT_CODE, not both")
  endif()
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${VOXA_TEST_TIMEOUT})
  endif()

  if(DEFINED arg_EXIT_CODE)
    # Run through a script that checks the exact status. add_test adds the
    # emulator only for a target named first, so add it here by hand.
    list(POP_FRONT arg_COMMAND program)
    set(emulator "")
    if(TARGET ${program})
      get_property(emulator TARGET ${program} PROPERTY CROSSCOMPILING_EMULATOR)
      set(program $<TARGET_FILE:${program}>)
    endif()
    set(defines "")
    set(count 0)
    foreach(word IN LISTS emulator program arg_COMMAND)
      list(APPEND defines "-DVOXA_ARG${count}=${word}")
      math(EXPR count "${count} + 1")
    endforeach()
    add_test(NAME ${arg_NAME}
      COMMAND ${CMAKE_COMMAND} ${defines}
        "-DVOXA_ARGC=${count}"
        "-DVOXA_EXIT_CODE=${arg_EXIT_CODE}"
        -P ${VOXA_RUN_COMMAND_SCRIPT}
      WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  else()
    add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND}
      WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  endif()

  set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  if(arg_WILL_FAIL)
    set_tests_properties(${arg_NAME} PROPERTIES WILL_FAIL TRUE)
  endif()
  if(DEFINED arg_PASS_REGULAR_EXPRESSION)
    set_tests_properties(${arg_NAME} PROPERTIES
      PASS_REGULAR_EXPRESSION "${arg_PASS_REGULAR_EXPRESSION}")
  endif()
  set(fail_res "")
  if(DEFINED arg_FAIL_REGULAR_EXPRESSION)
    list(APPEND fail_res "${arg_FAIL_REGULAR_EXPRESSION}")
  endif()
  if(DEFINED arg_EXIT_CODE)
    # ctest ignores the exit status when PASS_REGULAR_EXPRESSION is set, so
    # the script's complaint must fail the test through the output.
    list(APPEND fail_res "voxa-command-test: exit status")
  endif()
  if(fail_res)
    set_tests_properties(${arg_NAME} PROPERTIES FAIL_REGULAR_EXPRESSION "${fail_res}")
  endif()
  if(arg_LABELS)
    set_tests_properties(${arg_NAME} PROPERTIES LABELS "${arg_LABELS}")
  endif()
  if(arg_PROPERTIES)
    set_tests_properties(${arg_NAME} PROPERTIES ${arg_PROPERTIES})
  endif()
endfunction()
