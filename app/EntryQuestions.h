#pragma once
// The questions asked before a delete, a download or an upload: one entry is
// named, several are counted. A delete that takes folders says how many files
// and folders go with them, so that nobody empties a tree without knowing it.
#include "app/RemoteDelete.h"

#include <QString>
#include <vector>

// "Delete "a.txt"?", "Delete the folder "docs" with the 3 files and 1 folder in
// it?", "Delete 2 file(s) ?" for several files; several entries with folders
// among them are counted in all.
QString DeleteQuestion(const std::vector<TDeleteTarget>& targets);

// Verb "Download" or "Upload", for count entries: "Download 3 file(s) ?"; one is
// named ("Download "a.txt"?", "Upload the folder "docs" with everything in it?").
QString TransferQuestion(const QString& verb, qsizetype count, const QString& name, bool folder);
