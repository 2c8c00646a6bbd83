#pragma once

#include <cstddef>
#include <cstdint>

// What a publisher did so far: whether it is connected to the broker, the values waiting to be
// sent, the messages sent, and the values dropped (a newer value of an item replaced one not
// yet sent, while the broker was away or the publisher behind).
struct MqttStatus {
    bool connected = false;
    std::size_t queued = 0;
    std::uint64_t published = 0;
    std::uint64_t dropped = 0;

    MqttStatus& operator+=(const MqttStatus& other) {
        connected = connected && other.connected;
        queued += other.queued;
        published += other.published;
        dropped += other.dropped;
        return *this;
    }
};
