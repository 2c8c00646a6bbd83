#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "DictionaryGenerator.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// A scratch directory of its own for each test.
struct DumpDir {
    DumpDir() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~DumpDir() { fs::remove_all(path); }
    std::string File(const std::string& dicoName) const { return path + "/" + dicoName + ".kvxav"; }
    const std::string path = ::testing::TempDir() + "varbank-dump-" + std::to_string(::getpid()) +
                             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

// The lines of a file, with the two tick values (the only ones that differ between two dumps)
// blanked when they have their form: lower-case hexadecimal first, upper-case last.
Lines Masked(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_TRUE(!text.empty() && text.back() == '\n') << "the last line ends with a line feed";
    Lines lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    if (lines.size() >= 2) {
        lines.front() = std::regex_replace(lines.front(), std::regex(" [0-9a-f]+$"), " <tick>");
        lines.back() = std::regex_replace(lines.back(), std::regex(" [0-9A-F]+ $"), " <tick> ");
    }
    return lines;
}

// Types and variables of every kind, completed by the post-load pass; the dump lists them in
// the order they were added.
void FillSmallDictionary(CVarbank& dico) {
    using generated::AddType;
    using generated::Member;
    using generated::Variable;
    const std::uint32_t stamp[5] = {1, 2, 0xABC, 0, 0xFFFFFFFF};
    std::copy(std::begin(stamp), std::end(stamp), dico.m_Stamp);
    dico.GetStampText();
    dico.m_HostText = "host text";
    dico.m_HostValue = 0x2A;

    CSymbXMLDDTMember* speed = Member("SPEED", "INT", 2, 2, 1, "motor speed");
    speed->m_Attribute = 3;
    CSymbXMLDDTMember* state = Member("State", "BOOL", 4, 1, 2);
    state->m_Block = 1;
    state->m_Hidden = 1;
    AddType<CSymbXMLDDTStructDef>(
        dico, "Motor", {speed, state, Member("GRID", "ARRAY[0..1, 0..2] OF BOOL", 6, 6)}, 0x10);
    AddType<CSymbXMLDFBDef>(dico, "TON", {}, 0xFFFFFFFF);
    dico.m_Types.m_TypesByName["EMPTY"] = nullptr; // counted, skipped by the walks
    // The nested block is removed after loading (the first member is never examined).
    AddType<CSymbXMLDFBDef>(dico, "CTRL", {Member("IN", "BOOL", 4, 1), Member("T1", "TON", 0, 4)});

    Variable(dico, "Speed1", "INT", 1, 0x18, 2, "%MW12", "speed of motor 1");
    CSymbXMLItemDef* tab = Variable(dico, "TAB", "Array[-1..1] OF int", 3, 0, 6);
    tab->m_Bit = 2;
    tab->m_Attribute = 7;
    // Twelve variables: the count is written in hexadecimal.
    for (const char* name : {"Z9", "Y8", "X7", "W6", "V5", "U4", "T3", "S2", "R1", "Q0"}) {
        Variable(dico, name, "BOOL");
    }
    dico.FinalyzeListOfType();
}

TEST(QuickSaveDump, SmallDictionaryMatchesTheExpectedFile) {
    DumpDir dir;
    CVarbank dico("APP1", dir.path, nullptr);
    FillSmallDictionary(dico);
    ASSERT_TRUE(dico.SaveBinaryForm());
    const Lines expected = Masked(VARBANK_TESTS_DIR "/data/quicksave_small.kvxav");
    EXPECT_EQ(Masked(dir.File("APP1")), expected);

    // A second dump differs in the tick values only; with a trailing "/" it is the same file.
    dico.m_DumpDirectory = dir.path + "/";
    ASSERT_TRUE(dico.SaveBinaryForm());
    EXPECT_EQ(Masked(dir.File("APP1")), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(QuickSaveDump, NewDictionaryWritesTenLines) {
    DumpDir dir;
    CVarbank dico("NEW", dir.path, nullptr);
    ASSERT_TRUE(dico.SaveBinaryForm());
    EXPECT_EQ(Masked(dir.File("NEW")),
              (Lines{"QUICK SAVE DICO V1.0 NEW <tick>", "NEW ", " ",
                     "KorvoPro Dictionnary from PLC ", "0  0  0  0  0 ", " ", "0 ", "ListType 0",
                     "NbItem 0 ", "QUICK SAVE DICO V1.0 END OF FILE <tick> "}));
}

TEST(QuickSaveDump, OpenFailureGivesFalseAndNoFile) {
    DumpDir dir;
    CVarbank dico("APP1", dir.path + "/missing", nullptr);
    EXPECT_FALSE(dico.SaveBinaryForm());
    EXPECT_FALSE(fs::exists(dir.path + "/missing"));
    // A directory in the way of the file name.
    fs::create_directory(dir.File("BUSY"));
    CVarbank busy("BUSY", dir.path, nullptr);
    EXPECT_FALSE(busy.SaveBinaryForm());
    EXPECT_TRUE(fs::is_directory(dir.File("BUSY")));
}

TEST(QuickSaveDump, BlockFailureDeletesTheFile) {
    struct FailingType : CSymbXMLDDTStructDef {
        bool SaveBinary(CTextFile& file) override {
            file.WriteString("partial\n");
            return false;
        }
    };
    DumpDir dir;
    CVarbank dico("APP1", dir.path, nullptr);
    auto* failing = new FailingType;
    failing->m_Name = "BAD";
    ASSERT_TRUE(dico.m_Types.AddType(failing));
    ASSERT_TRUE(dico.AddItem(new CSymbXMLItemDef));
    EXPECT_FALSE(dico.SaveBinaryForm());
    EXPECT_TRUE(fs::is_empty(dir.path));
    std::thread other([&] {
        EXPECT_TRUE(dico.m_Lock.TryLock());
        dico.m_Lock.Unlock();
    });
    other.join();
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
    EXPECT_EXIT(std::_Exit(DumpBeyondTheFileSizeLimit(dir.path)), ::testing::ExitedWithCode(0), "");
}

} // namespace
