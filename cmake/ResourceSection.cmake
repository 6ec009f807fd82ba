# kv_resource_section(TARGET name SYMBOL sym SCRIPT file.rc [INCLUDES dir...] [DEPENDS file...])
# Compiles a resource script with windres, as the Windows build compiles it, and builds a static library
# `name` that links its resource section into an executable: the table `sym` (see EmbedFiles.cmake) holding
# one entry, ".rsrc", with the bytes of the .rsrc section of windres' COFF object. Their data entries hold
# offsets from the section's start, as windres leaves them for the linker: the section is placed at RVA 0.
# DEPENDS lists what the script reads besides itself (its headers, its icons).
find_program(KV_WINDRES x86_64-w64-mingw32-windres REQUIRED)
find_program(KV_OBJCOPY x86_64-w64-mingw32-objcopy REQUIRED)

function(kv_resource_section)
  cmake_parse_arguments(RS "" "TARGET;SYMBOL;SCRIPT" "INCLUDES;DEPENDS" ${ARGN})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${RS_TARGET})
  set(includes "")
  foreach(inc IN LISTS RS_INCLUDES)
    list(APPEND includes -I ${inc})
  endforeach()
  add_custom_command(
    OUTPUT ${dir}/.rsrc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${KV_WINDRES} ${includes} -O coff ${RS_SCRIPT} ${dir}/resources.o
    COMMAND ${KV_OBJCOPY} -O binary --only-section=.rsrc ${dir}/resources.o ${dir}/.rsrc
    DEPENDS ${RS_SCRIPT} ${RS_DEPENDS}
    COMMENT "Compiling ${RS_SCRIPT} with windres"
    VERBATIM)
  kv_embed_files(TARGET ${RS_TARGET} SYMBOL ${RS_SYMBOL} FILES ${dir}/.rsrc)
endfunction()
