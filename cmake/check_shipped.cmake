cmake_policy(SET CMP0057 NEW)
# The checks of a shipped executable: it imports only DLLs that Windows brings itself, none of the
# newer calls by name, is of the build's architecture and subsystem, asks for ASLR and DEP, and has
# a manifest.
set(allowed ADVAPI32.DLL COMCTL32.DLL GDI32.DLL HID.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL
    OLEAUT32.DLL PSAPI.DLL SETUPAPI.DLL SHELL32.DLL USER32.DLL VERSION.DLL WINMM.DLL)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(bad "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(TOUPPER "${dll}" dll)
  string(STRIP "${dll}" dll)
  message(STATUS "imports ${dll}")
  if(NOT dll IN_LIST allowed)
    list(APPEND bad ${dll})
  endif()
endforeach()
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
if(bad)
  message(FATAL_ERROR "imports beyond Windows' own: ${bad}")
endif()
# Calls that came with Windows 7, 8, 8.1 and 10 are looked up at run time: imported, they would stop
# the program from starting on an older system.
foreach(call GetDpiForWindow GetDpiForSystem AdjustWindowRectExForDpi SystemParametersInfoForDpi
        GetSystemMetricsForDpi SetThreadDpiAwarenessContext GetDpiForMonitor
        ChangeWindowMessageFilterEx SetProcessMitigationPolicy WerRegisterExcludedMemoryBlock)
  if(dump MATCHES "[ \t]${call}\n")
    list(APPEND bad ${call})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "imports of calls that older Windows lacks: ${bad}")
endif()
file(READ ${EXE} header LIMIT 2 HEX)
if(NOT header STREQUAL "4d5a")
  message(FATAL_ERROR "${EXE} is not a Windows executable")
endif()
# pei-i386 for the 32-bit build, pei-x86-64 for the 64-bit one.
if(NOT dump MATCHES "file format ${FORMAT}\n")
  message(FATAL_ERROR "${EXE} is not of the build's architecture (${FORMAT})")
endif()
# ASLR (DYNAMIC_BASE, with the relocations that let Windows move the image) and DEP (NX_COMPAT),
# and for the 64-bit build high-entropy ASLR (HIGH_ENTROPY_VA): the linker sets them today, and a
# change of toolchain must not drop them.
set(want "0x40 | 0x100")
if(FORMAT STREQUAL "pei-x86-64")
  set(want "${want} | 0x20")
endif()
string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" found "${dump}")
set(flags "0x${CMAKE_MATCH_1}")
string(REGEX MATCH "Entry 5 [0-9a-fA-F]+ ([0-9a-fA-F]+) Base Relocation Directory" found "${dump}")
set(relocs "0x${CMAKE_MATCH_1}")
if(flags STREQUAL "0x" OR relocs STREQUAL "0x")
  message(FATAL_ERROR "${EXE}: no DllCharacteristics or relocation directory in its header")
endif()
math(EXPR missing "(${want}) & ~(${flags})")
math(EXPR relocs "${relocs}")
if(NOT missing EQUAL 0 OR relocs EQUAL 0)
  message(FATAL_ERROR "${EXE} lacks ASLR or DEP: DllCharacteristics ${flags}, relocations ${relocs} bytes")
endif()
# 2 for a windowed program (the default), 3 for a console one.
if(NOT DEFINED SUBSYSTEM)
  set(SUBSYSTEM 2)
endif()
if(NOT dump MATCHES "Subsystem[ \t]+0+${SUBSYSTEM}[ \t]")
  message(FATAL_ERROR "${EXE} is not of subsystem ${SUBSYSTEM} (2 windowed, 3 console)")
endif()
# Without a manifest that says "as invoker" Windows virtualizes the program's file writes, and
# without the supported systems it treats the program as one written for Vista.
file(STRINGS ${EXE} manifest REGEX "requestedExecutionLevel|supportedOS")
if(NOT manifest MATCHES "requestedExecutionLevel level=\"asInvoker\"" OR
   NOT manifest MATCHES "supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"")
  message(FATAL_ERROR "${EXE} has no manifest that runs it as the invoking user on Windows 10")
endif()
