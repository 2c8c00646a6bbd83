#include "import/plcopen/GlobalListScan.h"

#include <cstring>
#include <optional>

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string_view LocalName(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == npos ? name : name.substr(colon + 1);
}

bool IsListParent(std::string_view name) {
    const std::string_view local = LocalName(name);
    return local == "configuration" || local == "resource" || local == "data" ||
           local == "interface";
}

bool EndsName(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>';
}

struct Open {
    std::string_view name;
    std::optional<std::size_t> list; // index of the list this element is, if followed
};

class Scanner {
public:
    Scanner(std::string_view text, std::size_t minBytes, std::size_t pieceBytes)
        : m_Text(text), m_MinBytes(minBytes), m_PieceBytes(pieceBytes) {}

    std::vector<GlobalListScan::List> Run() {
        while (m_Pos < m_Text.size()) {
            const void* lt = std::memchr(m_Text.data() + m_Pos, '<', m_Text.size() - m_Pos);
            if (lt == nullptr) {
                break;
            }
            m_Pos = static_cast<std::size_t>(static_cast<const char*>(lt) - m_Text.data()) + 1;
            if (!Markup()) {
                return {};
            }
        }
        if (!m_Stack.empty()) {
            return {};
        }
        std::vector<GlobalListScan::List> large;
        for (GlobalListScan::List& list : m_Lists) {
            if (list.end - list.begin >= m_MinBytes) {
                large.push_back(std::move(list));
            }
        }
        return large;
    }

private:
    bool StartsWith(std::string_view prefix) const {
        return m_Text.substr(m_Pos, prefix.size()) == prefix;
    }

    // Moves past the first `terminator` from here; false when there is none.
    bool SkipPast(std::string_view terminator) {
        const std::size_t at = m_Text.find(terminator, m_Pos);
        if (at == npos) {
            return false;
        }
        m_Pos = at + terminator.size();
        return true;
    }

    // m_Pos is just after a '<'.
    bool Markup() {
        if (StartsWith("!--")) {
            return SkipPast("-->");
        }
        if (StartsWith("![CDATA[")) {
            return SkipPast("]]>");
        }
        if (StartsWith("?")) {
            return SkipPast("?>");
        }
        if (StartsWith("!")) {
            return Declaration();
        }
        if (StartsWith("/")) {
            return EndTag();
        }
        return StartTag();
    }

    // <!DOCTYPE ...> without an internal subset, outside the root only.
    bool Declaration() {
        const std::size_t close = m_Text.find('>', m_Pos);
        if (!m_Stack.empty() || close == npos ||
            m_Text.substr(m_Pos, close - m_Pos).find('[') != npos) {
            return false;
        }
        m_Pos = close + 1;
        return true;
    }

    std::string_view Name() {
        const std::size_t start = m_Pos;
        while (m_Pos < m_Text.size() && !EndsName(m_Text[m_Pos])) {
            ++m_Pos;
        }
        return m_Text.substr(start, m_Pos - start);
    }

    bool EndTag() {
        ++m_Pos;
        const std::size_t at = m_Pos - 2;
        const std::string_view name = Name();
        const std::size_t close = m_Text.find('>', m_Pos);
        if (m_Stack.empty() || m_Stack.back().name != name || close == npos) {
            return false;
        }
        m_Pos = close + 1;
        if (const std::optional<std::size_t> list = m_Stack.back().list) {
            GlobalListScan::List& open = m_Lists[*list];
            open.end = at;
            if (open.cuts.back() != at) {
                open.cuts.push_back(at);
            }
        }
        m_Stack.pop_back();
        ChildEnded();
        return true;
    }

    bool StartTag() {
        const std::size_t nameAt = m_Pos;
        const std::string_view name = Name();
        if (name.empty()) {
            return false;
        }
        // Attributes: a quoted value may hold '>' and '/'.
        while (m_Pos < m_Text.size() && m_Text[m_Pos] != '>') {
            const char c = m_Text[m_Pos];
            if (c == '"' || c == '\'') {
                const std::size_t quote = m_Text.find(c, m_Pos + 1);
                if (quote == npos) {
                    return false;
                }
                m_Pos = quote;
            }
            ++m_Pos;
        }
        if (m_Pos >= m_Text.size()) {
            return false;
        }
        const bool empty = m_Text[m_Pos - 1] == '/';
        ++m_Pos;
        if (empty) {
            ChildEnded();
            return true;
        }
        Open open{name, std::nullopt};
        if (LocalName(name) == "globalVars" && !m_Stack.empty() &&
            IsListParent(m_Stack.back().name)) {
            open.list = m_Lists.size();
            m_Lists.push_back({nameAt, m_Pos, m_Pos, {m_Pos}});
        }
        m_Stack.push_back(open);
        return true;
    }

    // After an element closes: a child of a followed list may end a piece there.
    void ChildEnded() {
        if (m_Stack.empty() || !m_Stack.back().list) {
            return;
        }
        GlobalListScan::List& list = m_Lists[*m_Stack.back().list];
        if (m_Pos - list.cuts.back() >= m_PieceBytes) {
            list.cuts.push_back(m_Pos);
        }
    }

    std::string_view m_Text;
    std::size_t m_MinBytes;
    std::size_t m_PieceBytes;
    std::size_t m_Pos = 0;
    std::vector<Open> m_Stack;
    std::vector<GlobalListScan::List> m_Lists;
};

} // namespace

std::vector<GlobalListScan::List> GlobalListScan::Find(std::string_view text, std::size_t minBytes,
                                                       std::size_t pieceBytes) {
    return Scanner(text, minBytes, pieceBytes).Run();
}
