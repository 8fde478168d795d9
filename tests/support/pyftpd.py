"""pyftpdlib on 127.0.0.1 for the tests (MLSD/MLST, UTF-8; its anonymous user is "anonymous",
case-sensitive). Anonymous and "veluser"/"velpass" may write.

    pyftpd.py PORT ROOT LOG [MASQUERADE-ADDRESS]

With a masquerade address its PASV replies name that address (a pretend NAT) and it offers no
EPSV/EPRT, so clients meet the address it names. PYFTPD_RATE (bytes a second) limits every data
connection, so that a transfer lasts seconds.
"""
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
port, root, log = int(sys.argv[1]), sys.argv[2], sys.argv[3]
masquerade = sys.argv[4] if len(sys.argv) > 4 else None
auth = DummyAuthorizer()
auth.add_anonymous(root, perm="elradfmwMT")
auth.add_user("veluser", "velpass", root + "/pub", perm="elradfmwMT")
class Handler(FTPHandler):
    authorizer = auth
    masquerade_address = masquerade
    if masquerade:  # PASV only, so clients meet the address it names
        proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("EPSV", "EPRT")}
rate = int(os.environ.get("PYFTPD_RATE", "0"))
if rate:
    class Throttled(ThrottledDTPHandler):
        read_limit = rate
        write_limit = rate
    Handler.dtp_handler = Throttled
logging.basicConfig(filename=log, level=logging.INFO)
server = FTPServer(("127.0.0.1", port), Handler)
server.max_cons = 256
server.serve_forever()
