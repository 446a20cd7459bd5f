"""A minimal FTP-over-TLS server for one test case: a download whose data
connection ends without the TLS close (close_notify), the way a cut
connection or an attacker's injected FIN ends it, after which the server
still reports success.

usage: tls_cut_server.py PORT_FILE CERT KEY SIZE MODE
  MODE "cut": sends SIZE bytes and closes the socket without the TLS close.
  MODE "clean": sends SIZE bytes and closes with the TLS close.
The port it listens on (127.0.0.1) is written to PORT_FILE once it listens.
"""
import os
import socket
import ssl
import sys

port_file, cert, key, size, mode = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)

listener = socket.create_server(("127.0.0.1", 0))
with open(port_file + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(port_file + ".tmp", port_file)


def serve(control):
    reader = control.makefile("rb")
    passive = None

    def reply(text):
        control.sendall(text.encode() + b"\r\n")

    reply("220 cut server")
    while True:
        line = reader.readline()
        if not line:
            return
        word = line.split()[0].upper().decode() if line.strip() else ""
        if word == "AUTH":
            reply("234 go")
            control = context.wrap_socket(control, server_side=True)
            reader = control.makefile("rb")
        elif word == "USER":
            reply("331 password")
        elif word in ("PASS",):
            reply("230 in")
        elif word in ("PBSZ", "PROT", "TYPE"):
            reply("200 ok")
        elif word == "EPSV":
            passive = socket.create_server(("127.0.0.1", 0))
            reply("229 Entering Extended Passive Mode (|||%d|)" % passive.getsockname()[1])
        elif word == "RETR":
            reply("150 Opening data connection (%d bytes)" % size)
            raw, _ = passive.accept()
            data = context.wrap_socket(raw, server_side=True)
            data.sendall(b"x" * size)
            if mode == "clean":
                try:
                    data = data.unwrap()
                except (OSError, ssl.SSLError):
                    pass  # the client closed after our close; it need not answer it
            data.close()
            reply("226 Transfer complete")
        elif word == "QUIT":
            reply("221 bye")
            return
        else:
            reply("502 not here")


while True:
    connection, _ = listener.accept()
    try:
        serve(connection)
    except (OSError, ssl.SSLError):
        pass
    connection.close()
