#pragma once
// Opening an address given when the program starts (`ferrit ftp://...`): the host
// entry a session connects with, made from the address and, when one matches, from
// a saved host. Nothing here changes the saved list, so a password from the address
// or typed when asked is kept only if the user saves the host.
#include "app/FtpAddress.h"
#include "app/HostsFile.h"
#include <functional>
#include <optional>
#include <vector>

struct TLaunchTarget {
    THostEntry Host;
    std::optional<std::size_t> SavedHost = {}; // the saved host whose settings it took
    bool AskPassword = false;                  // a user was given, but no password anywhere
};

// `address` must be valid. Without a user, or with "anonymous", it logs in as
// "anonymous" with `anonymousPassword()`, as a new host would. A saved host matches when its host
// (in any case), port and user are the address's; its transfer mode, encoding,
// security, local folder and, when the address has none, password are taken.
// ftps:// is implicit TLS, on port 990 unless the address names one, whatever a
// saved host says; ftp:// takes a saved host's security, or TLS if available.
// The remote folder is the address's only: without one, the server's start folder.
TLaunchTarget LaunchTarget(const TFtpAddress& address, const std::vector<THostEntry>& saved,
                           const std::function<QString()>& anonymousPassword);

// The address with the password in it replaced by "****", to be shown or logged.
QString MaskedAddress(const QString& text);

// Why the address cannot be opened, naming it (masked).
QString LaunchErrorText(const QString& text, const QString& reason);
