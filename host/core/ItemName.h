#pragma once

#include "core/Refusal.h"

#include <cstddef>
#include <string>
#include <string_view>

// A name a client gives, checked before the dictionary sees it. The dictionary reads names
// loosely (an empty index as 0, a trailing dot as bit 0, nothing after a NUL), so that several
// texts reach one datum; the host takes only this grammar, so that one name reaches one datum:
//
//   name       = identifier { "." identifier | "[" index { "," index } "]" } [ "." bit ]
//   identifier = an ASCII letter or "_", then ASCII letters, digits and "_"
//   index      = [ "-" ] digits: no "+", no leading zero, no "-0", within -2^31 .. 2^31-1
//   bit        = digits, 0 .. 63, no sign, no leading zero; only last and never first
//
// with no blank, control character or empty part, and at most kMaxLength bytes. An element
// written the IEC way, A[1,2], becomes A[1][2]: the dictionary reads A[1,2] as something else.
// A fault names its place as a 0-based byte offset.
class ItemName {
public:
    static constexpr std::size_t kMaxLength = 1024;
    static constexpr unsigned kMaxBit = 63;
    // A continuation names a child, which may be longer than the name it was browsed from.
    static constexpr std::size_t kMaxContinuation = 4 * kMaxLength;

    // The name checked: ill-formed UTF-8 first (InvalidUtf8), then the grammar (NotAnItemName).
    static ItemName Check(std::string_view name);
    // True for a name made of one identifier alone (most names a client gives): it passes
    // Check as it is, and its normalised text is itself.
    static bool IsIdentifier(std::string_view name);
    // A browse path: empty (the root) or a name.
    static ItemName CheckPath(std::string_view path);
    // Why a continuation token cannot be handed to the dictionary; empty when it can. The token
    // is the service's own, so only its bytes and length are checked.
    static std::string ContinuationFault(std::string_view token);

    bool Ok() const { return m_Fault == NameFault::None; }
    // The normalised name; empty on a fault.
    const std::string& Text() const { return m_Text; }
    NameFault Fault() const { return m_Fault; }
    std::size_t Position() const { return m_Position; }
    // "not a valid item name: an empty part at position 7"; empty when the name is valid.
    const std::string& Reason() const { return m_Reason; }

private:
    std::string m_Text;
    NameFault m_Fault = NameFault::None;
    std::size_t m_Position = 0;
    std::string m_Reason;
};
