#include "service/PageAssets.h"

const PageAssets::File* PageAssets::Find(std::string_view path) {
    for (const File& file : Files()) {
        if (file.path == path) {
            return &file;
        }
    }
    return nullptr;
}
