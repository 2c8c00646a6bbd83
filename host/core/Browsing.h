#pragma once

#include <Varbank.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which children a browse lists.
enum class BrowseKind { All, Leaves, Branches, BranchesOnly };

// The kind named by its text ("all", "leaves", "branches", "branchesOnly"); nothing otherwise.
std::optional<BrowseKind> ParseBrowseKind(std::string_view text);
// Variant types by number (decimal or 0x...) or by name (I2, VT_I2, BOOL, ...).
std::optional<VARTYPE> ParseVarType(std::string_view text);

// What a browse asks for: a position (empty: the root), a name filter, a variant type (0: any),
// the kinds of children, and the children per page (0: all at once).
struct BrowseOptions {
    std::string path;
    std::string pattern = "*";
    VARTYPE varType = 0;
    BrowseKind kind = BrowseKind::All;
    std::uint32_t pageSize = 0;
};

struct BrowsedChild {
    std::string name;
    std::string itemId; // the dictionary name, "!", the path
    std::string path;   // the full item name
    bool hasChildren = false;
};

// Why a browse lists nothing. BadPath and BadContinuation are the host's own refusals of what
// a client gave, made before the dictionary is asked.
enum class BrowseFault { None, NotComposite, BadPath, BadContinuation, NotAvailable, Other };

// One page of children; the continuation is where the next page starts (empty on the last).
struct BrowsedPage {
    BrowseFault fault = BrowseFault::None;
    HRESULT status = S_OK;
    std::vector<BrowsedChild> children;
    std::string continuation;
    std::string reason; // why a path or continuation was refused, with the place of the fault

    bool Failed() const { return fault != BrowseFault::None; }
    // The text clients see for the fault: the reason when there is one, else BrowseFaultText.
    std::string Reason() const;
};

// The text clients see for a browse fault at a path.
std::string BrowseFaultText(BrowseFault fault, HRESULT status);
