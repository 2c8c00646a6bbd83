#include "service/HttpService.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// When this thread started on the request it is serving, for the log line.
std::chrono::steady_clock::time_point& RequestStart() {
    thread_local std::chrono::steady_clock::time_point start;
    return start;
}

// The reason of an error the HTTP layer answers by itself.
std::string HttpErrorReason(int status) {
    switch (status) {
    case 400:
        return "malformed request";
    case 404:
        return "not found";
    case 413:
        return "the body is larger than 1 MiB";
    case 414:
        return "the request line is too long";
    default:
        return "HTTP error " + std::to_string(status);
    }
}

} // namespace

HttpService::HttpService(const ServiceApi& api, ServiceLog& log, const Options& options)
    : m_Options(options) {
    const unsigned threads = options.threads > 0 ? options.threads : 1;
    m_Server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_Server.set_payload_max_length(kMaxBody);
    m_Server.set_keep_alive_max_count(100000);
    m_Server.set_keep_alive_timeout(5);
    m_Server.set_tcp_nodelay(true);
    InstallHandlers(api);
    if (options.verbose) {
        InstallLogger(log);
    }
}

void HttpService::InstallHandlers(const ServiceApi& api) {
    const auto handle = [&api](const httplib::Request& request, httplib::Response& response) {
        api.Handle(request, response);
    };
    // Bodies are read here whatever their content type says, so that a JSON body sent as a
    // form is not parsed as one (the HTTP layer caps forms far below the 1 MiB bodies take).
    const auto handleBody = [&api](const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader& reader) {
        httplib::Request withBody = request;
        bool tooLarge = request.get_header_value<std::uint64_t>("Content-Length") > kMaxBody;
        const bool read = !tooLarge && reader([&](const char* data, std::size_t length) {
            tooLarge = withBody.body.size() + length > kMaxBody;
            withBody.body.append(data, tooLarge ? 0 : length);
            return !tooLarge;
        });
        if (tooLarge) {
            ServiceApi::Send(ApiReply::Error(413, HttpErrorReason(413)), response);
        } else if (!read) {
            ServiceApi::Send(ApiReply::Error(400, "the body could not be read"), response);
        } else {
            api.Handle(withBody, response);
        }
    };
    m_Server.Get(".*", handle);
    m_Server.Post(".*", handleBody);
    m_Server.Put(".*", handleBody);
    m_Server.Patch(".*", handleBody);
    m_Server.Delete(".*", handleBody);
    m_Server.Options(".*", handle);
    // Errors the HTTP layer finds itself (a body too large, a malformed request) get a JSON
    // body like the others.
    const httplib::Server::HandlerWithResponse jsonError = [](const httplib::Request&,
                                                              httplib::Response& response) {
        if (!response.body.empty()) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        ServiceApi::Send(ApiReply::Error(response.status, HttpErrorReason(response.status)),
                         response);
        return httplib::Server::HandlerResponse::Handled;
    };
    m_Server.set_error_handler(jsonError);
    m_Server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr failure) {
            std::string reason = "internal error";
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& error) {
                reason += ": " + std::string(error.what());
            } catch (...) {
            }
            ServiceApi::Send(ApiReply::Error(500, reason), response);
        });
}

void HttpService::InstallLogger(ServiceLog& log) {
    m_Server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        RequestStart() = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_Server.set_logger([&log](const httplib::Request& request, const httplib::Response& response) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - RequestStart());
        log.Write(request.remote_addr + " " + request.method + " " + request.target + " " +
                  std::to_string(response.status) + " " + std::to_string(response.body.size()) +
                  " bytes " + std::to_string(elapsed.count()) + " us");
    });
}

int HttpService::Bind(std::string& reason) {
    const int port = m_Options.port == 0 ? m_Server.bind_to_any_port(m_Options.bind)
                     : m_Server.bind_to_port(m_Options.bind, m_Options.port) ? m_Options.port
                                                                             : -1;
    if (port < 0) {
        reason = "cannot listen on " + m_Options.bind + ":" + std::to_string(m_Options.port) +
                 ": " + std::strerror(errno);
    }
    return port;
}

bool HttpService::Serve() {
    return m_Server.listen_after_bind();
}

void HttpService::Stop() {
    m_Server.stop();
}
