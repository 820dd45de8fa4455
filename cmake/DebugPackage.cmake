# Debian packages, made by CPack from the install components:
#   debug    camera + camera_doc    the cross build's program, for a camera image
#   camfind  factory + factory_doc  the discovery client, from either build
#   camsim   pcsim + pcsim_doc      the PC build's simulated camera
# `cmake --build BUILD --target packages` (after a build) writes the packages
# of that build into BUILD/packages/; scripts/packages makes all of them.
# The *_doc components hold what a package adds to the program: its manual
# page (generated from the program's own help, see man/helpman.py), its bash
# completion, /usr/share/doc/PACKAGE. They are never part of a plain install.
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(DEBUG_PACKAGE_MAINTAINER "Camera factory tools <factory-tools@example.com>" CACHE STRING
    "Maintainer of the Debian packages, \"Name <address>\"")
set(man ${CMAKE_BINARY_DIR}/man)
set(completions ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
set(helpman ${PROJECT_SOURCE_DIR}/man/helpman.py)

# The manual pages. debug's page asks the program, which needs a camera's
# paths to start: it runs in a simulated camera of its own (under the
# emulator in a cross build). camfind's asks camfind; camsim's reads the
# text that `camsim --help` prints.
set(camera_targets debug mkdb vdstandins camsim_run)
if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(APPEND camera_targets emulated_debug emulated_mkdb)
endif()
add_custom_command(OUTPUT ${man}/debug.1.gz
    COMMAND ${PROJECT_SOURCE_DIR}/sim/camsim --build ${CMAKE_BINARY_DIR} --root ${man}/camroot
            -- ${Python3_EXECUTABLE} ${helpman} debug ${PROJECT_SOURCE_DIR}/man/debug.1.scd
               ${man}/debug.1.gz ${PROJECT_VERSION}
    DEPENDS ${camera_targets} ${PROJECT_SOURCE_DIR}/man/debug.1.scd ${helpman}
    COMMENT "Manual page debug(1), from debug's help"
    VERBATIM)
add_custom_command(OUTPUT ${man}/camfind.1.gz
    COMMAND ${Python3_EXECUTABLE} ${helpman} camfind ${PROJECT_SOURCE_DIR}/man/camfind.1.scd
            ${man}/camfind.1.gz ${PROJECT_VERSION} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:camfind>
    DEPENDS camfind ${PROJECT_SOURCE_DIR}/man/camfind.1.scd ${helpman}
    COMMENT "Manual page camfind(1), from camfind -h"
    VERBATIM)
set(man_pages ${man}/debug.1.gz ${man}/camfind.1.gz)

# /usr/share/doc/PACKAGE: the copyright and a changelog of this version.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(doc_files "")
foreach(package debug camfind camsim)
    file(WRITE ${CMAKE_BINARY_DIR}/doc/${package}/changelog
"${package} (${PROJECT_VERSION}) unstable; urgency=medium

  * Version ${PROJECT_VERSION} of the camera's bench and factory-test tools.

 -- ${DEBUG_PACKAGE_MAINTAINER}  ${changelog_date}
")
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${package}/changelog.gz
        COMMAND gzip -9nkf changelog
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/doc/${package}
        DEPENDS ${CMAKE_BINARY_DIR}/doc/${package}/changelog
        VERBATIM)
    list(APPEND doc_files ${CMAKE_BINARY_DIR}/doc/${package}/changelog.gz)
endforeach()

macro(debug_package_doc package component)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/copyright ${CMAKE_BINARY_DIR}/doc/${package}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endmacro()

install(FILES ${man}/debug.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT camera_doc EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/completion/debug DESTINATION ${completions}
        COMPONENT camera_doc EXCLUDE_FROM_ALL)
debug_package_doc(debug camera_doc)

install(FILES ${man}/camfind.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT factory_doc EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/completion/camfind DESTINATION ${completions}
        COMPONENT factory_doc EXCLUDE_FROM_ALL)
debug_package_doc(camfind factory_doc)

if(NOT CMAKE_CROSSCOMPILING)
    cmake_path(ABSOLUTE_PATH DEBUG_INSTALL_BINDIR BASE_DIRECTORY /usr OUTPUT_VARIABLE bindir)
    cmake_path(ABSOLUTE_PATH DEBUG_INSTALL_SIMDIR BASE_DIRECTORY /usr OUTPUT_VARIABLE simdir)
    add_custom_command(OUTPUT ${man}/camsim.1.gz
        COMMAND ${Python3_EXECUTABLE} ${helpman} camsim ${PROJECT_SOURCE_DIR}/man/camsim.1.scd
                ${man}/camsim.1.gz ${PROJECT_VERSION} ${PROJECT_SOURCE_DIR}/sim/camsim.d/usage.txt
                ${simdir}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/camsim.1.scd ${PROJECT_SOURCE_DIR}/sim/camsim.d/usage.txt ${helpman}
        COMMENT "Manual page camsim(1), from camsim --help"
        VERBATIM)
    list(APPEND man_pages ${man}/camsim.1.gz)
    # /usr/bin/camsim: camsim started on the installed kit.
    file(RELATIVE_PATH DEBUG_KIT_FROM_BIN ${bindir} ${simdir})
    cmake_path(GET simdir FILENAME DEBUG_KIT_NAME)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/camsim.in ${CMAKE_BINARY_DIR}/doc/camsim/camsim @ONLY)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/doc/camsim/camsim DESTINATION ${DEBUG_INSTALL_BINDIR}
            COMPONENT pcsim_doc EXCLUDE_FROM_ALL)
    install(FILES ${man}/camsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT pcsim_doc EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/completion/camsim DESTINATION ${completions}
            COMPONENT pcsim_doc EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/lintian/camsim DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            COMPONENT pcsim_doc EXCLUDE_FROM_ALL)
    debug_package_doc(camsim pcsim_doc)
