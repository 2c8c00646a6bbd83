#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The README shows examples/minimal_host.cpp; the build compiles and runs that file, and this
// test keeps the README's copy identical to it.
TEST(ReadmeExample, ReadmeShowsTheCompiledExample) {
    const std::string example = ReadFile(VARBANK_SOURCE_DIR "/examples/minimal_host.cpp");
    const std::string readme = ReadFile(VARBANK_SOURCE_DIR "/README.md");
    ASSERT_FALSE(example.empty());
    EXPECT_NE(readme.find("```cpp\n" + example + "```"), std::string::npos);
}

} // namespace
