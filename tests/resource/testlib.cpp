// A shared library that carries nothing but its resources and one function to find it by.
extern "C" __attribute__((visibility("default"))) int kelvano_resource_testlib_marker() {
    return 42;
}
