# Where the program goes when it is installed: lib/kelvorant/ under the prefix (not CMAKE_INSTALL_LIBDIR,
# which Debian makes multiarch), with everything that the build puts beside it.
include(GNUInstallDirs)
set(KV_INSTALL_PROGRAM_DIR lib/kelvorant)
set(KV_INSTALL_PROGRAM_FULL_DIR ${CMAKE_INSTALL_PREFIX}/${KV_INSTALL_PROGRAM_DIR})

# kv_install_beside_program(TARGET...): installs executables and libraries into the program's folder. Every
# file that the build puts beside the program (the driver, a platform library) is given to it, so that the
# installed program finds them in its folder as the built one does in the build folder.
function(kv_install_beside_program)
  install(TARGETS ${ARGN}
    RUNTIME DESTINATION ${KV_INSTALL_PROGRAM_DIR}
    LIBRARY DESTINATION ${KV_INSTALL_PROGRAM_DIR})
endfunction()
