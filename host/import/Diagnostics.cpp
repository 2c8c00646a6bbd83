#include "import/Diagnostics.h"

#include <algorithm>
#include <utility>

namespace {

// A message quotes names from the file; a huge name is cut so that the report stays readable.
constexpr std::size_t kMaxMessageBytes = 400;
// Past this many entries the report only counts the rest.
constexpr std::size_t kMaxPrintedEntries = 100;

std::string Bounded(std::string message) {
    if (message.size() > kMaxMessageBytes) {
        const std::size_t cut = message.size() - kMaxMessageBytes;
        message.resize(kMaxMessageBytes);
        message += "... (" + std::to_string(cut) + " more bytes)";
    }
    return message;
}

} // namespace

Diagnostics::Diagnostics(std::string fileName) : m_FileName(std::move(fileName)) {}

void Diagnostics::Error(std::size_t line, std::string message) {
    m_Entries.push_back({Severity::Error, line, Bounded(std::move(message))});
    ++m_ErrorCount;
}

void Diagnostics::Warning(std::size_t line, std::string message) {
    m_Entries.push_back({Severity::Warning, line, Bounded(std::move(message))});
}

void Diagnostics::Remark(std::size_t line, std::string message) {
    m_Entries.push_back({Severity::Remark, line, Bounded(std::move(message))});
}

void Diagnostics::Append(const Diagnostics& other) {
    m_Entries.insert(m_Entries.end(), other.m_Entries.begin(), other.m_Entries.end());
    m_ErrorCount += other.m_ErrorCount;
}

std::string Diagnostics::Format(const Entry& entry) const {
    std::string text = m_FileName;
    if (entry.line > 0) {
        text.append(":").append(std::to_string(entry.line));
    }
    text.append(entry.severity == Severity::Warning ? ": warning: " : ": ").append(entry.message);
    return text;
}

std::vector<Diagnostics::Entry> Diagnostics::InLineOrder() const {
    // In file order: some reports (library types) are only complete once the whole file is read.
    std::vector<Entry> sorted = m_Entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Entry& a, const Entry& b) { return a.line < b.line; });
    return sorted;
}

void Diagnostics::Print(std::ostream& out) const {
    const std::vector<Entry> sorted = InLineOrder();
    const std::size_t shown = std::min(sorted.size(), kMaxPrintedEntries);
    for (std::size_t i = 0; i < shown; ++i) {
        out << Format(sorted[i]) << '\n';
    }
    if (shown < m_Entries.size()) {
        out << m_FileName << ": " << m_Entries.size() - shown << " more messages not shown ("
            << m_ErrorCount << " errors in all)\n";
    }
}
