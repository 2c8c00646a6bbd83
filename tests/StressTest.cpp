#include "DictionaryGenerator.h"
#include "ImplemRecord.h"
#include "PropertyEntry.h"
#include "TaskMem.h"
#include "TextConversion.h"
#include "tagBROWSEELEMENT.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

namespace {

constexpr std::size_t kVariables = 600;

// Every answer of the dictionary as one text, so that answers can be compared whole.
std::string Resolution(CVarbank& dico, const std::string& name) {
    const char* names[] = {name.c_str()};
    std::string address;
    std::string comment;
    ImplemRecord* record = nullptr;
    PropertyEntry* properties = nullptr;
    std::uint32_t count = 0;
    const HRESULT hr =
        dico.SearchAndGetFF(1, names, address, comment, &record, &count, &properties);
    std::ostringstream out;
    out << hr << "|" << address << "|" << comment << "|" << count;
    if (record != nullptr) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(record);
        for (std::size_t i = 0; i < sizeof(ImplemRecord); ++i) {
            out << ' ' << static_cast<int>(bytes[i]);
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const VARIANT& v = properties[i].vValue;
        out << "|" << properties[i].dwPropertyId << ":"
            << (v.vt == VT_BSTR ? Utf16ToUtf8(v.bstrVal) : std::to_string(v.lVal));
    }
    std::free(record);
    delete[] properties;
    return out.str();
}

std::string Names(CVarbank& dico, const char* path) {
    std::vector<std::string> output;
    const HRESULT hr = dico.BrowseNames("", "*", 0, path, 0, 0, 0, 1, 1, 2, "AC", &output, nullptr);
    std::string text = std::to_string(hr);
    for (const std::string& line : output) {
        text += "\n" + line;
    }
    return text;
}

// The whole listing of a position through pages of seven records.
std::string PagedElements(CVarbank& dico, const char* path) {
    std::string text;
    OLECHAR* continuation = nullptr;
    for (int page = 0; page < 1000; ++page) {
        tagBROWSEELEMENT records[7];
        tagBROWSEELEMENT* block = records;
        std::uint32_t count = 0;
        std::uint32_t capacity = 7;
        std::int32_t more = 0;
        OLECHAR* before = continuation;
        const HRESULT hr =
            dico.BrowseElements("", "*", 0, path, 0, 0, 0, 1, 1, 0, "", u"S", &continuation, 7, 0,
                                0, 0, 0, &more, &count, &block, &capacity, nullptr);
        if (continuation != before) {
            CoTaskMemFree(before);
        }
        text += std::to_string(hr) + ";";
        for (std::uint32_t i = 0; i < count; ++i) {
            text +=
                Utf16ToUtf8(records[i].pszItemId) + "/" + std::to_string(records[i].dwFlags) + ";";
            CoTaskMemFree(records[i].pszName);
            CoTaskMemFree(records[i].pszItemId);
        }
        if (more == 0) {
            break;
        }
    }
    CoTaskMemFree(continuation);
    return text;
}

struct Question {
    std::function<std::string(CVarbank&)> ask;
    std::string reference; // the answer of a single-threaded run
};

std::vector<Question> Questions() {
    std::vector<Question> questions;
    for (std::size_t i : {0, 1, 3, 6, 7, 8, 9, 19, 126, 599}) {
        const std::string name = generated::NameOf(i);
        for (const std::string& item : {name, name + ".3", name + ".P.X.A", name + "[2]",
                                        name + "[1][3]", name + ".OUT", name + ".LOC"}) {
            questions.push_back({[item](CVarbank& d) { return Resolution(d, item); }, ""});
        }
    }
    questions.push_back({[](CVarbank& d) { return Resolution(d, "NOSUCH"); }, ""});
    for (const char* path : {"", "V0000006", "V0000007", "V0000008[1]", "V0000009"}) {
        questions.push_back({[path](CVarbank& d) { return Names(d, path); }, ""});
        questions.push_back({[path](CVarbank& d) { return PagedElements(d, path); }, ""});
    }
    questions.push_back({[](CVarbank& d) { return d.GetStampText(); }, ""});
    questions.push_back({[](CVarbank& d) {
                             CAppParameters p;
                             p.m_Kind = 2;
                             p.m_StampWords[0] = 0x51;
                             CSymb::Consistence result = CSymb::CONSISTENCE_NONE;
                             return std::to_string(d.CompareStamp(56, &p, &result, 0));
                         },
                         ""});
    return questions;
}

void Refill(CVarbank& dico) {
    CScopedLock guard(dico.m_Lock);
    dico.CleanCMaps();
    generated::Fill(dico, kVariables);
    dico.m_Stamp[0] = 0x51;
    dico.m_Stamp[2] = 7;
}

std::chrono::milliseconds StressDuration() {
    const char* text = std::getenv("VARBANK_STRESS_MS");
    return std::chrono::milliseconds(text != nullptr ? std::atoi(text) : 1500);
}

// Eight threads mix every operation while a ninth empties and refills the dictionary under
// its lock, as a host would; each answer must equal the single-threaded reference.
TEST(Stress, ConcurrentAnswersEqualTheSingleThreadedReference) {
    CAppParameters params = generated::Parameters();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("varbank-stress-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CVarbank dico("STRESS", dir.string(), &params);
    Refill(dico);
    std::vector<Question> questions = Questions();
    for (Question& q : questions) {
        q.reference = q.ask(dico);
    }
    const PLCDicoStamping plc = {{0x51, 0, 7, 0, 0, 0, 0}};
    ASSERT_EQ(dico.CheckDicoStamp(&plc), CSymb::CONSISTENCE_OK);

    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::atomic<std::uint32_t> increments{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t n = static_cast<std::size_t>(t); !stop; n += 8) {
                const Question& q = questions[n % questions.size()];
                if (q.ask(dico) != q.reference) {
                    ++mismatches;
                }
                // Read without the lock: the stamp of the full dictionary, or none mid-refill.
                const CSymb::Consistence c = dico.CheckDicoStamp(&plc);
                if (c != CSymb::CONSISTENCE_OK && c != CSymb::CONSISTENCE_NO_STAMP) {
                    ++mismatches;
                }
                if (n % 16 == 0) {
                    dico.IncrementCounter(0, 0);
                    ++increments;
                }
                if (n % 64 == 0 && !dico.SaveBinaryForm()) {
                    ++mismatches;
                }
            }
        });
    }
    threads.emplace_back([&] {
        while (!stop) {
            Refill(dico);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::this_thread::sleep_for(StressDuration());
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(dico.GetCounter(), 1 + increments.load());
    std::filesystem::remove_all(dir);
}

} // namespace
