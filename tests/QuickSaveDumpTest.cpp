#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "CountingTypes.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A scratch directory of its own for each test.
class DumpDir {
public:
    DumpDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_Path = fs::path(::testing::TempDir()) /
                 ("varbank-dump-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(m_Path);
        fs::create_directories(m_Path);
    }
    ~DumpDir() { fs::remove_all(m_Path); }
    std::string Path() const { return m_Path.string(); }
    std::string File(const std::string& dicoName) const {
        return (m_Path / (dicoName + ".kvxav")).string();
    }

private:
    fs::path m_Path;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the last line ends with a line feed";
    return lines;
}

// The two tick values are the only lines that may differ between two dumps: check their
// form and blank their value.
void MaskTicks(std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 2U);
    static const std::regex first("(QUICK SAVE DICO V1\\.0 .* )[0-9a-f]+");
    static const std::regex last("(QUICK SAVE DICO V1\\.0 END OF FILE )[0-9A-F]+ ");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines.front(), match, first)) << lines.front();
    lines.front() = match[1].str() + "<tick>";
    ASSERT_TRUE(std::regex_match(lines.back(), match, last)) << lines.back();
    lines.back() = match[1].str() + "<tick> ";
}

// The dump with its tick values blanked and its type and variable blocks sorted, since they
// follow the order of hash maps.
std::string Canonical(std::vector<std::string> lines) {
    MaskTicks(lines);
    std::string text;
    std::vector<std::string> blocks;
    auto flush = [&] {
        std::sort(blocks.begin(), blocks.end());
        for (const std::string& block : blocks) {
            text += "[" + block + "]\n";
        }
        blocks.clear();
    };
    for (const std::string& line : lines) {
        const bool list = line.rfind("ListType ", 0) == 0 || line.rfind("NbItem ", 0) == 0 ||
                          line.rfind("QUICK SAVE", 0) == 0;
        if (list) {
            flush();
            text += line + "\n";
        } else if (blocks.empty() || line == "DDTStruct " || line == "DFBDef " ||
                   line == "DDTArray " || line.rfind("XMLItem ", 0) == 0) {
            blocks.push_back(line + "\n");
        } else {
            blocks.back() += line + "\n";
        }
    }
    return text;
}

CSymbXMLDDTMember* Member(const std::string& name, const std::string& typeName) {
    auto* member = new CSymbXMLDDTMember;
    member->m_Name = name;
    member->m_TypeName = typeName;
    return member;
}

void FillSmallDictionary(CVarbank& dico) {
    const std::uint32_t stamp[5] = {1, 2, 0xABC, 0, 0xFFFFFFFF};
    for (int i = 0; i < 5; ++i) {
        dico.m_Stamp[i] = stamp[i];
    }
    dico.GetStampText();
    dico.m_HostText = "host text";
    dico.m_HostValue = 0x2A;

    auto* motor = new CSymbXMLDDTStructDef;
    motor->m_Name = "Motor";
    motor->m_Id = 0x10;
    CSymbXMLDDTMember* speed = Member("SPEED", "INT");
    speed->m_Comment = "motor speed";
    speed->m_Offset = 2;
    speed->m_Size = 2;
    speed->m_Attribute = 3;
    CSymbXMLDDTMember* state = Member("State", "BOOL");
    state->m_Block = 1;
    state->m_Offset = 4;
    state->m_Size = 1;
    state->m_AreaKind = 2;
    state->m_Hidden = 1;
    ASSERT_TRUE(motor->AddMember(speed));
    ASSERT_TRUE(motor->AddMember(state));
    ASSERT_TRUE(dico.m_Types.AddType(motor));
    auto* timer = new CSymbXMLDFBDef;
    timer->m_Name = "TON";
    timer->m_Id = 0xFFFFFFFF;
    ASSERT_TRUE(dico.m_Types.AddType(timer));

    auto* speed1 = new CSymbXMLItemDef;
    speed1->m_Name = "Speed1";
    speed1->m_Comment = "speed of motor 1";
    speed1->m_Address = "%MW12";
    speed1->m_Block = 1;
    speed1->m_Offset = 0x18;
    speed1->m_Size = 2;
    speed1->SetType("INT", dico.m_Types);
    auto* tab = new CSymbXMLItemDef;
    tab->m_Name = "TAB";
    tab->m_Block = 3;
    tab->m_Size = 6;
    tab->m_Bit = 2;
    tab->m_Attribute = 7;
    tab->SetType("Array[-1..1] OF int", dico.m_Types); // builds the array type
    ASSERT_TRUE(dico.AddItem(speed1));
    ASSERT_TRUE(dico.AddItem(tab));
    dico.FinalyzeListOfType();
}

