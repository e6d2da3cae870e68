# Writes the manual page (gzip -9n, as Debian wants it) and the bash completion from the built
# program's help texts, so that they say what --help says.
# The manual page also gets the sections of MANUAL_SECTIONS (environment, files, examples) and,
# in its title line, the date of the latest entry of CHANGELOG: the release's date, so that a
# rebuild gives the same page.
#   cmake -DPROGRAM=... -DOUTPUT_DIR=... -DCOMPLETION_TEMPLATE=... -DMANUAL_SECTIONS=...
#         -DCHANGELOG=... -P GenerateFromProgram.cmake
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
file(STRINGS ${CHANGELOG} trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT trailer MATCHES ", ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "no date in the first entry of ${CHANGELOG}: ${trailer}")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
if(month LESS 0)
    message(FATAL_ERROR "no month in the first entry of ${CHANGELOG}: ${trailer}")
endif()
# Two digits each: 100 more, the hundreds dropped.
math(EXPR month "${month} + 101")
math(EXPR day "${CMAKE_MATCH_1} + 100")
string(SUBSTRING ${month} 1 2 month)
string(SUBSTRING ${day} 1 2 day)
set(date ${CMAKE_MATCH_3}-${month}-${day})
string(REGEX REPLACE "^(\\.TH [^ ]+ 1) \"\"" "\\1 \"${date}\"" manual "${manual}")
file(READ ${MANUAL_SECTIONS} sections)
file(WRITE ${OUTPUT_DIR}/lodvikprodsok.1 "${manual}${sections}")
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n -c ${OUTPUT_DIR}/lodvikprodsok.1
                OUTPUT_FILE ${OUTPUT_DIR}/lodvikprodsok.1.gz COMMAND_ERROR_IS_FATAL ANY)

run_program(--generate-completion-data data)
# Indented as the body of the completion function.
string(STRIP "${data}" data)
string(REPLACE "\n" "\n    " data "${data}")
set(COMPLETION_DATA "    ${data}")
configure_file(${COMPLETION_TEMPLATE} ${OUTPUT_DIR}/lodvikprodsok @ONLY)
