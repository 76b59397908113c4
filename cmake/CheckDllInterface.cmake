# What a loader sees of voxa.dll, checked on the linked file:
# - it exports exactly DriverProc;
# - it imports exactly the functions of its build in the allowed list
#   (driver/dll_imports.txt), each of which the oldest system of its target
#   has;
# - its headers ask for no newer system than that (subsystem version), it
#   has no thread-local-storage directory (which a DLL loaded at run time
#   cannot use before Windows Vista), its list of static constructors is
#   empty (no runtime runs them), and a 32-bit DLL is not marked as unable to
#   handle exceptions and has no load configuration (whose safe-handler
#   table would have to list its fault guard's handler, a record on the
#   stack, or the system refuses it).
#   cmake -DOBJDUMP=<objdump> -DDLL=<voxa.dll> -DIMPORTS=<dll_imports.txt> -DBITS=<32|64>
#         -P CheckDllInterface.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p -t ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
set(problems "")

# The export name table: "[   0] DriverProc" lines after "[Ordinal/Name Pointer] Table".
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_@0-9]+" exports "${table}")
if(NOT exports MATCHES "^\\[ *0\\] DriverProc$")
  list(APPEND problems "it must export exactly DriverProc; it exports: ${exports}")
endif()

# Imports as "DLL!function", DLL names upper-cased.
set(imported "")
string(REPLACE ";" "," dump_lines "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump_lines}")
set(library "")
foreach(line IN LISTS dump_lines)
  if(line MATCHES "^\tDLL Name: (.+)$")
    string(TOUPPER "${CMAKE_MATCH_1}" library)
  elseif(library AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([A-Za-z_0-9@]+)$")
    list(APPEND imported "${library}!${CMAKE_MATCH_1}")
  elseif(NOT line MATCHES "^\t")
    set(library "")
  endif()
endforeach()

set(allowed "")
file(STRINGS "${IMPORTS}" rows REGEX "^[^#]")
foreach(row IN LISTS rows)
  string(REGEX MATCHALL "[^ ]+" words "${row}")
  list(LENGTH words count)
  list(GET words 0 build)
  if(count LESS 4 OR NOT build MATCHES "^(both|32|64)$")
    message(FATAL_ERROR "${IMPORTS}: a row is: build (both, 32 or 64), DLL, function, reason: ${row}")
  endif()
  list(GET words 1 library)
  list(GET words 2 name)
  string(TOUPPER "${library}" library)
  if(build STREQUAL "both" OR build STREQUAL BITS)
    list(APPEND allowed "${library}!${name}")
  endif()
endforeach()
foreach(entry IN LISTS imported)
  if(NOT entry IN_LIST allowed)
    list(APPEND problems "it imports ${entry}, which ${IMPORTS} does not allow for ${BITS}-bit")
  endif()
endforeach()
foreach(entry IN LISTS allowed)
  if(NOT entry IN_LIST imported)
    list(APPEND problems "${IMPORTS} lists ${entry} for ${BITS}-bit, which it does not import")
  endif()
endforeach()

# Headers.
if(BITS EQUAL 32)
  set(oldest 4.0)
else()
  set(oldest 5.2)
endif()
string(REGEX MATCH "MajorSubsystemVersion\t([0-9]+)" _ "${dump}")
set(subsystem ${CMAKE_MATCH_1})
string(REGEX MATCH "MinorSubsystemVersion\t([0-9]+)" _ "${dump}")
set(subsystem ${subsystem}.${CMAKE_MATCH_1})
if(subsystem VERSION_GREATER oldest)
  list(APPEND problems "its subsystem version ${subsystem} is newer than ${oldest}")
endif()
if(NOT dump MATCHES "Entry 9 0+ 0+ Thread Storage Directory")
  list(APPEND problems "it has a thread-local-storage directory")
endif()
string(REGEX MATCH "DllCharacteristics\t([0-9a-f]+)" _ "${dump}")
math(EXPR no_seh "0x${CMAKE_MATCH_1} & 0x400")
if(BITS EQUAL 32 AND NOT no_seh EQUAL 0)
  list(APPEND problems "it is marked NO_SEH, so Windows would refuse its fault guard's handler")
endif()
if(BITS EQUAL 32 AND NOT dump MATCHES "Entry a 0+ 0+ Load Configuration Directory")
  list(APPEND problems "it has a load configuration, whose safe exception handler table Windows would hold its fault guard's handler to")
endif()
string(REGEX MATCH "0x([0-9a-f]+) __CTOR_LIST__\n" _ "${dump}")
set(constructors 0x${CMAKE_MATCH_1})
string(REGEX MATCH "0x([0-9a-f]+) __DTOR_LIST__\n" _ "${dump}")
set(destructors 0x${CMAKE_MATCH_1})
math(EXPR list_bytes "${destructors} - ${constructors}")
math(EXPR empty_bytes "${BITS} / 4")  # the start marker and the end of the list
if(NOT list_bytes EQUAL empty_bytes)
  list(APPEND problems "it has static constructors, which nothing would run (the list from ${constructors} to ${destructors})")
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${DLL}:\n  ${text}")
endif()
list(LENGTH imported count)
message(STATUS "${DLL}: exports DriverProc only; imports the ${count} allowed functions; subsystem ${subsystem}, no TLS directory, no load configuration, no static constructors")
