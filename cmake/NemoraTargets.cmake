# Helpers shared by every folder of the build.

# Warnings for code we write; third-party headers come in as SYSTEM and stay quiet.
function(nemora_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Wnon-virtual-dtor)
    if(NEMORA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
        # GCC 12 reports out-of-bounds copies inside libstdc++ containers and strings at -O2/-O3 that
        # cannot happen (GCC bugs 105329, 105651, 106199); keep them as warnings there, not errors.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            target_compile_options(${target} PRIVATE -Wno-error=stringop-overflow -Wno-error=array-bounds
                                                     -Wno-error=restrict)
        endif()
    endif()
endfunction()
