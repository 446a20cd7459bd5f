#pragma once
// The program's command line: ferrit [options] [address]. --help and --version
// print and end the program, and so do an unknown option and a second address,
// with the parser's error and exit code 1: all of it before the application
// object exists, since that needs a display and --help must not. Qt's own options
// (-platform, -style, -display ...) are let through for the application object.
#include <QString>
#include <optional>

struct TCommandLine {
    std::optional<QString> Address; // to open once the window is up
};

// `argc` and `argv` as main() got them. Sets the application's name and version,
// which --version prints. Ends the process where --help would; an address that is
// no address is said on standard error, and still returned, so that the window
// can say it too.
TCommandLine ReadCommandLine(int& argc, char** argv);
