#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Small text helpers every layer of the host uses: IEC names, UTF-8 checks, terminal output.
// Upper-casing touches ASCII a-z only, as the dictionary does, so that both sides of every lookup
// agree.

std::string ToUpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view text);

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence, or npos.
std::size_t FirstInvalidUtf8(std::string_view text);

// The text with every byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD, so that it can be shown and written as JSON.
std::string ValidUtf8(std::string_view text);

// The text for a terminal: ill-formed UTF-8 replaced as above, and control characters written as
// escapes (\n, \t, \r, \x1B, ...) so that they cannot move the cursor or change the screen.
std::string TerminalText(std::string_view text);

// The text between single quotes, shown as TerminalText, as messages quote names from the
// file.
std::string Quoted(std::string_view text);

// A text a client sent, as an error message quotes it: ill-formed UTF-8 replaced, and past
// kClientQuoteLimit bytes cut at a character boundary, ended with an ellipsis and followed by its
// whole length, so that a reason stays short whatever the client sent.
inline constexpr std::size_t kClientQuoteLimit = 200;
std::string ShortClientText(std::string_view text);
// The same between single quotes: 'abc…' (50000 bytes).
std::string QuotedClientText(std::string_view text);

// An IEC identifier: a letter or "_", then letters, digits and "_".
bool IsIdentifier(std::string_view text);
