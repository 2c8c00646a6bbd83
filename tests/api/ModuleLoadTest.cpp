#include <Varbank.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

TEST(ModuleLoad, GetSymbTypeThroughDlsym) {
    void* module = dlopen(VARBANK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using GetSymbTypeFn = HRESULT (*)(std::uint32_t*);
    auto getSymbType = reinterpret_cast<GetSymbTypeFn>(dlsym(module, "GetSymbType"));
    ASSERT_NE(getSymbType, nullptr);
    std::uint32_t kind = 0;
    EXPECT_EQ(getSymbType(&kind), S_OK);
    EXPECT_EQ(kind, 10U);
    EXPECT_EQ(getSymbType(nullptr), E_INVALIDARG);
    // Helpers of our own are not exported.
    EXPECT_EQ(dlsym(module, "_Z9AtoiLikeSt17basic_string_viewIcSt11char_traitsIcEE"), nullptr);
    EXPECT_EQ(dlclose(module), 0);
}

TEST(ModuleLoad, ApplicationObjectRunsWhileLoaded) {
    EXPECT_TRUE(CVarbankApp::Instance().IsRunning());
}

TEST(ModuleLoad, InterfaceOwnBodies) {
    // A provider that keeps the interface's own bodies.
    struct Minimal : CVarbank {
        using CVarbank::CVarbank;
        HRESULT SearchAndGetFF(std::uint32_t n, const char* const* names, std::string& a,
                               std::string& c, ImplemRecord** r, std::uint32_t* np,
                               PropertyEntry** p) override {
            return CSymb::SearchAndGetFF(n, names, a, c, r, np, p);
        }
        Consistence GetConsistence() override { return CSymb::GetConsistence(); }
        void SetTraceEnabled(std::int32_t e) override { CSymb::SetTraceEnabled(e); }
    };
    Minimal provider("APP", "", nullptr);
    CSymb& symb = provider;
    std::string address;
    std::string comment;
    const char* names[] = {"X"};
    EXPECT_EQ(symb.SearchAndGetFF(1, names, address, comment, nullptr, nullptr, nullptr),
              E_NOTIMPL);
    EXPECT_EQ(symb.Reserved4(0), E_NOTIMPL);
    EXPECT_EQ(symb.GetConsistence(), CSymb::CONSISTENCE_NO_STAMP);
    symb.SetTraceEnabled(1);
    EXPECT_EQ(provider.m_TraceEnabled, 0);
}

} // namespace
