# The program: the Windows dialog application of app/ ui/ driver/ inventory/ registers/ slots/ and res/.
# Its sources compile against the SDK and MFC headers of platform/ only.
set(KV_PROGRAM_DIRS app ui driver inventory registers slots)
set(KV_PROGRAM_SOURCES "")
foreach(dir IN LISTS KV_PROGRAM_DIRS)
  file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND KV_PROGRAM_SOURCES ${dir_sources})
endforeach()

# Everything but the application object, so that tests can drive the dialog without a second `theApp`.
set(KV_APP_SOURCES ${KV_PROGRAM_SOURCES})
list(FILTER KV_PROGRAM_SOURCES EXCLUDE REGEX "/app/")
list(FILTER KV_APP_SOURCES INCLUDE REGEX "/app/")

if(NOT KV_APP_SOURCES)
  return()
endif()

add_library(kelvorant_program STATIC ${KV_PROGRAM_SOURCES})
target_include_directories(kelvorant_program PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/ui)
target_link_libraries(kelvorant_program PUBLIC kv_mfc)

# The resource section: the resource script compiled by windres, read by the platform's loader.
kv_resource_section(TARGET kelvorant_resources SYMBOL kv_embedded_resources
  SCRIPT ${CMAKE_SOURCE_DIR}/res/kelvorant.rc
  INCLUDES ${CMAKE_SOURCE_DIR}/ui ${CMAKE_SOURCE_DIR}/res
  DEPENDS ${CMAKE_SOURCE_DIR}/ui/resource.h ${CMAKE_SOURCE_DIR}/res/kelvorant.ico)

add_executable(kelvorant ${KV_APP_SOURCES})
target_link_libraries(kelvorant PRIVATE kelvorant_program kv_crt kelvorant_resources)
# What start-up loads from the program's folder: the window library, when a window is asked for.
add_dependencies(kelvorant kelvorant_window)
if(TARGET KELVORANT_sys)
  add_dependencies(kelvorant KELVORANT_sys)
endif()
