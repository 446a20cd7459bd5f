#pragma once
// Names of the two ends of a transfer. A remote listing is the server's word, so a name
// taken from it is checked before it becomes part of a local path.
#include <QString>

// The local folder of a transfer: the tree's directory with "/" appended unless it
// already ends with one (the empty text becomes "/").
QString LocalTransferFolder(const QString& directory);

// Throws Exception when name is not a plain name inside one folder: empty, "." or "..",
// or containing "/" or a NUL character.
void CheckEntryName(const QString& name);

// The checked local path for an entry caption inside directory. Throws Exception when
// no folder is chosen (an empty directory), rather than writing into the root.
QString LocalTransferFile(const QString& directory, const QString& caption);
// The same for a remote entry: the caption (the decoded name) names the local file, and
// the wire name, which the server is asked for, must be a plain name as well.
QString LocalTransferFile(const QString& directory, const QString& caption, const QString& wireName);
