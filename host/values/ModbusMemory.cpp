#include "values/ModbusMemory.h"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <numeric>

namespace {

constexpr std::uint32_t kMaxRegisters = MODBUS_MAX_READ_REGISTERS; // 125
constexpr std::uint32_t kMaxBits = MODBUS_MAX_READ_BITS;           // 2000
// How far apart two places of one table may lie and still be read in one request.
constexpr std::uint32_t kRegisterGap = 8;
constexpr std::uint32_t kBitGap = 64;

std::uint32_t Gap(RegisterMap::Table table) {
    return RegisterMap::IsBitTable(table) ? kBitGap : kRegisterGap;
}

// Reads bits or registers into 16-bit values; -1 with errno on failure.
int ReadRaw(modbus_t* context, const RegisterMap::Place& place,
            std::vector<std::uint16_t>& values) {
    const auto address = static_cast<int>(place.address);
    const auto count = static_cast<int>(place.count);
    values.assign(place.count, 0);
    if (RegisterMap::IsBitTable(place.table)) {
        std::vector<std::uint8_t> bits(place.count);
        const int rc = place.table == RegisterMap::Table::Coils
                           ? modbus_read_bits(context, address, count, bits.data())
                           : modbus_read_input_bits(context, address, count, bits.data());
        std::copy(bits.begin(), bits.end(), values.begin());
        return rc;
    }
    return place.table == RegisterMap::Table::InputRegisters
               ? modbus_read_input_registers(context, address, count, values.data())
               : modbus_read_registers(context, address, count, values.data());
}

} // namespace

// Places of one table read in one request: [first, end), and the reads it serves.
struct ModbusMemory::Group {
    RegisterMap::Table table;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    std::vector<std::pair<std::size_t, RegisterMap::Place>> members; // read index, its place
};

ModbusMemory::ModbusMemory(Options options)
    : m_Options(std::move(options)), m_Endpoint(m_Options.endpoint) {
    if (!m_Endpoint) {
        m_Endpoint = std::make_shared<PlcEndpoint>(m_Options.target, m_Options.timeout);
    }
}

ModbusMemory::~ModbusMemory() = default;

MemoryResult ModbusMemory::ReadTable(PlcEndpoint::Exchange& exchange,
                                     const RegisterMap::Place& place,
                                     std::vector<std::uint16_t>& values) {
    return exchange.Send("reading " + RegisterMap::Describe(place),
                         [&](modbus_t* context) { return ReadRaw(context, place, values); });
}

MemoryResult ModbusMemory::WriteTable(PlcEndpoint::Exchange& exchange,
                                      const RegisterMap::Place& place,
                                      const std::vector<std::uint16_t>& values) {
    if (place.table != RegisterMap::Table::Coils &&
        place.table != RegisterMap::Table::HoldingRegisters) {
        return MemoryResult::Failed(RegisterMap::Describe(place) +
                                    " is an input: it cannot be written");
    }
    const auto address = static_cast<int>(place.address);
    return exchange.Send("writing " + RegisterMap::Describe(place), [&](modbus_t* context) {
        if (place.table != RegisterMap::Table::Coils) {
            return values.size() == 1
                       ? modbus_write_register(context, address, values.front())
                       : modbus_write_registers(context, address, static_cast<int>(values.size()),
                                                values.data());
        }
        if (values.size() == 1) {
            return modbus_write_bit(context, address, values.front());
        }
        std::vector<std::uint8_t> bits(values.begin(), values.end());
        return modbus_write_bits(context, address, static_cast<int>(bits.size()), bits.data());
    });
}

