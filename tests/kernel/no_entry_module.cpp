// A loadable module that is no driver: it exports no DriverEntry.
extern "C" __attribute__((visibility("default"))) int NotADriver() { return 0; }
