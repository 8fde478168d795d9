#!/usr/bin/env python3
"""A small FTP server that misbehaves on purpose, for the client's bad-input tests.

Its root lists hostile names ("../escape.txt", "..\\escape2.txt", "C:evil.txt") beside plain
ones; RETR of "dropme.bin" sends part of the file and resets the data connection; LIST of
"dropdir" sends part of a listing and then closes the control connection. Any user and password
are accepted, except that the user "onlyonce" is refused ("421") after its first login; the user
"nodatasocket" gets "425 Can't create data socket." for every RETR, as the linux ftpd answers
when it cannot open an active-mode data connection. The user "holdend" sees two files of its
own ("held binary.bin", "held ascii.txt", line ends LF only) and may store any file; each of its
transfers' final reply comes two seconds after the data, so the client's last progress count
stays on show to be read. Usage: hostile_ftpd.py start DIR | stop DIR  (DIR/port, DIR/pid)
"""
import os
import signal
import socket
import sys
import threading
import time

GOOD = b"plain content\r\n"
ROOT_LISTING = [
    "-rw-r--r-- 1 ftp ftp %d Jan 01 2024 good file.txt" % len(GOOD),
    "-rw-r--r-- 1 ftp ftp 1048576 Jan 01 2024 dropme.bin",
    "drwxr-xr-x 2 ftp ftp 4096 Jan 01 2024 dropdir",
    "-rw-r--r-- 1 ftp ftp 5 Jan 01 2024 ../escape.txt",
    "-rw-r--r-- 1 ftp ftp 5 Jan 01 2024 ..\\escape2.txt",
    "-rw-r--r-- 1 ftp ftp 5 Jan 01 2024 C:evil.txt",
    "-rw-r--r-- 1 ftp ftp 5 Jan 01 2024 ..",
]

HELD = {
    "held binary.bin": bytes(range(256)) * 1024 + b"end",
    "held ascii.txt": b"line one\nline two\n\nlast line\n" * 3000,
}
HELD_LISTING = ["-rw-r--r-- 1 ftp ftp %d Jan 01 2024 %s" % (len(v), k) for k, v in HELD.items()]
HOLD_SECONDS = 2


LOG = None
LOGINS = {}


