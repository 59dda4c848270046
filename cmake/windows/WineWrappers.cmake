# Shell wrappers that start the console program (telvaro.com) and the simulator under Wine, for the
# script tests; they replace the program paths those tests receive.
foreach(pair "telvaro;telvaro-console" "telvaro-gwsim;telvaro-gwsim")
    list(GET pair 0 name)
    list(GET pair 1 target)
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/wine-bin/${name}"
        CONTENT "#!/bin/sh\nexec \"${CMAKE_CROSSCOMPILING_EMULATOR}\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(cli_programs "${CMAKE_BINARY_DIR}/wine-bin/telvaro" "${CMAKE_BINARY_DIR}/wine-bin/telvaro-gwsim")
