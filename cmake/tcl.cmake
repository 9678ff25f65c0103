# Finds one Tcl installation and takes every piece from it: tclConfig.sh, the
# headers, the stub library, the shared library and tclsh. Prefixes given in
# CMAKE_PREFIX_PATH are searched before the system's, so
# -DCMAKE_PREFIX_PATH=PREFIX builds against the Tcl installed there alone.
# Each piece must be of the version tclConfig.sh names; a mix stops the
# configuration. Sets TCL_VERSION, TCL_MAJOR_VERSION, and the cache entries
# TCL_CONFIG_SH, TCL_INCLUDE_PATH, TCL_STUB_LIBRARY, TCL_LIBRARY and TCLSH.

# The value of one variable of tclConfig.sh, without its quotes.
function(zolv_tcl_config_value name out)
    file(STRINGS "${TCL_CONFIG_SH}" line REGEX "^${name}=" LIMIT_COUNT 1)
    string(REGEX REPLACE "^${name}='?([^']*)'?$" "\\1" value "${line}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Stops the configuration: the piece `what` at `path` is of another Tcl, `found`.
function(zolv_tcl_mix what path found)
    message(FATAL_ERROR "${what} ${path} is of ${found}, but ${TCL_CONFIG_SH} is "
        "Tcl ${TCL_VERSION}: headers, stub library, library and tclsh must come from one "
        "Tcl. Point CMAKE_PREFIX_PATH at one installation (or TCL_CONFIG_SH at its "
        "tclConfig.sh) and let the rest be found: -U<entry> drops an entry given before.")
endfunction()

# Finds the pieces and checks them; the helpers' names stay in the function.
function(zolv_find_tcl)
    # Another CMAKE_PREFIX_PATH than last time: every piece is looked for again.
    if(DEFINED ZOLV_TCL_PREFIXES AND NOT ZOLV_TCL_PREFIXES STREQUAL "${CMAKE_PREFIX_PATH}")
        foreach(entry TCL_CONFIG_SH TCL_INCLUDE_PATH TCL_STUB_LIBRARY TCL_LIBRARY TCLSH)
            unset(${entry} CACHE)
        endforeach()
    endif()
    set(ZOLV_TCL_PREFIXES "${CMAKE_PREFIX_PATH}" CACHE INTERNAL
        "The CMAKE_PREFIX_PATH that Tcl was found with")

    # The directories that may hold tclConfig.sh: the given prefixes before the
    # system's; in each, the multiarch directory, then the plain one, then the
    # directory of each version.
    file(TO_CMAKE_PATH "$ENV{CMAKE_PREFIX_PATH}" env_prefixes)
    set(config_dirs "")
    foreach(prefix IN LISTS CMAKE_PREFIX_PATH env_prefixes CMAKE_SYSTEM_PREFIX_PATH)
        foreach(lib IN ITEMS lib/${CMAKE_LIBRARY_ARCHITECTURE} lib64 lib)
            foreach(dir IN ITEMS "" /tcl8.6 /tcl9.0)
                list(APPEND config_dirs "${prefix}/${lib}${dir}")
            endforeach()
        endforeach()
    endforeach()
    find_file(TCL_CONFIG_SH tclConfig.sh PATHS ${config_dirs} NO_DEFAULT_PATH
              DOC "tclConfig.sh of the Tcl to build against")
    if(NOT TCL_CONFIG_SH)
        message(FATAL_ERROR "No tclConfig.sh found: install Tcl's development files "
            "(tcl8.6-dev), or set CMAKE_PREFIX_PATH to the prefix of a Tcl installation.")
    endif()

    zolv_tcl_config_value(TCL_VERSION TCL_VERSION)
    zolv_tcl_config_value(TCL_MAJOR_VERSION TCL_MAJOR_VERSION)
    if(NOT TCL_VERSION MATCHES "^[0-9]+\\.[0-9]+$" OR NOT TCL_MAJOR_VERSION MATCHES "^[0-9]+$")
        message(FATAL_ERROR "${TCL_CONFIG_SH} names no Tcl version: set TCL_CONFIG_SH to the "
            "tclConfig.sh of an installed Tcl.")
    endif()
    if(TCL_VERSION VERSION_LESS 8.6)
        message(FATAL_ERROR "${TCL_CONFIG_SH} is Tcl ${TCL_VERSION}; the package needs 8.6 "
            "or later.")
    endif()
    zolv_tcl_config_value(TCL_PREFIX tcl_prefix)
    zolv_tcl_config_value(TCL_EXEC_PREFIX tcl_exec_prefix)
    zolv_tcl_config_value(TCL_INCLUDE_SPEC include_spec)
    zolv_tcl_config_value(TCL_LIB_SPEC lib_spec)
    zolv_tcl_config_value(TCL_LIB_FILE lib_file)
    zolv_tcl_config_value(TCL_STUB_LIB_PATH stub_path)
    string(REGEX MATCHALL "-I[^ ]+" include_dirs "${include_spec}")
    list(TRANSFORM include_dirs REPLACE "^-I" "")
    string(REGEX MATCHALL "-L[^ ]+" lib_dirs "${lib_spec}")
    list(TRANSFORM lib_dirs REPLACE "^-L" "")
    get_filename_component(stub_dir "${stub_path}" DIRECTORY)
    get_filename_component(stub_name "${stub_path}" NAME)

    # The headers, where tclConfig.sh says; tcl.h states its version.
    find_path(TCL_INCLUDE_PATH tcl.h
              HINTS ${include_dirs} ${tcl_prefix}/include/tcl${TCL_VERSION} ${tcl_prefix}/include
              NO_DEFAULT_PATH)
    if(NOT TCL_INCLUDE_PATH)
        message(FATAL_ERROR "No tcl.h of Tcl ${TCL_VERSION} (${TCL_CONFIG_SH}) found.")
    endif()
    file(STRINGS "${TCL_INCLUDE_PATH}/tcl.h" line
         REGEX "^#[ \t]*define[ \t]+TCL_VERSION[ \t]+\"" LIMIT_COUNT 1)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" found "${line}")
    if(NOT found STREQUAL TCL_VERSION)
        zolv_tcl_mix("The header" "${TCL_INCLUDE_PATH}/tcl.h" "Tcl ${found}")
    endif()

    # The stub library: the one tclConfig.sh names, or one whose name carries the
    # version (libtclstub8.6.a; Tcl 9 names it libtclstub.a).
    find_library(TCL_STUB_LIBRARY NAMES ${stub_name} tclstub${TCL_VERSION} tclstub NAMES_PER_DIR
                 HINTS ${stub_dir} ${lib_dirs} ${tcl_exec_prefix}/lib NO_DEFAULT_PATH)
    if(NOT TCL_STUB_LIBRARY)
        message(FATAL_ERROR "No stub library of Tcl ${TCL_VERSION} (${TCL_CONFIG_SH}) found.")
    endif()
    get_filename_component(real "${TCL_STUB_LIBRARY}" REALPATH)
    get_filename_component(named "${stub_path}" REALPATH)
    get_filename_component(name "${real}" NAME)
    if(NOT real STREQUAL named)
        if(name MATCHES "tclstub([0-9]+\\.[0-9]+)")
            if(NOT CMAKE_MATCH_1 STREQUAL TCL_VERSION)
                zolv_tcl_mix("The stub library" "${TCL_STUB_LIBRARY}" "Tcl ${CMAKE_MATCH_1}")
            endif()
        else()
            zolv_tcl_mix("The stub library" "${TCL_STUB_LIBRARY}" "another Tcl installation")
        endif()
    endif()

    # The shared library (the C++ tests make interpreters of their own); its file
    # name carries the version.
    find_library(TCL_LIBRARY NAMES ${lib_file} tcl${TCL_VERSION} NAMES_PER_DIR
                 HINTS ${lib_dirs} ${tcl_exec_prefix}/lib NO_DEFAULT_PATH)
    if(NOT TCL_LIBRARY)
        message(FATAL_ERROR "No library of Tcl ${TCL_VERSION} (${TCL_CONFIG_SH}) found.")
    endif()
    get_filename_component(real "${TCL_LIBRARY}" REALPATH)
    get_filename_component(name "${real}" NAME)
    if(NOT name MATCHES "tcl([0-9]+\\.[0-9]+)")
        zolv_tcl_mix("The library" "${TCL_LIBRARY}" "an unknown Tcl version")
    elseif(NOT CMAKE_MATCH_1 STREQUAL TCL_VERSION)
        zolv_tcl_mix("The library" "${TCL_LIBRARY}" "Tcl ${CMAKE_MATCH_1}")
    endif()

    # tclsh runs the Tcl tests and the examples; it is asked for its version.
    find_program(TCLSH NAMES tclsh${TCL_VERSION} HINTS ${tcl_exec_prefix}/bin ${tcl_prefix}/bin)
    if(NOT TCLSH)
        message(FATAL_ERROR "No tclsh${TCL_VERSION} (${TCL_CONFIG_SH}) found.")
    endif()
    set(script "${CMAKE_CURRENT_BINARY_DIR}${CMAKE_FILES_DIRECTORY}/tcl_version.tcl")
    file(WRITE "${script}" "puts -nonewline [info tclversion]\n")
    execute_process(COMMAND "${TCLSH}" "${script}" OUTPUT_VARIABLE found ERROR_VARIABLE error
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${TCLSH} does not run: ${error}")
    elseif(NOT found STREQUAL TCL_VERSION)
        zolv_tcl_mix("The shell" "${TCLSH}" "Tcl ${found}")
    endif()

    message(STATUS "Tcl ${TCL_VERSION}: ${TCL_CONFIG_SH}, headers ${TCL_INCLUDE_PATH}, "
                   "stubs ${TCL_STUB_LIBRARY}, ${TCLSH}")
    set(TCL_VERSION ${TCL_VERSION} PARENT_SCOPE)
    set(TCL_MAJOR_VERSION ${TCL_MAJOR_VERSION} PARENT_SCOPE)
endfunction()

zolv_find_tcl()
