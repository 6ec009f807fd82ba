# kelvorant.exe: the program's folders, platform/mfc over the real Win32 API, and the resource script
# compiled by windres.
set(KV_PROGRAM_SOURCES "")
foreach(dir app ui driver inventory registers slots)
  file(GLOB dir_sources CONFIGURE_DEPENDS ${KV_ROOT}/${dir}/*.cpp)
  list(APPEND KV_PROGRAM_SOURCES ${dir_sources})
endforeach()
file(GLOB KV_MFC_SOURCES CONFIGURE_DEPENDS ${KV_ROOT}/platform/mfc/src/*.cpp)

add_executable(kelvorant WIN32 ${KV_PROGRAM_SOURCES} ${KV_MFC_SOURCES} ${KV_ROOT}/res/kelvorant.rc)
target_include_directories(kelvorant PRIVATE ${KV_ROOT} ${KV_ROOT}/ui ${KV_ROOT}/res ${KV_ROOT}/platform/mfc/include)
target_link_libraries(kelvorant PRIVATE comctl32)
# One file that runs on a bare Windows (or Wine): no mingw runtime DLLs beside it.
target_link_options(kelvorant PRIVATE -static)

