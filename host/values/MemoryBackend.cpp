#include "values/MemoryBackend.h"

void MemoryBackend::ReadBatch(std::vector<MemoryRead>& reads) {
    for (MemoryRead& read : reads) {
        const MemoryPlace& place = read.place;
        if (place.bit != MemoryPlace::kNoBit) {
            bool value = false;
            read.result = ReadBit(place.block, place.offset, place.bit, value);
            read.bytes.assign(1, value ? 1 : 0);
            continue;
        }
        read.bytes.assign(place.size, 0);
        read.result = Read(place.block, place.offset, read.bytes);
    }
}