endif()
add_custom_target(man DEPENDS ${man_pages} ${doc_files})

# The Debian package that a library of the given soname is in, and the
# dependency its shlibs file gives for that soname: debug opens the capture
# library and SQLite by their sonames when first used, so dpkg-shlibdeps,
# which reads the needed entries, cannot see them.
function(debug_soname_depends var library soname)
    find_program(DEBUG_DPKG_QUERY dpkg-query)
    get_filename_component(dir ${library} DIRECTORY)
    if(DEBUG_DPKG_QUERY)
        execute_process(COMMAND ${DEBUG_DPKG_QUERY} -S ${dir}/${soname} OUTPUT_VARIABLE owner
                        ERROR_QUIET RESULT_VARIABLE failed)
    endif()
    if(NOT DEBUG_DPKG_QUERY OR failed OR NOT owner MATCHES "^([^:, ]+(:[^:, ]+)?): ")
        message(WARNING "no Debian package holds ${dir}/${soname}: the packages will not depend on it")
        return()
    endif()
    set(package ${CMAKE_MATCH_1})
    execute_process(COMMAND ${DEBUG_DPKG_QUERY} --control-show ${package} shlibs
                    OUTPUT_VARIABLE shlibs ERROR_QUIET)
    # libpcap.so.0.8 is "libpcap 0.8 DEPENDENCY" in shlibs.
    string(REGEX MATCH "^(.+)\\.so\\.(.+)$" ignored ${soname})
    string(REGEX MATCH "(^|\n)${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ([^\n]+)" line "${shlibs}")
    if(line)
        set(${var} "${CMAKE_MATCH_2}" PARENT_SCOPE)
    else()
        string(REGEX REPLACE ":.*" "" name ${package})
        set(${var} ${name} PARENT_SCOPE)
    endif()
