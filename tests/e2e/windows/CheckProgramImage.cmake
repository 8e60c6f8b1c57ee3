# Reads the PE tables of morv.exe with objdump and checks that it is a GUI
# program that exports jvmLauncherGetAPI by name and imports system DLLs
# only: nothing of the compiler's runtime may need a DLL beside it.
# Arguments: OBJDUMP, PROGRAM.
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed (${rc})")
endif()

set(failures "")
if(NOT dump MATCHES "Subsystem[ \t]+0+2[ \t]+\\(Windows GUI\\)")
  string(APPEND failures "not a GUI-subsystem program\n")
endif()
if(NOT dump MATCHES "\\[[ 0-9]+\\] jvmLauncherGetAPI\n")
  string(APPEND failures "jvmLauncherGetAPI is not exported by name\n")
endif()

set(system_dlls kernel32.dll user32.dll shell32.dll msvcrt.dll advapi32.dll ntdll.dll
  ucrtbase.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  string(APPEND failures "no import table found\n")
endif()
foreach(entry ${imports})
  string(REGEX REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
    string(APPEND failures "imports ${dll}, which is not a system DLL\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${PROGRAM}:\n${failures}")
endif()
message(STATUS "imports: ${imports}")
