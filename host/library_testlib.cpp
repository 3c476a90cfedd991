// A library for the loader's and the runner's tests: entries that record how they were
// called, and one that leaves a file behind for tests that run it from another process.
#include <cstdio>
#include <string>

namespace {
std::string g_line;
int g_nShow = -1;
void* g_pModule = nullptr;
void* g_pWindow = reinterpret_cast<void*>(1);
} // namespace

extern "C" {

void Record(void* hwnd, void* hInstance, const char* pszCmdLine, int nShow) {
    g_pWindow = hwnd;
    g_pModule = hInstance;
    g_line = pszCmdLine ? pszCmdLine : "(null)";
    g_nShow = nShow;
}

const char* RecordedLine() {
    return g_line.c_str();
}
int RecordedShow() {
    return g_nShow;
}
void* RecordedModule() {
    return g_pModule;
}
void* RecordedWindow() {
    return g_pWindow;
}

// Writes "show N" to the file the command line names.
void Touch(void*, void*, const char* pszCmdLine, int nShow) {
    if (FILE* f = std::fopen(pszCmdLine, "w")) {
        std::fprintf(f, "show %d\n", nShow);
        std::fclose(f);
    }
}
}
