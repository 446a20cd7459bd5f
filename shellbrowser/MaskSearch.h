#pragma once
// File masks such as "*.txt;*.doc": "*" any run, "?" one character, ";"
// separates masks; compared in lower case.
#include <QString>
#include <QStringList>

void ParseMaskString(const QString& maskString, QStringList& list);
// Both sides are expected in lower case.
bool MatchesMask(const QString& name, const QString& mask);
bool MatchesMaskList(const QString& name, const QStringList& list);