TEST(QuickSaveDump, SmallDictionaryMatchesTheExpectedFile) {
    DumpDir dir;
    CVarbank dico("APP1", dir.Path(), nullptr);
    ASSERT_NO_FATAL_FAILURE(FillSmallDictionary(dico));
    ASSERT_TRUE(dico.SaveBinaryForm());
    const std::string first = ReadAll(dir.File("APP1"));
    EXPECT_EQ(first.find('\r'), std::string::npos);
    EXPECT_EQ(Canonical(Lines(first)),
              Canonical(Lines(ReadAll(VARBANK_TESTS_DIR "/data/quicksave_small.kvxav"))));

    // A second dump differs in the tick values only; with a trailing "/" it is the same file.
    dico.m_DumpDirectory = dir.Path() + "/";
    ASSERT_TRUE(dico.SaveBinaryForm());
    std::vector<std::string> a = Lines(first);
    std::vector<std::string> b = Lines(ReadAll(dir.File("APP1")));
    MaskTicks(a);
    MaskTicks(b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(QuickSaveDump, NewDictionaryWritesTenLines) {
    DumpDir dir;
    CVarbank dico("NEW", dir.Path(), nullptr);
    ASSERT_TRUE(dico.SaveBinaryForm());
    std::vector<std::string> lines = Lines(ReadAll(dir.File("NEW")));
    MaskTicks(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"QUICK SAVE DICO V1.0 NEW <tick>", "NEW ", " ",
                                               "KorvoPro Dictionnary from PLC ", "0  0  0  0  0 ",
                                               " ", "0 ", "ListType 0", "NbItem 0 ",
                                               "QUICK SAVE DICO V1.0 END OF FILE <tick> "}));
}

TEST(QuickSaveDump, OpenFailureGivesFalseAndNoFile) {
    DumpDir dir;
    CVarbank dico("APP1", dir.Path() + "/missing", nullptr);
    EXPECT_FALSE(dico.SaveBinaryForm());
    EXPECT_FALSE(fs::exists(dir.Path() + "/missing"));
    // A directory in the way of the file name.
    fs::create_directory(dir.File("BUSY"));
    CVarbank busy("BUSY", dir.Path(), nullptr);
    EXPECT_FALSE(busy.SaveBinaryForm());
    EXPECT_TRUE(fs::is_directory(dir.File("BUSY")));
}

class FailingType : public CountingType {
public:
    using CountingType::CountingType;
    bool SaveBinary(CTextFile& file) override {
        file.WriteString("partial\n");
        return false;
    }
};

TEST(QuickSaveDump, BlockFailureDeletesTheFile) {
    DumpDir dir;
    Lifetimes counts;
    CVarbank dico("APP1", dir.Path(), nullptr);
    ASSERT_TRUE(dico.m_Types.AddType(new FailingType(counts, "BAD")));
    ASSERT_TRUE(dico.AddItem(new CSymbXMLItemDef));
    EXPECT_FALSE(dico.SaveBinaryForm());
    EXPECT_FALSE(fs::exists(dir.File("APP1")));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    std::thread other([&] {
        EXPECT_TRUE(dico.m_Lock.TryLock());
        dico.m_Lock.Unlock();
    });
    other.join();
}

TEST(QuickSaveDump, RunsUnderTheDictionaryLock) {
    DumpDir dir;
    CVarbank dico("APP1", dir.Path(), nullptr);
    dico.m_Lock.Lock();
    std::thread dumper([&] { EXPECT_TRUE(dico.SaveBinaryForm()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(dir.File("APP1")));
    dico.m_Lock.Unlock();
    dumper.join();
    EXPECT_TRUE(fs::exists(dir.File("APP1")));
}

// In a child process: with the file size limited, the write error leaves SaveBinaryForm as
// CFileException, with the lock released and the partly written file kept.
int DumpBeyondTheFileSizeLimit(const std::string& directory) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{512, 512};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return 10;
    }
    CVarbank dico("BIG", directory, nullptr);
    dico.m_HostText.assign(64 * 1024, 'x');
    try {
        dico.SaveBinaryForm();
        return 11;
    } catch (const CFileException&) {
    }
    bool released = false;
    std::thread other([&] {
        released = dico.m_Lock.TryLock();
        if (released) {
            dico.m_Lock.Unlock();
        }
    });
    other.join();
    if (!released) {
        return 12;
    }
    return fs::exists(directory + "/BIG.kvxav") ? 0 : 13;
}

TEST(QuickSaveDump, WriteErrorThrowsWithTheLockReleased) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DumpDir dir;
    EXPECT_EXIT(std::_Exit(DumpBeyondTheFileSizeLimit(dir.Path())), ::testing::ExitedWithCode(0),
                "");
}

} // namespace
