# Debian's build flags as dpkg-buildflags gives them with every hardening feature: stack
# protector, fortified glibc calls, read-only relocations bound at start-up, and so on; the
# compiler already makes position-independent executables. The build type still chooses the
# optimisation and debug information. Off for debug and sanitizer builds, since fortified calls
# need an optimising build.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT LODVIK_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(debian_flags_default ON)
else()
    set(debian_flags_default OFF)
endif()
option(LODVIK_DEBIAN_BUILDFLAGS "Build with the flags of dpkg-buildflags (hardening)"
       ${debian_flags_default})

if(LODVIK_DEBIAN_BUILDFLAGS)
    if(NOT DPKG_BUILDFLAGS)
        message(FATAL_ERROR "LODVIK_DEBIAN_BUILDFLAGS needs dpkg-buildflags (package dpkg-dev)")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        # Run in the source folder: its -ffile-prefix-map names the folder it runs in.
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        if(CMAKE_BUILD_TYPE)
            list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
        endif()
        set(debian_${kind} ${flags})
    endforeach()
    add_compile_options(${debian_CPPFLAGS} ${debian_CXXFLAGS})
    add_link_options(${debian_LDFLAGS})
    message(STATUS "dpkg-buildflags: ${debian_CPPFLAGS} ${debian_CXXFLAGS} ${debian_LDFLAGS}")
endif()
