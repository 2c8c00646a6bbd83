#pragma once

#include <VarbankClient.h>

#include <string>

// One child listed by a browse: its name, its full item path and whether it has children.
struct Child {
    std::string name;
    std::string path;
    std::string itemId; // the dictionary's identifier: dictionary name, "!", path
    bool hasChildren = false;

    static Child From(const varbank::BrowseChild& child);
};
