"""A minimal FTP-over-TLS server for the ways a connection can end badly: a
download whose data connection ends without the TLS close (close_notify), the
way a cut connection or an attacker's injected FIN ends it, after which the
server still reports success; and a peer that resets a connection while the
client writes to it.

usage: tls_cut_server.py PORT_FILE CERT KEY SIZE MODE
  MODE "cut": sends SIZE bytes and closes the socket without the TLS close.
  MODE "clean": sends SIZE bytes and closes with the TLS close.
  MODE "reset-data": an upload's data connection is reset after SIZE bytes.
  MODE "close-data": an upload's data connection is closed after SIZE bytes.
  MODE "reset-control": "NOOP" resets the control connection.
Without "AUTH TLS" and "PROT P" the same runs in plain text.
The port it listens on (127.0.0.1) is written to PORT_FILE once it listens.
"""
import os
import socket
import ssl
import struct
import sys

port_file, cert, key, size, mode = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)

listener = socket.create_server(("127.0.0.1", 0))
with open(port_file + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(port_file + ".tmp", port_file)


def reset(connection):
    """Closes with a TCP reset (RST) rather than an orderly end."""
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    connection.close()


def serve(control):
    reader = control.makefile("rb")
    passive = None
    protected = False

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
        elif word == "PROT":
            protected = line.split()[1:2] == [b"P"]
            reply("200 ok")
        elif word in ("PBSZ", "TYPE"):
            reply("200 ok")
        elif word == "NOOP" and mode == "reset-control":
            reset(control)
            return
        elif word == "STOR" and mode in ("reset-data", "close-data"):
            reply("150 Send it")
            data, _ = passive.accept()
            if protected:
                data = context.wrap_socket(data, server_side=True)
            taken = 0
            while taken < size:
                block = data.recv(65536)
                if not block:
                    break
                taken += len(block)
            if mode == "reset-data":
                reset(data)
            else:
                data.close()
            reply("426 Connection reset")
        elif word == "EPSV":
            passive = socket.create_server(("127.0.0.1", 0))
            reply("229 Entering Extended Passive Mode (|||%d|)" % passive.getsockname()[1])
        elif word == "RETR":
            reply("150 Opening data connection (%d bytes)" % size)
            data, _ = passive.accept()
            if protected:
                data = context.wrap_socket(data, server_side=True)
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
