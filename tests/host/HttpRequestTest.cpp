#include "service/HttpRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Targets as clients send them: the decoded path, its segments and the parameters, or a
// refusal.
TEST(HttpRequest, SetTargetDecodesPathAndQuery) {
    struct Case {
        const char* target;
        bool accepted;
        std::string path;
        std::vector<std::string> items; // every "item" parameter
        std::string pattern;
        std::vector<std::string> segments;
    };
    const Case cases[] = {
        {"/", true, "/", {}, "", {""}},
        {"/api/dictionaries/a%20b",
         true,
         "/api/dictionaries/a b",
         {},
         "",
         {"api", "dictionaries", "a b"}},
        {"/x+y", true, "/x+y", {}, "", {"x+y"}}, // "+" is a space in the query only
        {"/r?item=A&item=B.C&item=T%5B4%5D", true, "/r", {"A", "B.C", "T[4]"}, "", {"r"}},
        {"/r?item=a+b&pattern=M%2A", true, "/r", {"a b"}, "M*", {"r"}},
        {"/r?item=&item", true, "/r", {"", ""}, "", {"r"}},
        {"/r?&&item=x&", true, "/r", {"x"}, "", {"r"}},
        {"/r?item=%C3%A9", true, "/r", {"\xC3\xA9"}, "", {"r"}},
        {"/r?item=%00x", true, "/r", {std::string("\0x", 2)}, "", {"r"}},
        {"/..%2Fetc", true, "/../etc", {}, "", {"../etc"}},
        {"/a/b%2fc/", true, "/a/b/c/", {}, "", {"a", "b/c", ""}},
        {"//x?item=%2F", true, "//x", {"/"}, "", {"", "x"}},
        {"/a/%zz/b", false, "", {}, "", {}},
        {"/r?item=%zz", false, "", {}, "", {}},
        {"/r?item=%4", false, "", {}, "", {}},
        {"/r%", false, "", {}, "", {}},
        {"r", false, "", {}, "", {}},
        {"", false, "", {}, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        HttpRequest request;
        ASSERT_EQ(request.SetTarget(c.target), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(request.path, c.path);
            EXPECT_EQ(request.Params("item"), c.items);
            EXPECT_EQ(request.Param("pattern"), c.pattern);
            EXPECT_EQ(request.segments, c.segments);
        }
    }
}
