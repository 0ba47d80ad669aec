# Makes a gzipped manual page from a program's --help and --version with help2man.
# cmake -DHELP2MAN=... -DPROGRAM=... -DVERSION=1.2.3 -DINCLUDE=file.h2m -DOUTPUT=name.1.gz [-DSUBCOMMANDS=ON] -P ManPage.cmake
# With SUBCOMMANDS, every command listed under "Commands:" in PROGRAM --help gets a section with the text
# of PROGRAM COMMAND --help, so the page lists every option of every command.
foreach(var HELP2MAN PROGRAM VERSION INCLUDE OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "ManPage.cmake: ${var} is not set")
    endif()
endforeach()

file(READ ${INCLUDE} include_text)
if(SUBCOMMANDS)
    execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} --help failed: ${rc}")
    endif()
    string(REGEX MATCH "\nCommands:\n([^\n]+\n)+" block "${help}")
    string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" names "${block}")
    string(APPEND include_text "\n[COMMANDS]\n")
    get_filename_component(program_name ${PROGRAM} NAME)
    foreach(name IN LISTS names)
        string(STRIP "${name}" name)
        execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "${PROGRAM} ${name} --help failed: ${rc}")
        endif()
        # Shown as written: backslashes escaped, lines that start with a roff control character kept.
        string(REPLACE "\\" "\\e" text "${text}")
        string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
        string(APPEND include_text ".SS \"${program_name} ${name}\"\n.nf\n${text}.fi\n")
    endforeach()
endif()

get_filename_component(out_dir ${OUTPUT} DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
file(WRITE ${page}.h2m "${include_text}")
# The version is given, not read: the version text's library lines do not belong in the page.
get_filename_component(program_name ${PROGRAM} NAME)
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 "--version-string=${program_name} ${VERSION}"
                        --include=${page}.h2m --output=${page} ${PROGRAM}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}: ${rc}")
endif()
# -n: no name or time stamp in the gzip header, so the same page gives the same bytes.
execute_process(COMMAND gzip -9 -n -c ${page} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}: ${rc}")
endif()
