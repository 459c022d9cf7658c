# OpenCV modules by name. Debian's core/imgproc/imgcodecs development
# packages carry neither a CMake package nor a pkg-config file of their own,
# so the modules are looked up directly when find_package does not know them.
#
#   kvp_find_opencv(LIBS_VAR INCLUDE_VAR core imgproc ...)
function(kvp_find_opencv libs_var include_var)
    set(modules ${ARGN})
    find_package(OpenCV 4 QUIET COMPONENTS ${modules})
    if(OpenCV_FOUND)
        set(${libs_var} ${OpenCV_LIBS} PARENT_SCOPE)
        set(${include_var} ${OpenCV_INCLUDE_DIRS} PARENT_SCOPE)
        return()
    endif()
    find_path(KVP_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
    set(libs)
    foreach(module ${modules})
        find_library(KVP_OPENCV_${module} opencv_${module} REQUIRED)
        list(APPEND libs ${KVP_OPENCV_${module}})
    endforeach()
    set(${libs_var} ${libs} PARENT_SCOPE)
    set(${include_var} ${KVP_OPENCV_INCLUDE_DIR} PARENT_SCOPE)
endfunction()
