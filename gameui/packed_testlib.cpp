// A module with resources of its own (packed_test.rc); the resource tests load it.
extern "C" int gameui_packed_testlib_marker() {
    return 1;
}
