# Writes the manual page (gzip -9n, as Debian wants it) and the bash completion from the built
# program's help texts, so that they say what --help says.
#   cmake -DPROGRAM=... -DOUTPUT_DIR=... -DCOMPLETION_TEMPLATE=... -P GenerateFromProgram.cmake
# A sanitizer build's program runs here too; its leak report is of no interest at build time.
set(ENV{ASAN_OPTIONS} detect_leaks=0)

function(run_program option output)
    execute_process(COMMAND ${PROGRAM} ${option} OUTPUT_VARIABLE text RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} ${option} failed: ${result}")
    endif()
    set(${output} "${text}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${OUTPUT_DIR})

run_program(--generate-manual-page manual)
file(WRITE ${OUTPUT_DIR}/lodvikprodsok.1 "${manual}")
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n -c ${OUTPUT_DIR}/lodvikprodsok.1
                OUTPUT_FILE ${OUTPUT_DIR}/lodvikprodsok.1.gz COMMAND_ERROR_IS_FATAL ANY)

run_program(--generate-completion-data data)
# Indented as the body of the completion function.
string(STRIP "${data}" data)
string(REPLACE "\n" "\n    " data "${data}")
set(COMPLETION_DATA "    ${data}")
configure_file(${COMPLETION_TEMPLATE} ${OUTPUT_DIR}/lodvikprodsok @ONLY)
