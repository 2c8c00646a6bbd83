#pragma once

#include <optional>
#include <string>
#include <string_view>

// An item path as MQTT topic levels, and back. Each member and each array index is one level:
// Line.Conveyors[2].Belt.Speed is Line/Conveyors/2/Belt/Speed, A[1][2] is A/1/2. Back, a level
// of digits (with an optional leading '-') is an index, any other level a member; the name is
// then checked like every client's name, so a loose spelling (02, an empty level) is refused.
// A bit of a word (W.3) has no topic of its own: W/3 reads back as the element W[3].
class TopicName {
public:
    // The topic levels of an item path (without prefix or dictionary).
    static std::string FromItem(std::string_view path);
    // The item name of topic levels; nothing when a level is empty or holds '.', '[', ']' or
    // ',' (which no level made by FromItem holds).
    static std::optional<std::string> ToItem(std::string_view levels);
    // Why the text cannot be one topic level (empty, '/', '+', '#', a control character);
    // empty when it can.
    static std::string LevelFault(std::string_view level);
};
