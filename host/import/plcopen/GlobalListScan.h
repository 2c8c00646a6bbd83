#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Finds the large global variable lists of a document without building a tree, and cuts their
// content into pieces of whole children, so that a list of a million variables is parsed a
// piece at a time rather than held whole as a tree beside its text.
//
// It follows tags, comments, CDATA sections and processing instructions only; on anything it
// does not follow (a DTD's internal subset, an end tag that does not match, the text ending
// inside markup) it finds nothing, and the document is parsed whole, which reports the fault.
class GlobalListScan {
public:
    struct List {
        std::size_t name = 0;          // offset of the start tag's name
        std::size_t begin = 0;         // the content, after the start tag
        std::size_t end = 0;           // where the end tag starts
        std::vector<std::size_t> cuts; // piece boundaries, from begin to end, both included
    };

    // Lists under a configuration, a resource, an extension's data or a POU interface whose
    // content is at least `minBytes`, in file order, each cut into pieces of about
    // `pieceBytes`.
    static std::vector<List> Find(std::string_view text, std::size_t minBytes,
                                  std::size_t pieceBytes);
};
