# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)

if(KVP_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# kvp_add_public_header_check(<name> <include dir> <header>...)
# Compiles each public header alone in its own translation unit, so that a
# header that forgets an include (or is not valid C++ alone) fails the build.
function(kvp_add_public_header_check name include_dir)
    set(sources)
    foreach(header ${ARGN})
        get_filename_component(stem ${header} NAME_WE)
        set(tu ${CMAKE_CURRENT_BINARY_DIR}/header_check/${stem}.cpp)
        file(WRITE ${tu}.in "#include \"${header}\"\nint kvp_header_check_${stem}();\n")
        configure_file(${tu}.in ${tu} COPYONLY)
        list(APPEND sources ${tu})
    endforeach()
    add_library(${name}_header_check OBJECT ${sources})
    target_include_directories(${name}_header_check PRIVATE ${include_dir})
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
