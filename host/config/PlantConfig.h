#pragma once

#include "values/ModbusMemory.h"
#include "values/ModbusTarget.h"
#include "values/RegisterMap.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What a plant's configuration file asks to serve: the service's address and tokens, the PLC
// endpoints with their register maps and request limits, and the programs, each on the memory
// image or on one endpoint. A value, made valid by PlantConfigReader.
struct PlantConfig {
    // A token given in the file or named by an environment variable; `source` says which
    // ("write_token", or "$NAME"), so that what is shown never holds the token itself. Empty
    // when none is given.
    struct Token {
        std::string value;
        std::string source;

        bool Given() const { return !value.empty(); }
    };

    struct Service {
        std::string bind = "127.0.0.1";
        std::uint16_t port = 8080;
        Token writeToken;
        Token readToken; // when given, every request must carry it
    };

    struct Plc {
        std::string name;
        std::size_t line = 0; // of its table in the file
        ModbusTarget target;
        RegisterMap map = RegisterMap::OpenRuntime();
        ModbusMemory::WordOrder wordOrder = ModbusMemory::WordOrder::HighFirst;
        std::chrono::milliseconds timeout{1000};
        std::uint32_t maxRegisters = 125;         // registers in one request
        std::uint32_t maxCoils = 2000;            // coils or discrete inputs in one request
        unsigned retries = 0;                     // a failed request sent again this many times
        std::chrono::milliseconds minInterval{0}; // between two requests to the PLC

        // The Modbus memory options of a program on this endpoint (without the shared
        // endpoint itself, which the service makes once per PLC).
        ModbusMemory::Options MemoryOptions() const;
    };

    // The message broker values are published to ([mqtt]).
    struct Mqtt {
        std::size_t line = 0; // of its table in the file
        std::string host;
        std::uint16_t port = 1883;
        std::string clientId; // empty: "varbank-<host name>-<dictionary>"
        std::string username;
        Token password;               // only with a user name
        std::filesystem::path caFile; // TLS against this CA when given
        int qos = 1;                  // 0 or 1
        std::string topicPrefix = "varbank";
    };

    // What a program publishes to the broker: item names or browse patterns ("Motor1.*",
    // "located", "all"), sampled at an interval with a deadband, and sent again unchanged after
    // `resend` (0: never). No items: the program publishes nothing.
    struct Publish {
        std::vector<std::string> items;
        std::chrono::milliseconds interval{1000};
        double deadband = 0;
        std::chrono::milliseconds resend{0};

        bool Any() const { return !items.empty(); }
    };

    struct Program {
        std::string name;           // its table's name
        std::size_t line = 0;       // of its table in the file
        std::filesystem::path file; // absolute, or relative to the working folder
        std::string dictionary;     // default: the file's stem
        std::string plc;            // the endpoint's name; empty for the memory image
        bool writable = false;
        Token writeToken; // its own; the service's when not given
        Publish publish;

        bool OnImage() const { return plc.empty(); }
    };

    std::filesystem::path path; // the configuration file
    Service service;
    std::optional<Mqtt> mqtt;
    std::vector<Plc> plcs;         // in the file's order
    std::vector<Program> programs; // in the file's order

    const Plc* FindPlc(const std::string& name) const;
    // The token a write to the program must carry: its own, else the service's.
    const Token& WriteTokenOf(const Program& program) const;
};
