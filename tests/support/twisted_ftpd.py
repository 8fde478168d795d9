"""Twisted's FTP server on 127.0.0.1 only (its own plugin binds every address), for the tests.

    twisted_ftpd.py PORT ROOT LOG

Every login (anonymous or any user) gets a writable shell on ROOT. The server answers
"LIST path" of a file with the path as given ("incoming/upload.txt"), has no MLST, and
replaces an existing file on RNTO: the behaviour the existence checks are tested against.
"""
import sys

from twisted.cred.checkers import AllowAnonymousAccess, InMemoryUsernamePasswordDatabaseDontUse
from twisted.cred.portal import IRealm, Portal
from twisted.internet import reactor
from twisted.protocols import ftp
from twisted.python import filepath, log
from zope.interface import implementer

port, root, logfile = int(sys.argv[1]), sys.argv[2], sys.argv[3]


@implementer(IRealm)
class WritableRealm:
    def requestAvatar(self, avatar_id, mind, *interfaces):
        return ftp.IFTPShell, ftp.FTPShell(filepath.FilePath(root)), lambda: None


class LoopbackFTP(ftp.FTP):
    # Passive data connections listen on loopback too.
    def listenFactory(self, portn, factory):
        return reactor.listenTCP(portn, factory, interface="127.0.0.1")


users = InMemoryUsernamePasswordDatabaseDontUse()
users.addUser(b"veluser", b"velpass")
factory = ftp.FTPFactory(Portal(WritableRealm(), [AllowAnonymousAccess(), users]))
factory.protocol = LoopbackFTP
factory.allowAnonymous = True
factory.userAnonymous = "anonymous"
log.startLogging(open(logfile, "a"), setStdout=False)
reactor.listenTCP(port, factory, interface="127.0.0.1")
reactor.run()
