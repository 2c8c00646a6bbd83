#pragma once

#include <span>
#include <string_view>

// The symbol browser page (HTML, CSS, JavaScript), compiled into the program so that the
// service needs no files beside itself.
class PageAssets {
public:
    struct File {
        std::string_view path; // "/index.html", "/app.js", ...
        std::string_view content;
        const char* contentType;
    };

    static const File* Find(std::string_view path);

private:
    // Generated at build time from the files in page/.
    static std::span<const File> Files();
};
