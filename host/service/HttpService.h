#pragma once

#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <httplib.h>

#include <string>

// The HTTP side of the service: a listening socket, a fixed pool of worker threads that serve
// keep-alive connections, JSON bodies for every error, and one log line per request when
// asked. Stop() lets the requests in progress finish.
class HttpService {
public:
    static constexpr std::size_t kMaxBody = 1024 * 1024;

    struct Options {
        std::string bind = "127.0.0.1";
        int port = 8080; // 0: any free port
        unsigned threads = 0;
        bool verbose = false;
    };

    HttpService(const ServiceApi& api, ServiceLog& log, const Options& options);

    // The port bound, or -1 with the reason.
    int Bind(std::string& reason);
    // Serves until Stop(); false when the server could not run.
    bool Serve();
    void Stop();

private:
    void InstallHandlers(const ServiceApi& api);
    void InstallLogger(ServiceLog& log);

    Options m_Options;
    httplib::Server m_Server;
};
