#pragma once

#include "service/ServiceLog.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

// The OPC UA front: node running opcua/server.mjs as a child of varbank serve, given the HTTP
// service's address. Its standard output is read here (the line saying where it listens is
// handed back, any other line logged); its standard error is the service's. Stop() ends it
// with SIGTERM, then SIGKILL when it has not exited after a grace period.
class OpcuaProcess {
public:
    struct Options {
        std::string serviceUrl;         // http://127.0.0.1:PORT/
        int port = 4840;                // 0: any free port
        std::string host = "127.0.0.1"; // the address the OPC UA server listens on
        std::string stateFolder;        // its certificates go to <folder>/opcua/pki; "": default
        // The write token when the service takes writes; empty when it does not. Handed to the
        // child in its environment (VARBANK_OPCUA_WRITE_TOKEN), never on its command line.
        std::string writeToken;
        // The service's read token, when it asks one (VARBANK_OPCUA_READ_TOKEN, likewise).
        std::string readToken;
        std::chrono::milliseconds startTimeout{60000};
        std::chrono::milliseconds stopGrace{5000};
    };

    explicit OpcuaProcess(ServiceLog& log);
    ~OpcuaProcess();
    OpcuaProcess(const OpcuaProcess&) = delete;
    OpcuaProcess& operator=(const OpcuaProcess&) = delete;

    // The folder of server.mjs: $VARBANK_OPCUA_DIR, else the source tree's opcua/ as configured
    // at build time.
    static std::string ScriptFolder();
    // Whether node and the installed packages are there; false with the reason (how to install
    // them) when not.
    static bool Check(std::string& reason);
    // $XDG_STATE_HOME/varbank, else ~/.local/state/varbank, else .varbank-state.
    static std::string DefaultStateFolder();

    // Starts node and waits for its listening line ("opcua: listening at opc.tcp://..."), given
    // back in `line`. False with the reason when it exits or stays silent instead. `exited` is
    // called (from the reader thread) when the process ends while not being stopped.
    bool Start(const Options& options, std::function<void()> exited, std::string& line,
               std::string& reason);
    void Stop();

private:
    // Reads lines until the listening line; false when the output ends or the time runs out.
    bool AwaitListening(std::chrono::milliseconds timeout, std::string& line);
    // Logs the remaining lines; calls `exited` at their end unless stopping.
    void ReadRest(const std::function<void()>& exited);
    bool ReadLine(std::chrono::steady_clock::time_point deadline, std::string& line);
    // Waits for the child to end; its status text ("exited with status 1").
    std::string Reap(std::chrono::milliseconds grace);

    ServiceLog& m_Log;
    pid_t m_Pid = -1;
    int m_Output = -1;     // the read end of the child's standard output
    std::string m_Pending; // read but not yet split into lines
    std::atomic<bool> m_Stopping{false};
    std::thread m_Reader;
};
