# Install rules and installers: a Debian package on Linux (CPack DEB, dependencies computed from the
# binaries by dpkg-shlibdeps), an NSIS installer on Windows. Included from the top CMakeLists after
# the targets exist (install() of a target from another directory needs CMake 3.13).
include(GNUInstallDirs)

set(TELVARO_APP_ID "de.telvaro.Telvaro")
set(TELVARO_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

# Position-independent executables where the toolchain can link them.
include(CheckPIESupported)
check_pie_supported(OUTPUT_VARIABLE pie_message LANGUAGES CXX)
set_property(TARGET telvaro telvaro-gwsim PROPERTY POSITION_INDEPENDENT_CODE ON)

install(TARGETS telvaro telvaro-gwsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET telvaro-window)
    set_property(TARGET telvaro-window PROPERTY POSITION_INDEPENDENT_CODE ON)
    install(TARGETS telvaro-window RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/telvaro)
endif()

set(CPACK_PACKAGE_NAME "telvaro")
set(CPACK_PACKAGE_VENDOR "Telvaro Entwicklung")
set(CPACK_PACKAGE_CONTACT "Telvaro Entwicklung <dev@telvaro.invalid>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "setup tool for wireless M-Bus radio gateways")
set(CPACK_STRIP_FILES ON)

if(UNIX AND NOT APPLE)
    # Desktop integration and documentation as Debian wants them: man pages and changelog
    # compressed without a time stamp, so the package is the same on every rebuild.
    set(compressed "${PROJECT_BINARY_DIR}/packaging")
    file(MAKE_DIRECTORY "${compressed}")
    set(gz_outputs "")
    foreach(pair "man/telvaro.1;telvaro.1.gz" "man/telvaro-gwsim.1;telvaro-gwsim.1.gz" "changelog;changelog.gz")
        list(GET pair 0 source)
        list(GET pair 1 target)
        add_custom_command(OUTPUT "${compressed}/${target}"
            COMMAND gzip -9 -n -c "${TELVARO_PACKAGING_DIR}/${source}" > "${compressed}/${target}"
            DEPENDS "${TELVARO_PACKAGING_DIR}/${source}" VERBATIM)
        list(APPEND gz_outputs "${compressed}/${target}")
    endforeach()
    add_custom_target(telvaro_package_docs ALL DEPENDS ${gz_outputs})

    # A stripped package build also drops the compiler's .comment notes, as Debian's own strip does.
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        foreach(program telvaro telvaro-gwsim)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")
    install(FILES "${compressed}/telvaro.1.gz" "${compressed}/telvaro-gwsim.1.gz"
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES "${TELVARO_PACKAGING_DIR}/${TELVARO_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES "${TELVARO_PACKAGING_DIR}/${TELVARO_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES "${TELVARO_PACKAGING_DIR}/${TELVARO_APP_ID}.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES "${TELVARO_PACKAGING_DIR}/copyright" "${compressed}/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/telvaro)

    set(CPACK_GENERATOR "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "net")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
    # Not visible to dpkg-shlibdeps: the window needs a Qt platform plugin; the German standard
    # buttons come from Qt's translations and the fixed dialog layout expects a Tahoma-wide face.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation2")
    # CPack puts the summary first as the synopsis and indents these lines; an empty line becomes
    # the paragraph mark.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Telvaro finds the wireless M-Bus gateways of one IPv4 segment (TCP port 30),
reads each gateway's encrypted setup record, stores it as an INI setup file
that other programs read too, lets the installer edit a setup in a German
dialog and sends it back to the gateway.

The package also holds telvaro-gwsim, a gateway simulator for trying the tool
without hardware.")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
elseif(WIN32)
    include(${PROJECT_SOURCE_DIR}/cmake/windows/WindowsInstall.cmake)
endif()

include(CPack)
