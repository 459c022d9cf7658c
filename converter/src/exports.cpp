// The library's two exports.
#include <new>

#include "SphereVideoConverter.h"
#include "converter_impl.h"

extern "C" {

SPHERE_VIDEO_CONVERTER_EXPORT DOR_SphereVideoConverter* CreateSphereVideoConverter(void) {
    return new (std::nothrow) converter::DOR_SphereVideoConverterImpl();
}

SPHERE_VIDEO_CONVERTER_EXPORT int DestroySphereVideoConverter(DOR_SphereVideoConverter* c) {
    delete c;
    return 0;
}

}  // extern "C"
