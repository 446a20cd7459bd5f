#pragma once
// The program's identity: its title and the version compiled into it.
#include <QString>

inline const QString ApplicationTitle = QStringLiteral("Ferrit");

// The version built into the program; empty when the build gave none.
QString ProgramVersion();

// Text of the splash's version label: "Version " and the version, or nothing without one.
QString VersionLabelText(const QString& version);

// Folder that holds the executable, ending in "/".
QString ProgramFolder();

// Whether the program at executablePath is installed: its folder is named "bin"
// (/usr/bin, /usr/local/bin, ~/bin), which is no place for a user's files.
bool ProgramInstalled(const QString& executablePath);

// Where the local side starts, and the local folder a new host proposes: the
// program's folder, or the home folder ("/" appended) of an installed program.
QString LocalStartFolder();
