#pragma once
// Which data-connection commands a status log shows: proof of the mode a
// listing or transfer ran in, whatever the server would also have accepted.
#include <QStringList>
#include <gtest/gtest.h>

// How each data connection was opened, in order: "EPSV" or "PASV" for a
// passive one the server accepted (its 229 or 227 reply; a refused EPSV is not
// one), "PORT" or "EPRT" for an active one (the command with its address).
// Bare command names are not counted: a "FEAT" reply lists them as features.
inline QStringList DataConnectionCommands(const QStringList& log)
{
    QStringList commands;
    for (const QString& logged : log) {
        const QString line = logged.trimmed();
        if (line.startsWith(u"229 "))
            commands << QStringLiteral("EPSV");
        else if (line.startsWith(u"227 "))
            commands << QStringLiteral("PASV");
        else if (line.startsWith(u"PORT ") || line.startsWith(u"EPRT "))
            commands << line.left(4);
    }
    return commands;
}

// At least one data connection was opened, and every one in the mode asked
// for. PASV cannot name an IPv6 address; EPRT may carry either family.
inline ::testing::AssertionResult DataConnectionsIn(bool passive, bool ipv6, const QStringList& log)
{
    const QStringList commands = DataConnectionCommands(log);
    const QStringList allowed = !passive ? QStringList{"PORT", "EPRT"}
                                : ipv6   ? QStringList{"EPSV"}
                                         : QStringList{"EPSV", "PASV"};
    bool ok = !commands.isEmpty();
    for (const QString& command : commands)
        ok = ok && allowed.contains(command);
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "data connections opened by [" << commands.join(", ").toStdString()
                                         << "], expected only " << allowed.join(" or ").toStdString() << "; log:\n"
                                         << log.join(u'\n').toStdString();
}
