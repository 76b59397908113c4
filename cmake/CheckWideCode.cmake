# Instructions with the wide (VEX) encoding and the 256-bit registers may run
# only on processors of the AVX2 class: outside the AVX2 kernels and the
# clearing of the upper registers after a fault (units codec/simd/*_avx2.cpp,
# functions named ..Field_avx2.. and ClearUpperRegisters_avx2) no object of the
# codec and no function of the linked library may hold one. Anything else
# would fault on the many processors without AVX, or slow SSE code down.
#   cmake -DOBJDUMP=<objdump> -DOBJECTS=<a|b|c...> [-DLIBRARY=<voxa.dll>] -P CheckWideCode.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/Disassembly.cmake)

# Sets `wide_functions` in the caller: the functions of FILE that hold a wide
# instruction; fails on one outside ALLOWED.
macro(note_wide function instruction)
  string(REGEX MATCH "^[a-z0-9]+" mnemonic "${instruction}")
  # Every VEX-encoded mnemonic starts with v; verr and verw are the 286's.
  if("${instruction}" MATCHES "ymm[0-9]" OR (mnemonic MATCHES "^v" AND NOT mnemonic MATCHES "^ver[rw]$"))
    if(allowed STREQUAL "" OR NOT "${function}" MATCHES "${allowed}")
      message(FATAL_ERROR "${checked_file}: ${function} holds a wide instruction: ${instruction}")
    endif()
    list(APPEND wide_functions "${function}")
  endif()
endmacro()

function(check_wide file allowed)
  set(checked_file "${file}")
  set(wide_functions "")
  voxa_for_each_instruction(${OBJDUMP} ${file} note_wide)
  list(REMOVE_DUPLICATES wide_functions)
  set(wide_functions ${wide_functions} PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
set(wide_units 0)
foreach(object ${objects})
  if(object MATCHES "_avx2\\.cpp\\.o")
    check_wide("${object}" ".")
    if(wide_functions)
      math(EXPR wide_units "${wide_units} + 1")
    endif()
  else()
    check_wide("${object}" "")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
if(NOT wide_units EQUAL 5)
  message(FATAL_ERROR "expected the 5 AVX2 units to hold wide code, found ${wide_units}")
endif()
message(STATUS "${checked} objects: wide code in the 5 AVX2 units only")

if(LIBRARY)
  # A kernel's own pieces the compiler keeps apart (a lambda of it) carry its
  # name in theirs.
  check_wide("${LIBRARY}" "Field_avx2E|ClearUpperRegisters_avx2E")
  set(kernels "")
  foreach(name IN LISTS wide_functions)
    string(REGEX MATCH "(Encode|Decode)(Rgba|Y16a)Field_avx2E|ClearUpperRegisters_avx2E" kernel
           "${name}")
    list(APPEND kernels "${kernel}")
  endforeach()
  list(REMOVE_DUPLICATES kernels)
  list(LENGTH kernels count)
  if(NOT count EQUAL 5)
    message(FATAL_ERROR "${LIBRARY}: expected wide code in the 4 AVX2 kernels and "
                        "ClearUpperRegisters_avx2, found it in: ${wide_functions}")
  endif()
  message(STATUS "${LIBRARY}: wide code in the 4 AVX2 kernels and ClearUpperRegisters_avx2 only")
endif()
