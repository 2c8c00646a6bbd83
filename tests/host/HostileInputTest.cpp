#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>

namespace {

using namespace hosttest;

struct InfoRun {
    int status = -1;
    std::string err;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs `varbank info FILE` and measures its time and its peak memory.
InfoRun Info(const std::string& path) {
    const std::string err = WriteTempFile("hostile.err", "");
    const std::string command =
        "'" VARBANK_BINARY "' info '" + path + "' > /dev/null 2> '" + err + "'";
    const auto start = std::chrono::steady_clock::now();
    const int raw = std::system(command.c_str());
    InfoRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadFile(err);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    run.maxRssKb = usage.ru_maxrss;
    return run;
}

struct Hostile {
    const char* what;
    std::string xml;
    int status;
    std::string message; // part of the first line of the report
};

std::vector<Hostile> Cases() {
    const std::string example = ReadFile(kExample);
    std::vector<Hostile> cases;
    cases.push_back({"truncated XML", example.substr(0, example.size() / 2), 2, "malformed XML"});
    cases.push_back({"types nested 100,000 deep",
                     Project("", "",
                             "\n" + Var("D", Repeat("<array><dimension lower=\"0\" "
                                                    "upper=\"0\"/><baseType>",
                                                    100000) +
                                                 "<INT/>" + Repeat("</baseType></array>", 100000))),
                     2, "types nest deeper than"});
    std::string users;
    for (int i = 0; i < 100; ++i) {
        users += Var("V" + std::to_string(i), "<derived name=\"T9999\"/>");
    }
    cases.push_back({"10,000 array types, each of the previous",
                     Project(ArrayChain(10000), "", users), 2,
                     "types nest deeper than 128 levels through type 'T64'"});
    cases.push_back(
        {"elements nested 100,000 deep",
         Project("", "", "<x>" + Repeat("<x>", 100000) + Repeat("</x>", 100000)) + "</x>", 2,
         "malformed XML"});
    // Not an identifier, so not a library type: an unknown type, whose report is cut.
    cases.push_back(
        {"a 20 MB attribute",
         Project("", "", Var("H", "<derived name=\"" + std::string(20000000, 'X') + "-\"/>")), 2,
         "more bytes)"});
    cases.push_back({"a billion-element array",
                     Project("", "",
                             Var("B", "<array><dimension lower=\"1\" upper=\"1000000000\"/>"
                                      "<baseType><DINT/></baseType></array>")),
                     2, "at most 1048576 per dimension"});
    cases.push_back({"types that refer to each other",
                     Project(Struct("A", Var("b", "<derived name=\"B\"/>")) +
                             Struct("B", Var("a", "<derived name=\"A\"/>"))),
                     2, "refers to itself"});
    cases.push_back({"100,000 variables with one name",
                     Project("", "", Repeat(Var("Same", "<INT/>"), 100000)), 2,
                     "duplicate variable 'Same'"});
    cases.push_back({"invalid UTF-8 in a name", Project("", "", Var("Bad\xff", "<INT/>")), 2,
                     "invalid UTF-8: byte 0xFF"});
    cases.push_back({"invalid UTF-8 in a comment",
                     Project("", "",
                             "<variable name=\"Ok\"><type><INT/></type><documentation><p>a \xc3"
                             "( b</p></documentation></variable>"),
                     2, "invalid UTF-8: byte 0xC3"});
    return cases;
}

// Each hostile file is refused with status 2 and a short report naming the file, within
// bounded time and memory.
TEST(HostileInput, RefusedWithStatusTwoInBoundedTimeAndMemory) {
    for (const Hostile& c : Cases()) {
        SCOPED_TRACE(c.what);
        const std::string path = WriteTempFile("hostile.xml", c.xml);
        const InfoRun run = Info(path);
        EXPECT_EQ(run.status, c.status);
        const std::string first = run.err.substr(0, run.err.find('\n'));
        EXPECT_NE(first.find(path + ":"), std::string::npos) << first;
        EXPECT_NE(first.find(c.message), std::string::npos) << first.substr(0, 300);
        EXPECT_LT(run.err.size(), 20000U); // long names and repeated errors are cut
        EXPECT_LT(run.seconds, 30.0);
        EXPECT_LT(run.maxRssKb, 1536L * 1024);
    }
}

} // namespace
