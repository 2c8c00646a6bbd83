#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A text that most records leave empty, such as a variable's direct address: one pointer while
// empty, the text on the heap otherwise, instead of a whole string in every record. Reads as a
// const std::string&; assigning an empty text frees it.
class CRareText {
public:
    CRareText() = default;
    CRareText(const CRareText&) = delete;
    CRareText& operator=(const CRareText&) = delete;
    CRareText(CRareText&&) noexcept = default;
    CRareText& operator=(CRareText&&) noexcept = default;
    ~CRareText() = default;

    CRareText& operator=(std::string text) {
        if (text.empty()) {
            m_Text.reset();
        } else if (m_Text) {
            *m_Text = std::move(text);
        } else {
            m_Text = std::make_unique<std::string>(std::move(text));
        }
        return *this;
    }

    const std::string& str() const { return m_Text ? *m_Text : Empty(); }
    operator const std::string&() const { return str(); }
    bool empty() const { return !m_Text; }
    std::size_t find(char c) const { return str().find(c); }

private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }

    std::unique_ptr<std::string> m_Text;
};
