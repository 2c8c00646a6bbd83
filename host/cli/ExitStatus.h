#pragma once

// Exit statuses of the varbank command.
enum ExitStatus : int {
    kExitDone = 0,     // done
    kExitRefused = 1,  // a name refused or not found, a stamp mismatch, a dump not written
    kExitBadInput = 2, // bad usage, or an input that cannot be read or imported
};
