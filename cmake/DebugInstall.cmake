# Install rules. A plain `cmake --install BUILD` installs the camera
# component: `debug` alone, where the camera keeps its tools, with no rpath
# (the camera's own libraries are in its library directory).
#
# On a PC build, `cmake --install BUILD --component pcsim` installs the
# simulated camera as one relocatable directory that camsim runs from:
#   SIMDIR/sim/camsim, SIMDIR/sim/camsim.d/, SIMDIR/sim/root/
#                                         camsim, its jobs and the root template
#   SIMDIR/libexec/camsim-run             camsim's compiled launcher
#   SIMDIR/bin/debug, SIMDIR/bin/mkdb     the program and the database maker
#   SIMDIR/lib/                           the stand-in libraries
#   SIMDIR/lib/shim/lib/ARCH/             the preloaded device shim
# used as `SIMDIR/sim/camsim --build SIMDIR --root DIR -- debug ...`.
include(GNUInstallDirs)

set(DEBUG_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR} CACHE PATH
    "Directory of the installed debug, relative to CMAKE_INSTALL_PREFIX or absolute")
set(DEBUG_INSTALL_SIMDIR ${CMAKE_INSTALL_LIBDIR}/debug-sim CACHE PATH
    "Directory of the pcsim component, relative to CMAKE_INSTALL_PREFIX or absolute")

install(TARGETS debug RUNTIME DESTINATION ${DEBUG_INSTALL_BINDIR} COMPONENT camera)

# `cmake --install BUILD --component factory` installs camfind, the factory
# PC's discovery client (from a PC build, or the aarch64 one for a camera
# that looks for its neighbours); it is never part of the camera component.
install(TARGETS camfind RUNTIME DESTINATION ${DEBUG_INSTALL_BINDIR} COMPONENT factory EXCLUDE_FROM_ALL)

if(NOT CMAKE_CROSSCOMPILING)
    install(TARGETS debug mkdb RUNTIME DESTINATION ${DEBUG_INSTALL_SIMDIR}/bin
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    # The stand-ins' one file and the links that give it the camera's names.
    install(TARGETS vdstandins LIBRARY DESTINATION ${DEBUG_INSTALL_SIMDIR}/lib
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    foreach(name IN LISTS DEBUG_STANDIN_NAMES)
        install(FILES ${CMAKE_BINARY_DIR}/lib/lib${name}.so DESTINATION ${DEBUG_INSTALL_SIMDIR}/lib
                COMPONENT pcsim EXCLUDE_FROM_ALL)
    endforeach()
    install(TARGETS vdshim LIBRARY DESTINATION ${DEBUG_INSTALL_SIMDIR}/lib/shim/lib/${CMAKE_LIBRARY_ARCHITECTURE}
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/sim/camsim DESTINATION ${DEBUG_INSTALL_SIMDIR}/sim
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/camsim.d DESTINATION ${DEBUG_INSTALL_SIMDIR}/sim
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    install(TARGETS camsim_run RUNTIME DESTINATION ${DEBUG_INSTALL_SIMDIR}/libexec
            COMPONENT pcsim EXCLUDE_FROM_ALL)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/root DESTINATION ${DEBUG_INSTALL_SIMDIR}/sim
            USE_SOURCE_PERMISSIONS COMPONENT pcsim EXCLUDE_FROM_ALL)
endif()
