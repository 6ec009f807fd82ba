# kv_embed_files(TARGET name SYMBOL sym FILES f1 f2 ...)
# Builds a static library `name` holding one C++ table `sym` of {file name, bytes, size}, ended by a null
# entry. The bytes are regenerated whenever a listed file changes, and aligned as a loaded image's sections
# are. This is how the demo machine's capture and the resource section become part of an executable.
set(KV_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_one.cmake)

function(kv_embed_files)
  cmake_parse_arguments(EMB "" "TARGET;SYMBOL" "FILES" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${EMB_TARGET}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DSYMBOL=${EMB_SYMBOL} "-DFILES=${EMB_FILES}" -P ${KV_EMBED_SCRIPT}
    DEPENDS ${EMB_FILES} ${KV_EMBED_SCRIPT}
    COMMENT "Embedding ${EMB_SYMBOL}"
    VERBATIM)
  add_library(${EMB_TARGET} STATIC ${out})
  target_link_libraries(${EMB_TARGET} PRIVATE kv_platform_internal)
  target_include_directories(${EMB_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/include)
endfunction()
