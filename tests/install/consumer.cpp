#include <Varbank.h>

#include <cstdio>

int main() {
    std::uint32_t kind = 0;
    if (GetSymbType(&kind) != S_OK) {
        return 1;
    }
    CVarbank dico("APP", "/tmp", nullptr);
    std::printf("kind %u %s\n", kind, dico.GetDescription().c_str());
    return 0;
}
