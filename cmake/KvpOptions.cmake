# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)
if(KVP_WERROR)
    add_compile_options(-Werror)
endif()

# The analysis reads the annotations of platform/thread_annotations.h; with
# -Wthread-safety-beta it also checks the lock order written down with
# ACQUIRED_AFTER. Only clang has it.
if(KVP_THREAD_SAFETY)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "KVP_THREAD_SAFETY needs clang: configure with CC=clang CXX=clang++")
    endif()
    add_compile_options(-Wthread-safety -Wthread-safety-beta)
endif()

if(KVP_SANITIZE AND KVP_SANITIZE_THREAD)
    message(FATAL_ERROR "KVP_SANITIZE and KVP_SANITIZE_THREAD exclude each other: use two build trees")
endif()
if(KVP_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
# kvp_optimise_when_sanitized(<source>...)
# Arithmetic run per pixel or per vertex (the meshes, the converter's
# coordinate maps) is compiled at -O1 in the sanitizer tree's -O0 build:
# every access is still checked, and the tests' exports no longer spend most
# of their time there.
function(kvp_optimise_when_sanitized)
    if(KVP_SANITIZE AND CMAKE_BUILD_TYPE STREQUAL "Debug")
        set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS -O1)
    endif()
endfunction()
if(KVP_SANITIZE_THREAD)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# One object library <target> of translation units with the extension
# <ext> (cpp or c), each including one of the headers and nothing else.
# With KVP_HEADER_CHECKS off the target is left out of the default build:
# the sanitizer and analysis trees leave to the regular build what only the
# compiler's verdict checks.
function(kvp_header_check_library target ext include_dir)
    set(sources)
    foreach(header ${ARGN})
        get_filename_component(stem ${header} NAME_WE)
        set(tu ${CMAKE_CURRENT_BINARY_DIR}/${target}/${stem}.${ext})
        file(WRITE ${tu}.in "#include \"${header}\"\nint kvp_header_check_${stem}(void);\n")
        configure_file(${tu}.in ${tu} COPYONLY)
        list(APPEND sources ${tu})
    endforeach()
    if(KVP_HEADER_CHECKS)
        add_library(${target} OBJECT ${sources})
    else()
        add_library(${target} OBJECT EXCLUDE_FROM_ALL ${sources})
    endif()
    target_include_directories(${target} PRIVATE ${include_dir})
endfunction()

# kvp_add_public_header_check(<name> <include dir> <header>...)
# Compiles each public header alone in its own translation unit, so that a
# header that forgets an include (or is not valid C++ alone) fails the build.
# The target is <name>_header_check.
function(kvp_add_public_header_check name include_dir)
    kvp_header_check_library(${name}_header_check cpp ${include_dir} ${ARGN})
endfunction()

# kvp_add_public_c_header_check(<name> <include dir> <header>...)
# The same as C, for headers that promise to be plain C; the target is
# <name>_c_header_check.
function(kvp_add_public_c_header_check name include_dir)
    kvp_header_check_library(${name}_c_header_check c ${include_dir} ${ARGN})
endfunction()

# kvp_export_only(<target> <symbol>...)
# Exports exactly these C symbols from a shared library or module; template
# instances of the C++ library and everything else stay local.
function(kvp_export_only target)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    set(text "{\n  global:\n")
    foreach(symbol ${ARGN})
        string(APPEND text "    ${symbol};\n")
    endforeach()
    string(APPEND text "  local:\n    *;\n};\n")
    file(WRITE ${script} "${text}")
    target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
