#pragma once

#include "CApplication.h"
#include "PlatformApi.h"

// The module's application object: started when the library is loaded, ended when it is
// unloaded. It has no data of its own.
class VARBANK_API CVarbankApp : public CApplication {
public:
    bool InitInstance() override;
    int ExitInstance() override;

    // The single application object of the loaded module.
    static CVarbankApp& Instance();
};
