# A throttled FTP server on 127.0.0.1:21 (user "demo", password "demo"), slow enough
# to watch a transfer in progress: server.py ROOT BYTES_PER_SECOND
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
root, rate = sys.argv[1], int(sys.argv[2])
auth = DummyAuthorizer()
auth.add_user("demo", "demo", root, perm="elradfmwMT")
dtp = ThrottledDTPHandler
dtp.read_limit = rate
dtp.write_limit = rate
handler = FTPHandler
handler.authorizer = auth
handler.dtp_handler = dtp
handler.permit_foreign_addresses = False
FTPServer(("127.0.0.1", 21), handler).serve_forever()
