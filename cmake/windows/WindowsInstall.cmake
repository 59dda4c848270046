# Windows installed tree (bin/, plugins/, translations/) and the NSIS installer (target
# "installer": build-win/telvaro-<version>-setup.exe). Qt comes from the cross build of Qt; the
# MinGW runtime DLLs ship beside the programs.
install(TARGETS telvaro-console RUNTIME DESTINATION bin)

set(qt_dlls "")
foreach(module Core Gui Widgets Network)
    list(APPEND qt_dlls "$<TARGET_FILE:Qt6::${module}>")
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
    OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
    OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
install(FILES ${qt_dlls} "${libstdcxx}" "${libgcc}" "${winpthread}" DESTINATION bin)
# Qt looks for its plugins and translations below the prefix one level above its DLLs.
file(WRITE "${PROJECT_BINARY_DIR}/packaging/qt.conf" "[Paths]\r\nPrefix = ..\r\n")
install(FILES "${PROJECT_BINARY_DIR}/packaging/qt.conf" DESTINATION bin)
install(FILES "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>" DESTINATION plugins/platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES "$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>" DESTINATION plugins/styles)
endif()
# Qt's own German texts (standard buttons), from the host's Qt translations.
find_file(TELVARO_QTBASE_DE qtbase_de.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH)
if(TELVARO_QTBASE_DE)
    install(FILES "${TELVARO_QTBASE_DE}" DESTINATION translations)
endif()
# Qt's and the runtime's DLLs are stripped with the programs (cmake --install --strip).
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    file(GLOB_RECURSE dlls \"\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(dll \${dlls})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()")

find_program(TELVARO_MAKENSIS makensis)
if(TELVARO_MAKENSIS)
    set(stage "${PROJECT_BINARY_DIR}/installer-stage")
    set(setup "${PROJECT_BINARY_DIR}/telvaro-${PROJECT_VERSION}-setup.exe")
    add_custom_target(installer
        COMMAND ${CMAKE_COMMAND} -E rm -rf "${stage}"
        COMMAND ${CMAKE_COMMAND} --install "${PROJECT_BINARY_DIR}" --prefix "${stage}" --strip
        COMMAND "${TELVARO_MAKENSIS}" -V2 -DVERSION=${PROJECT_VERSION} "-DSTAGE=${stage}"
            "-DICON=${PROJECT_SOURCE_DIR}/packaging/windows/telvaro.ico" "-DOUTFILE=${setup}"
            "${PROJECT_SOURCE_DIR}/packaging/windows/telvaro.nsi"
        DEPENDS telvaro telvaro-console telvaro-gwsim
        BYPRODUCTS "${setup}"
        COMMENT "NSIS installer ${setup}"
        VERBATIM)
endif()
