#pragma once

// A Modbus TCP server on 127.0.0.1, on a port the system picks, run by libmodbus in a thread
// for the tests and benchmarks: it answers from its register map, drops every connection,
// never answers, or answers a register read one byte every 100 ms; one client at a time. It can
// also take the next requests and close the connection instead of answering them.
#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

class LocalModbusServer {
public:
    enum class Mode { Answer, Drop, Silent, Trickle };

    explicit LocalModbusServer(Mode mode = Mode::Answer) : m_Mode(mode) {
        // Every coil and holding register address, up to 65535.
        m_Map = modbus_mapping_new(65536, 2000, 65536, 1000);
        m_Context = modbus_new_tcp("127.0.0.1", 0);
        m_Listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_Listen, reinterpret_cast<sockaddr*>(&address), length);
        listen(m_Listen, 4);
        getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_Port = ntohs(address.sin_port);
        m_Thread = std::thread([this] { Run(); });
    }
    LocalModbusServer(const LocalModbusServer&) = delete;
    LocalModbusServer& operator=(const LocalModbusServer&) = delete;
    ~LocalModbusServer() {
        m_Stop = true;
        m_Thread.join();
        close(m_Listen);
        modbus_free(m_Context);
        modbus_mapping_free(m_Map);
    }

    std::uint16_t Port() const { return m_Port; }
    modbus_mapping_t& Map() { return *m_Map; }
    void SetMode(Mode mode) { m_Mode = mode; }
    int Requests() const { return m_Requests.load(); }
    // The next `count` requests are read, counted and not answered: the connection closes.
    void DropAnswers(int count) { m_DropAnswers = count; }

private:
    static bool Readable(int socket) {
        pollfd poll{socket, POLLIN, 0};
        return ::poll(&poll, 1, 20) > 0;
    }

    void Run() {
        while (!m_Stop) {
            if (!Readable(m_Listen)) {
                continue;
            }
            const int client = accept(m_Listen, nullptr, nullptr);
            if (m_Mode == Mode::Drop) {
                close(client);
                continue;
            }
            Serve(client);
            close(client);
        }
    }

    void Serve(int client) {
        modbus_set_socket(m_Context, client);
        std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!m_Stop) {
            if (!Readable(client)) {
                continue;
            }
            if (m_Mode == Mode::Silent) {
                if (recv(client, query, sizeof query, 0) <= 0) {
                    return;
                }
                continue;
            }
            const int length = modbus_receive(m_Context, query);
            if (length == -1) {
                return; // the client went away
            }
            if (length > 0 && m_Mode == Mode::Trickle) {
                ++m_Requests;
                if (!Trickle(client, query)) {
                    return;
                }
                continue;
            }
            if (length > 0 && m_DropAnswers > 0) {
                --m_DropAnswers;
                ++m_Requests;
                return;
            }
            if (length > 0) {
                ++m_Requests;
                modbus_reply(m_Context, query, length, m_Map);
            }
        }
    }

    // The answer to a register read (zeros), one byte at a time; false once the client is gone.
    bool Trickle(int client, const std::uint8_t* query) {
        const int count = (query[10] << 8) | query[11];
        std::vector<std::uint8_t> answer = {query[0],
                                            query[1],
                                            0,
                                            0,
                                            static_cast<std::uint8_t>((3 + 2 * count) >> 8),
                                            static_cast<std::uint8_t>((3 + 2 * count) & 0xFF),
                                            query[6],
                                            query[7],
                                            static_cast<std::uint8_t>(2 * count)};
        answer.resize(answer.size() + 2 * static_cast<std::size_t>(count), 0);
        for (const std::uint8_t byte : answer) {
            if (m_Stop || send(client, &byte, 1, MSG_NOSIGNAL) != 1) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

    std::atomic<Mode> m_Mode;
    modbus_mapping_t* m_Map;
    modbus_t* m_Context;
    int m_Listen;
    std::uint16_t m_Port = 0;
    std::thread m_Thread;
    std::atomic<bool> m_Stop{false};
    std::atomic<int> m_Requests{0};
    std::atomic<int> m_DropAnswers{0};
};
