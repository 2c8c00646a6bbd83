#include "Varbank/CVarbankApp.h"

bool CVarbankApp::InitInstance() {
    return CApplication::InitInstance();
}

int CVarbankApp::ExitInstance() {
    try {
        return CApplication::ExitInstance();
    } catch (...) {
        return -1;
    }
}

CVarbankApp& CVarbankApp::Instance() {
    // Never destroyed, so the unload hook can still end it whatever the order of unloading.
    static CVarbankApp& app = *new CVarbankApp();
    return app;
}

namespace {

// Load and unload hooks of the shared library.
__attribute__((constructor)) void StartModule() {
    CVarbankApp& app = CVarbankApp::Instance();
    if (!app.InitInstance()) {
        app.ExitInstance();
    }
}

__attribute__((destructor)) void EndModule() {
    CVarbankApp::Instance().ExitInstance();
}

} // namespace