endfunction()
debug_soname_depends(pcap_depends ${PCAP_LIBRARY} ${DEBUG_PCAP_SONAME})
debug_soname_depends(sqlite_depends ${sqlite_library} ${DEBUG_SQLITE_SONAME})
set(opened_depends ${pcap_depends} ${sqlite_depends})
list(JOIN opened_depends ", " opened_depends)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME debug)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${DEBUG_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
    set(CPACK_COMPONENTS_ALL camera camera_doc factory factory_doc)
else()
    set(CPACK_COMPONENTS_ALL factory factory_doc pcsim pcsim_doc)
endif()

# A description's first line is the synopsis, the next its long text, which
# CPack indents; an empty line there is a paragraph break.
set(CPACK_COMPONENT_CAMERA_GROUP debug)
set(CPACK_COMPONENT_CAMERA_DOC_GROUP debug)
set(CPACK_DEBIAN_DEBUG_PACKAGE_NAME debug)
set(CPACK_DEBIAN_DEBUG_PACKAGE_SECTION misc)
# The camera's closed libraries (libgpio.so and the others debug needs) are
# no Debian packages: the camera's image provides them, so they are not
# declared.
set(CPACK_DEBIAN_DEBUG_PACKAGE_DEPENDS "${opened_depends}")
set(CPACK_DEBIAN_DEBUG_DESCRIPTION "bench and factory-test tool of the IP camera
debug runs on the camera: each module (GPIO, PWM, ADC, motors, lens, IR-cut,
PTZ, Wi-Fi, SD card, EEPROM, flash, CPU load, media state, configuration
databases, the discovery responder) exercises one piece of the camera's
hardware or system software and prints its result for factory scripts.

It needs the camera's own libraries (GPIO, PWM, PTZ, Wi-Fi, configuration
store, lens driver), which the camera's image provides.")

set(CPACK_COMPONENT_FACTORY_GROUP camfind)
set(CPACK_COMPONENT_FACTORY_DOC_GROUP camfind)
set(CPACK_DEBIAN_CAMFIND_PACKAGE_NAME camfind)
set(CPACK_DEBIAN_CAMFIND_PACKAGE_SECTION net)
set(CPACK_DEBIAN_CAMFIND_DESCRIPTION "find and set up the IP cameras on a factory segment
camfind lists the cameras that answer a discovery search on an Ethernet
segment, one line each (MAC, addresses, HTTP port, addressing mode, title,
model), and sets one camera's address, netmask, gateway, DNS server, port
and title. It also speaks the cameras' planet UDP protocol.")

set(CPACK_COMPONENT_PCSIM_GROUP camsim)
set(CPACK_COMPONENT_PCSIM_DOC_GROUP camsim)
set(CPACK_DEBIAN_CAMSIM_PACKAGE_NAME camsim)
set(CPACK_DEBIAN_CAMSIM_PACKAGE_SECTION devel)
# What camsim runs besides the essential packages (bash, util-linux): its
# mounts (mount), the camera's network (iproute2), its SD cards
# (dosfstools), the jobs' killall (psmisc); the camera's disk tools, clock
# and DHCP, and the peer's capture, are recommended.
set(camsim_depends ${pcap_depends} ${sqlite_depends} mount iproute2 dosfstools psmisc)
list(JOIN camsim_depends ", " CPACK_DEBIAN_CAMSIM_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_CAMSIM_PACKAGE_RECOMMENDS "fdisk, time, dhcpcd-base, dnsmasq-base, tcpdump")
set(CPACK_DEBIAN_CAMSIM_DESCRIPTION "simulated IP camera for rehearsing factory scripts on a PC
camsim runs a command inside a simulated camera: private namespaces give it
the camera's paths, stand-ins take the place of the camera's closed
libraries and keep the device state in files, and a device shim answers
for the EEPROM, the flash and the SD card. The camera's debug program,
built for the PC, runs there as it does on a camera, so that a factory
script can be rehearsed without one; a camera or a whole segment of
cameras can be put on a network for camfind.")

include(CPack)

add_custom_target(packages
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/packages
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    DEPENDS man
    COMMENT "Debian packages in ${CMAKE_BINARY_DIR}/packages"
    VERBATIM)
