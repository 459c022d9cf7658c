// Linked into the sanitizer build of test programs that draw with the GL:
// dlclose leaves every library loaded until the process ends. Now and then
// a run let the GL driver go before the leak check at exit, and its
// process-lifetime allocations were then reported in an unmapped module,
// which no suppression of lsan.supp can name. Kept loaded, they are named
// and suppressed like the driver's other allocations.
// (Visible: the libraries' calls to dlclose resolve to the program's.)
extern "C" __attribute__((visibility("default"), used)) int dlclose(void*) {
    return 0;
}
