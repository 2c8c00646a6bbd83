#pragma once

#include "commands/HostSession.h"

#include <VarbankClient.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// varbank browse: lists the children of a position of the name space. Without columns it uses
// BrowseElements (item identifiers, leaf or branch, paging through the continuation point);
// with columns it uses BrowseNames, which adds the address and comment columns.
class BrowseCommand {
public:
    struct Options {
        std::string path; // empty: the root
        std::string pattern = "*";
        VARTYPE varType = 0; // 0: any
        bool leaves = false;
        bool branches = false;
        bool branchesOnly = false;
        std::string columns;        // A address, C comment
        std::uint32_t pageSize = 0; // 0: one page
    };

    explicit BrowseCommand(HostSession& session);

    int Run(const Options& options, bool json, std::ostream& out, std::ostream& err);
    // What BrowseElements is asked for these options (position, kinds, records per page).
    varbank::BrowseRequest Request(const Options& options) const;

    struct Page {
        std::vector<varbank::BrowseChild> children;
        std::string continuation; // first child of the next page; empty on the last page
    };
    // The pages of children; the status of the first call that failed, else S_OK.
    HRESULT BrowsePages(const Options& options, std::vector<Page>& pages);

    // [{"name", "itemId", "path", "hasChildren"}], as the --json output lists children.
    static nlohmann::json ChildrenJson(const std::vector<varbank::BrowseChild>& children);
    // The item path of an identifier: what follows the dictionary name and "!".
    static std::string ItemPath(const std::string& itemId);
    // Variant types by number (decimal or 0x...) or by name (I2, VT_I2, BOOL, ...).
    static bool ParseVarType(const std::string& text, VARTYPE& varType);

private:
    int RunElements(const Options& options, bool json, std::ostream& out, std::ostream& err);
    int RunNames(const Options& options, bool json, std::ostream& out, std::ostream& err);
    int Failed(HRESULT status, const Options& options, std::ostream& err) const;
    static void PrintChildren(const std::vector<varbank::BrowseChild>& children, std::ostream& out);

    HostSession& m_Session;
};
