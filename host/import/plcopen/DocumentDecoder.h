#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Brings the bytes of an XML file to UTF-8 before parsing, so that names and comments reach
// clients as well-formed text and parser offsets count bytes of the same text the line table
// counts. UTF-8, UTF-16 and UTF-32 (either byte order, with or without a byte order mark),
// ISO-8859-1 and windows-1252 are read; any other declared encoding is refused.
class DocumentDecoder {
public:
    struct Failure {
        std::size_t line = 0;
        std::string message;
    };

    // True with the document in UTF-8; false with the line and the reason of the refusal.
    static bool ToUtf8(std::string_view raw, std::string& utf8, Failure& failure);
    // The same, in place: a text already in UTF-8 is kept as it is, without a copy; any other is
    // decoded into a new text that replaces it.
    static bool ToUtf8InPlace(std::string& text, Failure& failure);
};
