#pragma once

#include "Varbank/tagRATVARPHYSICALIMPLEM.h"

#include <cstdint>
#include <string>

// What one resolution hands to the host, gathered before any output is written.
struct ItemResolution {
    tagRATVARPHYSICALIMPLEM record = {};
    std::uint32_t attribute = 0;
    std::string typeName; // property 5007 of a member path
    // The texts of properties 5007 and 5010, read where they stand (the variable's own texts,
    // or typeName above) instead of copied.
    const std::string* typeNameText = &typeName;
    const std::string* infoText = nullptr;
    std::string address;       // address text output (and property 5011 when offered)
    std::string comment;       // comment output
    bool offerAddress = false; // property 5011 is listed when the address text is not empty

    // Copies the texts read in place, so that the resolution no longer refers to the
    // dictionary and can be handed out after its lock is released.
    void Detach() {
        if (typeNameText != &typeName) {
            typeName = *typeNameText;
            typeNameText = &typeName;
        }
        infoTextCopy = infoText != nullptr ? *infoText : std::string();
        infoText = &infoTextCopy;
    }

    // Back to a new resolution's state, for a run that starts again.
    void Clear() {
        record = {};
        attribute = 0;
        typeName.clear();
        typeNameText = &typeName;
        infoText = nullptr;
        address.clear();
        comment.clear();
        offerAddress = false;
    }

private:
    std::string infoTextCopy;
};
