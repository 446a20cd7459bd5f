#!/usr/bin/python3
"""A minimal FTP server on 127.0.0.1 that answers LIST with a generated Unix long listing.

Usage: listing_server.py ENTRIES [--no-group]
Prints the port it listens on, then serves one client after another until killed.
A million real files would cost a real server minutes to create and list; the window
under test only sees the lines, so they are made up here (active mode, as the client uses).
"""
import socket
import sys

EXTENSIONS = ["txt", "bin", "c", "png", "html", "tar.gz", "pdf", ""]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def listing_lines(entries, group):
    owner = "owner    group   " if group else "owner   "
    for i in range(entries):
        ext = EXTENSIONS[i % len(EXTENSIONS)]
        name = "entry%07d%s" % (i, "." + ext if ext else "")
        month = MONTHS[i % 12]
        day = i % 28 + 1
        when = "%02d:%02d" % (i % 24, i % 60) if i % 3 else " %d" % (1990 + i % 30)
        if i % 50 == 0:
            yield "drwxr-xr-x    2 %s     4096 %s %2d %5s %s\r\n" % (owner, month, day, when, name)
        else:
            yield "-rw-r--r--    1 %s %8d %s %2d %5s %s\r\n" % (owner, i * 7 % 10000000, month, day, when, name)


def send_listing(address, entries, group):
    data = socket.create_connection(address)
    chunk = []
    for line in listing_lines(entries, group):
        chunk.append(line)
        if len(chunk) == 4096:
            data.sendall("".join(chunk).encode())
            chunk = []
    data.sendall("".join(chunk).encode())
    data.close()


def serve(client, entries, group):
    reader = client.makefile("rb")

    def reply(text):
        client.sendall((text + "\r\n").encode())

    reply("220 listing bench ready")
    port_address = None
    for raw in reader:
        line = raw.decode(errors="replace").rstrip("\r\n")
        word = line.split(" ", 1)[0].upper()
        if word == "USER":
            reply("331 Password please.")
        elif word == "PASS":
            reply("230 Logged in.")
        elif word == "SYST":
            reply("215 UNIX Type: L8")
        elif word == "PWD":
            reply('257 "/" is the current directory.')
        elif word in ("CWD", "TYPE", "NOOP"):
            reply("200 OK.")
        elif word == "PORT":
            fields = line.split(" ", 1)[1].split(",")
            port_address = (".".join(fields[:4]), int(fields[4]) * 256 + int(fields[5]))
            reply("200 PORT command successful.")
        elif word == "LIST" and port_address:
            reply("150 Here comes the directory listing.")
            send_listing(port_address, entries, group)
            reply("226 Directory send OK.")
        elif word == "QUIT":
            reply("221 Goodbye.")
            break
        else:
            reply("502 Command not implemented.")
    client.close()


def main():
    entries = int(sys.argv[1])
    group = "--no-group" not in sys.argv[2:]
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    print(server.getsockname()[1], flush=True)
    while True:
        client, _ = server.accept()
        try:
            serve(client, entries, group)
        except OSError:
            client.close()


if __name__ == "__main__":
    main()
