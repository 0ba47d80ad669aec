# Helpers shared by every folder of the build.

# Warnings for code we write; third-party headers come in as SYSTEM and stay quiet.
function(nemora_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Wnon-virtual-dtor)
    if(NEMORA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
