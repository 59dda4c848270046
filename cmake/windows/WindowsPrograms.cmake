# Windows: telvaro.exe is a program of the GUI subsystem (no console window from the Start menu);
# telvaro.com, the same program for the console subsystem, sits beside it. A console finds the .com
# first (PATHEXT), waits for it and sees its exit code; both read and write the same telvaro.INI,
# as the settings file follows the executable's name.
set(TELVARO_WINDOWS_ICON "${PROJECT_SOURCE_DIR}/packaging/windows/telvaro.ico")
set(TELVARO_WINDOWS_RC "${PROJECT_BINARY_DIR}/packaging/telvaro.rc")
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/telvaro.rc.in" "${TELVARO_WINDOWS_RC}" @ONLY)

set_target_properties(telvaro PROPERTIES WIN32_EXECUTABLE ON)
target_sources(telvaro PRIVATE "${TELVARO_WINDOWS_RC}")

add_executable(telvaro-console gui/app/main.cpp "${TELVARO_WINDOWS_RC}")
target_link_libraries(telvaro-console PRIVATE telvaro_app)
set_target_properties(telvaro-console PROPERTIES OUTPUT_NAME telvaro SUFFIX ".com")
