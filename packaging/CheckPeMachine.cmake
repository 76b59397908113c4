# voxa_check_pe_machine(<file> <machine>): fails unless <file> is a PE image
# for <machine> (hex, as in the COFF header: 14c for x86, 8664 for x64).
function(voxa_check_pe_machine file machine)
  file(READ "${file}" mz LIMIT 2 HEX)
  file(READ "${file}" pe_offset_bytes OFFSET 60 LIMIT 4 HEX)
  if(NOT mz STREQUAL "4d5a" OR NOT pe_offset_bytes MATCHES "^(..)(..)(..)(..)$")
    message(FATAL_ERROR "${file} is not a Windows executable")
  endif()
  math(EXPR pe_offset "0x${CMAKE_MATCH_4}${CMAKE_MATCH_3}${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
  file(READ "${file}" header OFFSET ${pe_offset} LIMIT 6 HEX)
  if(NOT header MATCHES "^50450000(..)(..)$")
    message(FATAL_ERROR "${file} has no PE header")
  endif()
  math(EXPR found "0x${CMAKE_MATCH_2}${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR wanted "0x${machine}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT found EQUAL wanted)
    message(FATAL_ERROR "${file} is for machine ${found}, not ${wanted}: "
                        "are the 32-bit and 64-bit build folders mixed up?")
  endif()
endfunction()

# As a script, for the setup program's build step:
#   cmake -DPE_FILE=<file> -DPE_MACHINE=<machine> -P CheckPeMachine.cmake
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED PE_FILE)
  voxa_check_pe_machine("${PE_FILE}" "${PE_MACHINE}")
endif()
