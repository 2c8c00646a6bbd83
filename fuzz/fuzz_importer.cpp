// Any bytes as a PLCopen XML program: the importer reports errors or yields a layout, and the
// dictionary built from a layout answers a resolution and a root listing.
#include "core/DictionaryBuilder.h"
#include "import/Diagnostics.h"
#include "import/ProjectImporter.h"

#include <Varbank.h>
#include <VarbankClient.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Diagnostics diagnostics("fuzz.xml");
    const auto layout = ProjectImporter(diagnostics).ImportText(text);
    if (!layout) {
        if (!diagnostics.HasErrors()) {
            std::abort(); // a refused import always says why
        }
        return 0;
    }
    std::unique_ptr<CVarbank> dico = DictionaryBuilder::Build(*layout, "FUZZ", "/tmp");
    std::vector<std::string> names;
    dico->BrowseNames("", "*", 0, "", 0, 0, 0, 1, 1, 2, "AC", &names, nullptr);
    for (std::size_t i = 0; i < names.size() && i < 8; ++i) {
        const std::string name = names[i].substr(0, names[i].find('|'));
        const varbank::Resolution resolution(*dico, name);
        std::vector<std::string> children;
        dico->BrowseNames("", "*", 0, name.c_str(), 0, 0, 0, 1, 1, 0, "", &children, nullptr);
    }
    return 0;
}
