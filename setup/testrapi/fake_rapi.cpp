// A "rapi.dll" that stops short: it exports only the first functions a program looks for,
// so the binding must give up at the first missing one and still unload it.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) std::int32_t CeRapiInit() {
    return static_cast<std::int32_t>(0x80004005u);
}
__attribute__((visibility("default"))) std::int32_t CeRapiInitEx(void*) {
    return static_cast<std::int32_t>(0x80004005u);
}
__attribute__((visibility("default"))) std::int32_t CeRapiUninit() {
    return static_cast<std::int32_t>(0x80004005u);
}
}
