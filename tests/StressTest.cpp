#include "CTraceSink.h"
#include "DictionaryGenerator.h"
#include "VarbankClient.h"

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

using varbank::BrowsePage;
using varbank::BrowsePager;

// Every answer of the dictionary as one text, so that answers can be compared whole.
std::string Resolve(CVarbank& dico, const std::string& name) {
    const varbank::Resolution resolution(dico, name);
    std::ostringstream out;
    out << resolution.Status() << "|" << resolution.Address() << "|" << resolution.Comment() << "|"
        << resolution.PropertyCount();
    if (resolution.Record() != nullptr) {
        out.write(reinterpret_cast<const char*>(resolution.Record()), sizeof(ImplemRecord));
    }
    for (std::uint32_t i = 0; i < resolution.PropertyCount(); ++i) {
        const VARIANT& v = resolution.Properties()[i].vValue;
        out << "|" << resolution.Properties()[i].dwPropertyId << ":"
            << (v.vt == VT_BSTR ? Utf16ToUtf8(v.bstrVal) : std::to_string(v.lVal));
    }
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
    BrowsePager pager(dico, {"", "*", 0, path, 0, 1, 1, u"S", 7});
    std::string text;
    for (BrowsePage page; pager.Next(page);) {
        text += std::to_string(page.Status()) + ";";
        for (const tagBROWSEELEMENT& record : page) {
            text += Utf16ToUtf8(record.pszItemId) + "/" + std::to_string(record.dwFlags) + ";";
        }
    }
    return text + std::to_string(pager.Status());
}

using Question = std::function<std::string(CVarbank&)>;

std::string Stamp(CVarbank& dico) {
    CAppParameters params;
    params.m_Kind = 2;
    params.m_StampWords[0] = 0x51;
    CSymb::Consistence result = CSymb::CONSISTENCE_NONE;
    return dico.GetStampText() + "|" + std::to_string(dico.CompareStamp(56, &params, &result, 0));
}

std::vector<Question> Questions() {
    std::vector<Question> questions = {Stamp, [](CVarbank& d) { return Resolve(d, "NOSUCH"); },
                                       [](CVarbank& d) { return Resolve(d, "LATE[2]"); },
                                       [](CVarbank& d) { return Resolve(d, "LATE.X"); },
                                       [](CVarbank& d) { return Names(d, "LATE"); }};
    for (std::size_t i : {0, 1, 3, 6, 7, 8, 9, 19, 126, 599}) {
        const std::string name = generated::NameOf(i);
        for (const std::string& item : {name, name + ".3", name + ".P.X.A", name + "[2]",
                                        name + "[1][3]", name + ".OUT", name + ".LOC"}) {
            questions.push_back([item](CVarbank& d) { return Resolve(d, item); });
        }
    }
    for (const char* path : {"", "V0000006", "V0000007", "V0000008[1]", "V0000009"}) {
        questions.push_back([path](CVarbank& d) { return Names(d, path); });
        questions.push_back([path](CVarbank& d) { return PagedElements(d, path); });
    }
    return questions;
}

// Counts trace lines and every time two threads were in the sink at once.
struct OneAtATimeSink : CTraceSink {
    void Trace(std::int32_t, const char*) override {
        if (inside.exchange(true)) {
            ++overlaps;
        }
        std::this_thread::yield();
        inside = false;
    }
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
};

void Refill(CVarbank& dico) {
    CScopedLock guard(dico.m_Lock);
    dico.CleanCMaps();
    generated::Fill(dico, kVariables);
    // A variable whose array type this dictionary has never looked up: the first read of it
    // after each refill must build the type, under the exclusive lock.
    CVarbank scratch("SCRATCH", "", nullptr);
    auto* late = new CSymbXMLItemDef();
    late->m_Name = "LATE";
    late->SetType("ARRAY[0..3] OF int", scratch.m_Types);
    late->m_Block = 3;
    late->m_Size = 8;
    dico.AddItem(late);
    dico.m_Stamp[0] = 0x51;
    dico.m_Stamp[2] = 7;
}

std::chrono::milliseconds StressDuration() {
    const char* text = std::getenv("VARBANK_STRESS_MS");
    return std::chrono::milliseconds(text != nullptr ? std::atoi(text) : 1500);
}

// Eight threads mix every operation while a ninth empties and refills the dictionary under
// its lock, as a host would, and switches tracing on and off; each answer must equal the
// single-threaded reference, and the trace sink is never entered by two threads at once.
TEST(Stress, ConcurrentAnswersEqualTheSingleThreadedReference) {
    CAppParameters params = generated::Parameters();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("varbank-stress-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CVarbank dico("STRESS", dir.string(), &params);
    OneAtATimeSink sink;
    dico.Initialize(0, &sink, 1, dir.string(), 0);
    Refill(dico);
    const std::vector<Question> questions = Questions();
    std::vector<std::string> references; // the answers of a single-threaded run
    for (const Question& question : questions) {
        references.push_back(question(dico));
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
                if (questions[n % questions.size()](dico) != references[n % questions.size()]) {
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
        for (int n = 0; !stop; ++n) {
            Refill(dico);
            dico.SetTraceEnabled(n % 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::this_thread::sleep_for(StressDuration());
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(sink.overlaps.load(), 0);
    EXPECT_EQ(dico.GetCounter(), 1 + increments.load());
    std::filesystem::remove_all(dir);
}

} // namespace