// Registers as the PLC holds them to little-endian bytes: two or four registers make one value
// in the configured word order, any other count is a sequence of words.
std::vector<std::uint8_t> ModbusMemory::ToBytes(const std::vector<std::uint16_t>& registers) const {
    const std::size_t count = registers.size();
    const bool reversed = (count == 2 || count == 4) && m_Options.wordOrder == WordOrder::HighFirst;
    std::vector<std::uint8_t> bytes(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t word = registers[reversed ? count - 1 - i : i];
        bytes[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    return bytes;
}

std::vector<std::uint16_t> ModbusMemory::ToRegisters(std::span<const std::uint8_t> bytes) const {
    const std::size_t count = bytes.size() / 2;
    const bool reversed = (count == 2 || count == 4) && m_Options.wordOrder == WordOrder::HighFirst;
    std::vector<std::uint16_t> registers(count);
    for (std::size_t i = 0; i < count; ++i) {
        registers[reversed ? count - 1 - i : i] =
            static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return registers;
}

std::uint32_t ModbusMemory::Limit(RegisterMap::Table table) const {
    const std::uint32_t asked =
        RegisterMap::IsBitTable(table) ? m_Options.maxBits : m_Options.maxRegisters;
    const std::uint32_t most = RegisterMap::IsBitTable(table) ? kMaxBits : kMaxRegisters;
    return std::clamp<std::uint32_t>(asked, 1, most);
}

// A bit table's values are one byte each (0 or 1); registers are words in the word order.
std::vector<std::uint8_t>
ModbusMemory::ToHostBytes(const RegisterMap::Place& place,
                          const std::vector<std::uint16_t>& values) const {
    if (!RegisterMap::IsBitTable(place.table)) {
        return ToBytes(values);
    }
    std::vector<std::uint8_t> bytes(values.size());
    std::transform(values.begin(), values.end(), bytes.begin(),
                   [](std::uint16_t bit) { return static_cast<std::uint8_t>(bit != 0 ? 1 : 0); });
    return bytes;
}

std::vector<std::uint16_t> ModbusMemory::ToValues(const RegisterMap::Place& place,
                                                  std::span<const std::uint8_t> bytes) const {
    if (!RegisterMap::IsBitTable(place.table)) {
        return ToRegisters(bytes);
    }
    std::vector<std::uint16_t> bits(bytes.size());
    std::transform(bytes.begin(), bytes.end(), bits.begin(),
                   [](std::uint8_t byte) { return static_cast<std::uint16_t>(byte != 0 ? 1 : 0); });
    return bits;
}

std::optional<RegisterMap::Place> ModbusMemory::RangePlace(std::uint16_t block,
                                                           std::uint32_t offset, std::size_t size,
                                                           MemoryResult& failure) const {
    std::string error;
    auto place = m_Options.map.Find(block, offset, static_cast<std::uint32_t>(size),
                                    MemoryPlace::kNoBit, error);
    if (!place) {
        failure = MemoryResult::Failed(error);
    }
    return place;
}

MemoryResult ModbusMemory::Read(std::uint16_t block, std::uint32_t offset,
                                std::span<std::uint8_t> bytes) {
    MemoryResult result;
    const auto place = RangePlace(block, offset, bytes.size(), result);
    if (!place) {
        return result;
    }
    PlcEndpoint::Exchange exchange(*m_Endpoint);
    std::vector<std::uint16_t> registers;
    result = ReadTable(exchange, *place, registers);
    if (result.ok) {
        const std::vector<std::uint8_t> read = ToHostBytes(*place, registers);
        std::copy_n(read.begin(), std::min(read.size(), bytes.size()), bytes.begin());
    }
    return result;
}

MemoryResult ModbusMemory::Write(std::uint16_t block, std::uint32_t offset,
                                 std::span<const std::uint8_t> bytes) {
    MemoryResult result;
    const auto place = RangePlace(block, offset, bytes.size(), result);
    if (!place) {
        return result;
    }
    PlcEndpoint::Exchange exchange(*m_Endpoint);
    const std::vector<std::uint16_t> values = ToValues(*place, bytes);
    if (values.empty()) {
        return MemoryResult::Failed("nothing to write at " + RegisterMap::Describe(*place));
    }
    return WriteTable(exchange, *place, values);
}

MemoryResult ModbusMemory::ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                   bool& value) {
    std::string error;
    const auto place = m_Options.map.Find(block, offset, 2, bit, error);
    if (!place) {
        return MemoryResult::Failed(error);
    }
    PlcEndpoint::Exchange exchange(*m_Endpoint);
    std::vector<std::uint16_t> values;
    MemoryResult result = ReadTable(exchange, *place, values);
    if (result.ok) {
        const unsigned shift = place->registerBit == RegisterMap::kNoBit ? 0 : place->registerBit;
        value = ((values.front() >> shift) & 1U) != 0;
    }
    return result;
}

MemoryResult ModbusMemory::WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                    bool value) {
    std::string error;
    const auto place = m_Options.map.Find(block, offset, 2, bit, error);
    if (!place) {
        return MemoryResult::Failed(error);
    }
    PlcEndpoint::Exchange exchange(*m_Endpoint);
    if (place->registerBit == RegisterMap::kNoBit) {
        return WriteTable(exchange, *place, {static_cast<std::uint16_t>(value ? 1 : 0)});
    }
    // A bit of a register: read, change that bit, write back, all in one exchange, which no
    // other memory of this PLC interleaves.
    std::vector<std::uint16_t> word;
    MemoryResult result = ReadTable(exchange, *place, word);
    if (!result.ok) {
        return result;
    }
    const auto mask = static_cast<std::uint16_t>(1U << place->registerBit);
    word.front() =
        static_cast<std::uint16_t>(value ? (word.front() | mask) : (word.front() & ~mask));
    return WriteTable(exchange, *place, word);
}

void ModbusMemory::Distribute(const Group& group, const std::vector<std::uint16_t>& values,
                              std::vector<MemoryRead>& reads) const {
    for (const auto& [index, place] : group.members) {
        const auto first = values.begin() + (place.address - group.first);
        MemoryRead& read = reads[index];
        read.result = MemoryResult::Done();
        if (place.registerBit != RegisterMap::kNoBit) {
            read.bytes.assign(1, static_cast<std::uint8_t>((*first >> place.registerBit) & 1U));
        } else {
            read.bytes = ToHostBytes(place, std::vector<std::uint16_t>(first, first + place.count));
        }
    }
}

// One request for the group; when the PLC refuses it (a gap it does not have, say), each
// place is read on its own.
void ModbusMemory::ReadGroup(PlcEndpoint::Exchange& exchange, Group& group,
                             std::vector<MemoryRead>& reads) {
    const RegisterMap::Place whole{group.table, group.first, group.end - group.first,
                                   RegisterMap::kNoBit};
    std::vector<std::uint16_t> values;
    const MemoryResult result = ReadTable(exchange, whole, values);
    if (result.ok) {
        Distribute(group, values, reads);
        return;
    }
    const bool retry = group.members.size() > 1 && exchange.Context() != nullptr;
    for (const auto& [index, place] : group.members) {
        reads[index].result = result;
        if (retry) {
            Group single{group.table, place.address, place.address + place.count, {{index, place}}};
            ReadGroup(exchange, single, reads);
        }
    }
}

void ModbusMemory::ReadBatch(std::vector<MemoryRead>& reads) {
    std::vector<std::pair<std::size_t, RegisterMap::Place>> places;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const MemoryPlace& at = reads[i].place;
        std::string error;
        const auto place = m_Options.map.Find(at.block, at.offset, at.size, at.bit, error);
        if (place) {
            places.emplace_back(i, *place);
        } else {
            reads[i].result = MemoryResult::Failed(error);
        }
    }
    std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second.table, a.second.address) <
               std::tie(b.second.table, b.second.address);
    });
    PlcEndpoint::Exchange exchange(*m_Endpoint);
    std::vector<Group> groups;
    for (const auto& [index, place] : places) {
        const std::uint32_t end = place.address + place.count;
        Group* last = groups.empty() ? nullptr : &groups.back();
        if (last != nullptr && last->table == place.table &&
            place.address <= last->end + Gap(place.table) &&
            std::max(last->end, end) - last->first <= Limit(place.table)) {
            last->end = std::max(last->end, end);
            last->members.emplace_back(index, place);
            continue;
        }
        groups.push_back({place.table, place.address, end, {{index, place}}});
    }
    for (Group& group : groups) {
        ReadGroup(exchange, group, reads);
    }
}
