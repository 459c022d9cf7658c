// Linked into the sanitizer build of the test programs that set GL up
// through X and let the driver go again (kvp_add_test SLOW_UNWIND). The
// driver is built without frame pointers: a fast unwind of its allocations
// stops at a wrong return address ("<unknown module>"), so its
// process-lifetime allocations escape the system-library suppressions of
// lsan.supp on some machines and not on others. Unwound slowly, they name
// the driver every time. ASAN_OPTIONS given at run time still apply on top
// of this.
// (Visible: the sanitizer runtime looks the function up in the program.)
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