class Session(threading.Thread):
    def __init__(self, conn):
        super().__init__(daemon=True)
        self.c = conn
        self.f = conn.makefile("rb")
        self.data_listen = None
        self.active = None
        self.user = ""

    def reply(self, text):
        self.c.sendall((text + "\r\n").encode("latin-1"))

    def open_pasv(self):
        if self.data_listen:
            self.data_listen.close()
        self.data_listen = socket.socket()
        self.data_listen.bind(("127.0.0.1", 0))
        self.data_listen.listen(1)
        return self.data_listen.getsockname()[1]

    def data(self):
        if self.active:
            d = socket.create_connection(self.active, timeout=10)
            self.active = None
            return d
        self.data_listen.settimeout(10)
        d, _ = self.data_listen.accept()
        return d

    def run(self):
        try:
            self.reply("220 hostile test server")
            for raw in self.f:
                line = raw.decode("latin-1").rstrip("\r\n")
                if LOG:
                    with open(LOG, "a") as log:
                        log.write(line + "\n")
                cmd, _, arg = line.partition(" ")
                cmd = cmd.upper()
                if not self.handle(cmd, arg):
                    break
        except OSError:
            pass
        finally:
            # The connection ends now: the file object made by makefile() would otherwise keep
            # the socket open until it is collected, and the client would wait for its reply.
            for end in (lambda: self.c.shutdown(socket.SHUT_RDWR), self.f.close, self.c.close):
                try:
                    end()
                except OSError:
                    pass

    def handle(self, cmd, arg):
        if cmd == "USER":
            self.user = arg
            LOGINS[arg] = LOGINS.get(arg, 0) + 1
            if arg == "onlyonce" and LOGINS[arg] > 1:
                self.reply("421 Too many sessions for this user")
                return False
            self.reply("331 password please")
        elif cmd == "PASS":
            self.reply("230 logged in")
        elif cmd == "FEAT":
            self.reply("211 no features")
        elif cmd in ("TYPE", "OPTS", "NOOP", "MODE", "STRU"):
            self.reply("200 ok")
        elif cmd == "SYST":
            self.reply("215 UNIX Type: L8")
        elif cmd == "PWD":
            self.reply('257 "/" is the current directory')
        elif cmd == "CWD":
            self.reply("250 ok")
        elif cmd == "EPSV":
            self.reply("229 Entering Extended Passive Mode (|||%d|)" % self.open_pasv())
        elif cmd == "PORT":
            n = [int(x) for x in arg.split(",")]
            self.active = ("%d.%d.%d.%d" % tuple(n[:4]), n[4] * 256 + n[5])
            self.reply("200 PORT ok")
        elif cmd == "EPRT":
            parts = arg.split(arg[0])
            self.active = (parts[2], int(parts[3]))
            self.reply("200 EPRT ok")
        elif cmd == "PASV":
            port = self.open_pasv()
            self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port >> 8, port & 255))
        elif self.user == "holdend" and cmd in ("LIST", "NLST", "RETR", "STOR", "SIZE", "MLST", "MDTM"):
            self.held(cmd, arg)
        elif cmd in ("LIST", "NLST"):
            if "dropdir" in arg:
                self.reply("150 here it comes")
                d = self.data()
                d.sendall(b"-rw-r--r-- 1 ftp ftp 5 Jan 01 2024 half.txt\r\n-rw-r--r-- 1 ftp")
                d.close()
                return False  # the control connection goes away mid-listing
            self.reply("150 here it comes")
            d = self.data()
            d.sendall(("\r\n".join(ROOT_LISTING) + "\r\n").encode("latin-1"))
            d.close()
            self.reply("226 done")
        elif cmd == "SIZE":
            self.reply("213 %d" % (len(GOOD) if "good" in arg else 1048576))
        elif cmd == "RETR":
            if self.user == "nodatasocket":
                self.active = None
                self.reply("425 Can't create data socket.")
            elif "dropme" in arg:
                self.reply("150 sending")
                d = self.data()
                d.sendall(b"x" * 65536)
                d.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                d.close()  # reset mid-transfer
                return False
            self.reply("150 sending")
            d = self.data()
            d.sendall(GOOD)
            d.close()
            self.reply("226 done")
        elif cmd == "QUIT":
            self.reply("221 bye")
            return False
        else:
            self.reply("502 not implemented")
        return True

    def held(self, cmd, arg):
        name = arg.lstrip("/")
        if cmd in ("LIST", "NLST"):
            self.reply("150 here it comes")
            d = self.data()
            d.sendall(("\r\n".join(HELD_LISTING) + "\r\n").encode("latin-1"))
            d.close()
            self.reply("226 done")
        elif cmd == "SIZE" and name in HELD:
            self.reply("213 %d" % len(HELD[name]))
        elif cmd == "RETR" and name in HELD:
            self.reply("150 sending")
            d = self.data()
            d.sendall(HELD[name])
            d.close()
            time.sleep(HOLD_SECONDS)
            self.reply("226 done")
        elif cmd == "STOR":
            self.reply("150 send it")
            d = self.data()
            while d.recv(65536):
                pass
            d.close()
            time.sleep(HOLD_SECONDS)
            self.reply("226 stored")
        else:
            self.reply("550 no such file")


def serve(directory):
    global LOG
    LOG = os.path.join(directory, "commands.log")
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(20)
    with open(os.path.join(directory, "port"), "w") as f:
        f.write(str(s.getsockname()[1]))
    while True:
        conn, _ = s.accept()
        Session(conn).start()


def main():
    cmd, directory = sys.argv[1], sys.argv[2]
    os.makedirs(directory, exist_ok=True)
    pid_file = os.path.join(directory, "pid")
    if cmd == "stop":
        if os.path.exists(pid_file):
            try:
                os.kill(int(open(pid_file).read()), signal.SIGTERM)
            except (OSError, ValueError):
                pass
            os.remove(pid_file)
        return
    port_file = os.path.join(directory, "port")
    if os.path.exists(port_file):
        os.remove(port_file)
    pid = os.fork()
    if pid == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        serve(directory)
        os._exit(0)
    with open(pid_file, "w") as f:
        f.write(str(pid))
    for _ in range(100):
        if os.path.exists(port_file) and open(port_file).read():
            return
        import time
        time.sleep(0.05)
    sys.exit("hostile_ftpd: did not start")


if __name__ == "__main__":
    main()
