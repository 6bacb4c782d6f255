# zel_delay_import(<name> <import library> <DLL>): a library of delay-import stubs for every
# function of <DLL>, made from its import library, as target <name>_delay; its file is in
# ZEL_<NAME>_DELAY. Linked before the import library, the stubs win: the DLL, and the DLLs
# it imports, load on the first call instead of at every start.
#
# 32-bit import libraries name stdcall functions with their argument size (_Name@8); the
# stubs keep that name for the linker and import the plain name from the DLL.
function(zel_delay_import name import_library dll)
  find_library(imports NAMES ${import_library} REQUIRED NO_CACHE)
  find_program(ZEL_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)
  execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${imports} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "__imp_[A-Za-z0-9_@]+" exports "${symbols}")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(TRANSFORM exports REPLACE "^__imp__" "")
    set(kill_at --kill-at)
  else()
    list(TRANSFORM exports REPLACE "^__imp_" "")
    set(kill_at)
  endif()
  list(REMOVE_DUPLICATES exports)
  list(JOIN exports "\n" exports)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${name}_delay.def)
  set(library ${CMAKE_CURRENT_BINARY_DIR}/lib${name}_delay.a)
  file(CONFIGURE OUTPUT ${def} CONTENT "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  add_custom_command(OUTPUT ${library}
    COMMAND ${ZEL_DLLTOOL} --input-def ${def} --dllname ${dll} ${kill_at} --output-delaylib ${library}
    DEPENDS ${def} VERBATIM)
  add_custom_target(${name}_delay DEPENDS ${library})
  string(TOUPPER ${name} upper)
  set(ZEL_${upper}_DELAY ${library} CACHE INTERNAL "")
endfunction()
