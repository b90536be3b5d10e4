// SDL's video drivers keep memory until the process ends, in libraries they unload
// before LeakSanitizer looks, so no suppression by library name can reach it. This
// program's own objects are leak-checked by the other kiln tests.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }
