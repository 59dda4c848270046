# Shared compile settings for every target of the project.
add_library(telvaro_settings INTERFACE)
target_compile_features(telvaro_settings INTERFACE cxx_std_20)
if(MSVC)
    # Sources are UTF-8 without a byte order mark; MSVC would read them in the ANSI code page.
    target_compile_options(telvaro_settings INTERFACE /W4 /permissive- /utf-8 /Zc:__cplusplus)
else()
    target_compile_options(telvaro_settings INTERFACE -Wall -Wextra -pedantic -Wno-missing-field-initializers)
endif()
target_compile_definitions(telvaro_settings INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

option(TELVARO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TELVARO_SANITIZE)
    target_compile_options(telvaro_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(telvaro_settings INTERFACE -fsanitize=address,undefined)
endif()
