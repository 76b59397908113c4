# Checks that a DLL exports exactly DriverProc and imports only system DLLs.
cmake_minimum_required(VERSION 3.25)
#   cmake -DOBJDUMP=<objdump> -DDLL=<voxa.dll> -P CheckDllInterface.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL
            USER32.DLL VERSION.DLL WINMM.DLL)
foreach(line ${imports})
  string(REPLACE "DLL Name: " "" name "${line}")
  string(TOUPPER "${name}" name)
  if(NOT name IN_LIST allowed)
    message(FATAL_ERROR "${DLL} imports ${name}, which is not among the system DLLs it may use")
  endif()
endforeach()

# The export name table: "[   0] DriverProc" lines after "[Ordinal/Name Pointer] Table".
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_@0-9]+" exports "${table}")
if(NOT exports MATCHES "^\\[ *0\\] DriverProc$")
  message(FATAL_ERROR "${DLL} must export exactly DriverProc; it exports: ${exports}")
endif()
message(STATUS "${DLL}: exports DriverProc only; imports ${imports}")
