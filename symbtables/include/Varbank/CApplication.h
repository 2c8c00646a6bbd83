#pragma once

#include "PlatformApi.h"

// Stand-in for the class library's application object: started when the module is loaded and
// ended when it is unloaded.
class VARBANK_API CApplication {
public:
    CApplication() = default;
    virtual ~CApplication() = default;
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    // Start; false means the module cannot serve.
    virtual bool InitInstance() {
        m_Running = true;
        return true;
    }
    // End; returns the exit code.
    virtual int ExitInstance() {
        m_Running = false;
        return 0;
    }
    bool IsRunning() const { return m_Running; }

private:
    bool m_Running = false;
};
