# Cross build for Windows: ctest runs every test program under Wine through wine-run.sh, written
# here with the Qt and MinGW runtime folders the programs need on their PATH.
find_program(TELVARO_WINE wine REQUIRED)
set(TELVARO_QT_BIN "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE TELVARO_LIBSTDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
    OUTPUT_VARIABLE TELVARO_WINPTHREAD_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(TELVARO_GCC_RUNTIME_DIR "${TELVARO_LIBSTDCXX_DLL}" DIRECTORY)
get_filename_component(TELVARO_PTHREAD_RUNTIME_DIR "${TELVARO_WINPTHREAD_DLL}" DIRECTORY)
set(TELVARO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of the tests")
configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run.sh" @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
