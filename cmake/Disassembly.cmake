# The instructions of an object or linked file, as the code checks read them.
#   include(Disassembly.cmake)
#   voxa_for_each_instruction(<objdump> <file> <macro>)
# Calls <macro>(function instruction) for every instruction of the file, in
# Intel syntax without raw bytes (semicolons of the text become commas). A
# macro of the caller's, so that what it counts stays in the caller's scope.
# Fails when objdump fails.
macro(voxa_for_each_instruction objdump file callback)
  execute_process(COMMAND ${objdump} -d -M intel --no-show-raw-insn ${file}
                  OUTPUT_VARIABLE voxa_code RESULT_VARIABLE voxa_status)
  if(NOT voxa_status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${file}")
  endif()
  string(REPLACE ";" "," voxa_code "${voxa_code}")
  string(REPLACE "\n" ";" voxa_lines "${voxa_code}")
  set(voxa_function "")
  foreach(voxa_line IN LISTS voxa_lines)
    if(voxa_line MATCHES "^[0-9a-f]+ <([^>]+)>:$")
      set(voxa_function "${CMAKE_MATCH_1}")
    elseif(voxa_line MATCHES "^ *[0-9a-f]+:\t([^\t]+)")
      cmake_language(CALL ${callback} "${voxa_function}" "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endmacro()
