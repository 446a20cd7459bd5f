// The addresses "Copy address" writes, and that the program's own address parser
// reads them back to the same server, user and entry.
#include "app/FtpAddress.h"
#include "app/RemoteAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(RemoteAddress, WrittenAsTheParserReadsItBack)
{
    const struct {
        TAddressOrigin origin;
        const char* path;
        const char* address;
        const char* folder; // as the parser gives it back
    } cases[] = {
        {{.Host = "ftp.example.org", .User = "anonymous"}, "/pub/readme.txt", "ftp://ftp.example.org/pub/readme.txt",
         "pub/readme.txt"},
        {{.Host = "ftp.example.org", .User = "Anonymous"}, "/a", "ftp://ftp.example.org/a", "a"},
        {{.Host = "ftp.example.org"}, "/a", "ftp://ftp.example.org/a", "a"},
        {{.Host = "h", .Port = 2121, .User = "joe"}, "/x/y.bin", "ftp://joe@h:2121/x/y.bin", "x/y.bin"},
        {{.Host = "h", .User = "joe@work"}, "/f", "ftp://joe%40work@h/f", "f"},
        {{.Host = "h", .User = "joe"}, "/my files/a b.txt", "ftp://joe@h/my%20files/a%20b.txt", "my files/a b.txt"},
        {{.Host = "h"}, "/caf\u00e9/\u00fcber 100%.txt", "ftp://h/caf%C3%A9/%C3%BCber%20100%25.txt",
         "caf\u00e9/\u00fcber 100%.txt"},
        {{.Host = "h"}, "/a#b?c;d", "ftp://h/a%23b%3Fc%3Bd", "a#b?c;d"},
        {{.Host = "h", .Port = 990, .User = "joe", .ImplicitTls = true}, "/s", "ftps://joe@h/s", "s"},
        {{.Host = "h", .Port = 21, .ImplicitTls = true}, "/s", "ftps://h:21/s", "s"},
        {{.Host = "h", .Port = 990}, "/s", "ftp://h:990/s", "s"},
        {{.Host = "::1", .Port = 2121}, "/s", "ftp://[::1]:2121/s", "s"},
        // Below the login folder the path is relative to it, as a host's folder is opened;
        // outside it, from the root.
        {{.Host = "h", .User = "joe", .LoginFolder = "/home/joe"}, "/home/joe/w/a", "ftp://joe@h/w/a", "w/a"},
        {{.Host = "h", .User = "joe", .LoginFolder = "/home/joe/"}, "/home/joe/a", "ftp://joe@h/a", "a"},
        {{.Host = "h", .User = "joe", .LoginFolder = "/home/joe"}, "/etc/motd", "ftp://joe@h/%2Fetc/motd",
         "/etc/motd"},
        {{.Host = "h", .User = "joe", .LoginFolder = "/home/joe"}, "/home/joey/a", "ftp://joe@h/%2Fhome/joey/a",
         "/home/joey/a"},
    };
    for (const auto& c : cases) {
        const QString address = RemoteEntryAddress(c.origin, c.path);
        EXPECT_EQ(address, QString::fromUtf8(c.address)) << c.path;
        const TFtpAddress parsed = ParseFtpAddress(address);
        ASSERT_TRUE(parsed.Valid()) << address.toStdString() << ": " << parsed.Error.toStdString();
        EXPECT_EQ(parsed.Host, c.origin.Host) << c.address;
        EXPECT_EQ(parsed.ImplicitTls, c.origin.ImplicitTls) << c.address;
        EXPECT_EQ(parsed.Port.value_or(c.origin.ImplicitTls ? 990 : 21), c.origin.Port) << c.address;
        const bool anonymous = c.origin.User.isEmpty() || c.origin.User.compare("anonymous", Qt::CaseInsensitive) == 0;
        EXPECT_EQ(parsed.User, anonymous ? std::nullopt : std::optional(c.origin.User)) << c.address;
        EXPECT_FALSE(parsed.Password) << "an address never carries the password";
        EXPECT_EQ(parsed.Folder, QString::fromUtf8(c.folder)) << c.address;
    }
}

} // namespace
