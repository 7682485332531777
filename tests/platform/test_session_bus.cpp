// The start-up check of the session bus against buses made here, each in a folder of its own that
// also stands for $XDG_RUNTIME_DIR: sockets that take the connection and never answer, in every
// way a client can meet one, a real bus daemon running and stopped, and buses a client gives up
// on at once. The buses' own ends run in child processes doing nothing but socket calls, and the
// daemon in a QProcess: besides QtTest's watchdog, which only waits, the test has no thread to
// trouble the check's child.
#include <arpa/inet.h>
#include <dbus/dbus.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <vector>

#include "platform/session_bus.h"
#include "tests/missing_tool.h"

namespace {

// Long enough for a real bus on a busy machine to answer; every silent row waits it out.
constexpr std::chrono::milliseconds kLimit{1000};
constexpr qint64 kMargin = 1000;

int Listen(int family, const sockaddr* address, socklen_t length, int backlog) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, address, length) != 0 || (backlog >= 0 && listen(fd, backlog) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

// A unix socket at a path, or at an abstract name ("@...").
int ListenUnix(const QByteArray& name, int backlog) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const bool abstract = name.startsWith('@');
  const QByteArray plain = abstract ? name.mid(1) : name;
  std::memcpy(address.sun_path + (abstract ? 1 : 0), plain.constData(), plain.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + plain.size() + 1);
  return Listen(AF_UNIX, reinterpret_cast<sockaddr*>(&address), length, backlog);
}

// A TCP socket on 127.0.0.1 at a port of the system's choice; without a backlog, bound only, so
// that a connection to its port is refused. Returns the socket and its port.
std::pair<int, int> ListenTcp(int backlog) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int fd = Listen(AF_INET, reinterpret_cast<sockaddr*>(&address), sizeof address, backlog);
  socklen_t length = sizeof address;
  if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return {fd, 0};
  }
  return {fd, ntohs(address.sin_port)};
}

// The bus end of each connection in a child process: reads the client's first line, gives
// `reply` (none: silence) and keeps the connection open; or, with `hangUp`, closes it at once.
pid_t Serve(int listener, const char* reply, bool hangUp) {
  const pid_t server = fork();
  if (server != 0) return server;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) _exit(0);
    if (hangUp) {
      close(client);
      continue;
    }
    char line[256];
    std::size_t got = 0;
    while (got < sizeof line && std::memchr(line, '\n', got) == nullptr) {
      const ssize_t more = read(client, line + got, sizeof line - got);
      if (more <= 0) break;
      got += static_cast<std::size_t>(more);
    }
    if (reply != nullptr) {
      [[maybe_unused]] const ssize_t sent = write(client, reply, std::strlen(reply));
    }
  }
}

// A service on the bus daemon at `address`, in a child process: owns `name` and then either
// never reads a message again (`a11yBus` null) or answers as the accessibility service with a
// screen reader on, naming `a11yBus` as the accessibility bus. Returns once the name is owned.
pid_t StandIn(const QByteArray& address, const char* name, const char* a11yBus) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t standIn = fork();
  if (standIn != 0) {
    close(ready[1]);
    char word = 0;
    const bool owned = standIn > 0 && read(ready[0], &word, 1) == 1;
    close(ready[0]);
    return owned ? standIn : -1;
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  close(ready[0]);
  DBusConnection* connection = dbus_connection_open_private(address.constData(), nullptr);
  if (!connection || !dbus_bus_register(connection, nullptr) ||
      dbus_bus_request_name(connection, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, nullptr) !=
          DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
    _exit(1);
  }
  [[maybe_unused]] const ssize_t said = write(ready[1], "!", 1);
  if (a11yBus == nullptr) {
    for (;;) pause();
  }
  while (dbus_connection_read_write(connection, -1)) {
    while (DBusMessage* call = dbus_connection_pop_message(connection)) {
      if (dbus_message_get_type(call) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
        DBusMessage* reply = dbus_message_new_method_return(call);
        if (dbus_message_is_method_call(call, "org.a11y.Bus", "GetAddress")) {
          dbus_message_append_args(reply, DBUS_TYPE_STRING, &a11yBus, DBUS_TYPE_INVALID);
        } else {  // Properties.Get of ScreenReaderEnabled or IsEnabled: on
          DBusMessageIter top;
          DBusMessageIter variant;
          const dbus_bool_t on = TRUE;
          dbus_message_iter_init_append(reply, &top);
          dbus_message_iter_open_container(&top, DBUS_TYPE_VARIANT, "b", &variant);
          dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on);
          dbus_message_iter_close_container(&top, &variant);
        }
        dbus_connection_send(connection, reply, nullptr);
        dbus_message_unref(reply);
      }
      dbus_message_unref(call);
    }
  }
  _exit(0);
}

// Whether some process's command line holds `word`.
bool AnyProcessWith(const QByteArray& word) {
  DIR* processes = opendir("/proc");
  bool found = false;
  while (const dirent* entry = processes ? readdir(processes) : nullptr) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(entry->d_name)));
    if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9' && cmdline.open(QIODevice::ReadOnly) &&
        cmdline.readAll().contains(word)) {
      found = true;
    }
  }
  if (processes) closedir(processes);
  return found;
}

}  // namespace

class SessionBusTest : public QObject {
  Q_OBJECT

 private slots:
  void eachFeatureKeptOnlyWhenItsPeerAnswers_data() {
    // What is at %BUS%, the folder's "bus" ($XDG_RUNTIME_DIR/bus): "none", "listens" (never
    // takes a connection off the queue), "full queue", "accepts", "answers first line" (the
    // authentication's first step, and then nothing), "turns away", "hangs up", "dbus-daemon",
    // "stopped dbus-daemon". %PORT% is a TCP port on 127.0.0.1 that listens and never answers,
    // %CLOSED% one that refuses. "(unset)": no DBUS_SESSION_BUS_ADDRESS. The service on the bus
    // daemon: "hung NAME" owns NAME and never reads a message; "screen reader, ..." is an
    // accessibility service that says a screen reader is on and names a second bus daemon, one
    // that answers or one stopped; "AT_SPI_BUS_ADDRESS silent" names a socket that never
    // answers as the accessibility bus.
    QTest::addColumn<QString>("bus");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("service");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("accessibility");
    QTest::addColumn<bool>("globalMenu");
    QTest::newRow("silent socket") << "listens"
                                   << "unix:path=%BUS%"
                                   << "" << false << false << false;
    QTest::newRow("listen queue full") << "full queue"
                                       << "unix:path=%BUS%"
                                       << "" << false << false << false;
    QTest::newRow("accepts, never answers") << "accepts"
                                            << "unix:path=%BUS%,guid=0123"
                                            << "" << false << false << false;
    QTest::newRow("abstract name that never answers") << "accepts"
                                                      << "unix:abstract=%ABSTRACT%"
                                                      << "" << false << false << false;
    QTest::newRow("answers the first line, then nothing") << "answers first line"
                                                          << "unix:path=%BUS%"
                                                          << "" << false << false << false;
    QTest::newRow("tcp, never answers") << "none"
                                        << "tcp:host=127.0.0.1,port=%PORT%"
                                        << "" << false << false << false;
    QTest::newRow("another transport first, silent socket second")
        << "listens"
        << "tcp:host=127.0.0.1,port=%CLOSED%;unix:path=%BUS%"
        << "" << false << false << false;
    QTest::newRow("no address, silent $XDG_RUNTIME_DIR/bus") << "listens"
                                                             << "(unset)"
                                                             << "" << false << false << false;
    QTest::newRow("stopped bus daemon") << "stopped dbus-daemon"
                                        << "unix:path=%BUS%"
                                        << "" << false << false << false;
    QTest::newRow("bus daemon") << "dbus-daemon"
                                << "unix:path=%BUS%"
                                << "" << true << true << true;
    QTest::newRow("no address, bus daemon at $XDG_RUNTIME_DIR/bus") << "dbus-daemon"
                                                                    << "(unset)"
                                                                    << "" << true << true << true;
    QTest::newRow("turns the client away") << "turns away"
                                           << "unix:path=%BUS%"
                                           << "" << false << true << true;
    QTest::newRow("hangs up") << "hangs up"
                              << "unix:path=%BUS%"
                              << "" << false << true << true;
    QTest::newRow("nothing there") << "none"
                                   << "unix:path=%BUS%"
                                   << "" << false << true << true;
    QTest::newRow("tcp, refused") << "none"
                                  << "tcp:host=127.0.0.1,port=%CLOSED%"
                                  << "" << false << true << true;
    QTest::newRow("no address, nothing at $XDG_RUNTIME_DIR/bus") << "none"
                                                                 << "(unset)"
                                                                 << "" << false << true << true;
    QTest::newRow("unixexec: program that never answers")
        << "none"
        << "unixexec:path=/bin/sleep,argv1=%UNIQUE%"
        << "" << false << false << false;
    QTest::newRow("hung global-menu registrar")
        << "dbus-daemon"
        << "unix:path=%BUS%"
        << "hung com.canonical.AppMenu.Registrar" << true << true << false;
    QTest::newRow("hung accessibility service") << "dbus-daemon"
                                                << "unix:path=%BUS%"
                                                << "hung org.a11y.Bus" << true << false << true;
    QTest::newRow("screen reader on, accessibility bus stopped")
        << "dbus-daemon"
        << "unix:path=%BUS%"
        << "screen reader, stopped accessibility bus" << true << false << true;
    QTest::newRow("screen reader on, accessibility bus answers")
        << "dbus-daemon"
        << "unix:path=%BUS%"
        << "screen reader, accessibility bus" << true << true << true;
    QTest::newRow("accessibility bus address given, silent")
        << "dbus-daemon"
        << "unix:path=%BUS%"
        << "AT_SPI_BUS_ADDRESS silent" << true << false << true;
  }

  void eachFeatureKeptOnlyWhenItsPeerAnswers() {
    QFETCH(QString, bus);
    QFETCH(QString, address);
    QFETCH(QString, service);
    QFETCH(bool, answers);
    QFETCH(bool, accessibility);
    QFETCH(bool, globalMenu);
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("bus")));
    const QByteArray abstract =
        "kelvor-test-bus-" + QByteArray::number(QCoreApplication::applicationPid());
    const bool isAbstract = address.contains(QLatin1String("%ABSTRACT%"));
    // A time no other process sleeps: what a unixexec: address starts is found by it.
    const QByteArray unique = "600." + QByteArray::number(QCoreApplication::applicationPid());

    std::vector<int> sockets;
    pid_t server = -1;
    QProcess daemon;
    QProcess a11yDaemon;
    QByteArray a11yAddress;
    const auto cleanup = qScopeGuard([&] {
      if (server > 0) {
        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
      }
      for (int fd : sockets) close(fd);
      for (QProcess* each : {&daemon, &a11yDaemon}) {
        each->kill();
        each->waitForFinished(10000);
      }
    });
    if (bus.endsWith(QLatin1String("dbus-daemon"))) {
      if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        KELVOR_SKIP_MISSING("the program dbus-daemon is missing");
      }
      daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address"),
                    QStringLiteral("--address=unix:path=") + QFile::decodeName(path)});
      // The daemon prints its address once it takes connections.
      QVERIFY(daemon.waitForReadyRead(10000));
      if (bus.startsWith(QLatin1String("stopped"))) kill(daemon.processId(), SIGSTOP);
      const QByteArray busAddress = "unix:path=" + path;
      if (service.startsWith(QLatin1String("hung "))) {
        server = StandIn(busAddress, service.mid(5).toLatin1().constData(), nullptr);
        QVERIFY(server > 0);
      } else if (service.startsWith(QLatin1String("screen reader"))) {
        const QByteArray a11yPath = QFile::encodeName(folder.filePath(QStringLiteral("a11y")));
        a11yDaemon.start(QStringLiteral("dbus-daemon"),
                         {QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--print-address"),
                          QStringLiteral("--address=unix:path=") + QFile::decodeName(a11yPath)});
        QVERIFY(a11yDaemon.waitForReadyRead(10000));
        if (service.endsWith(QLatin1String("stopped accessibility bus"))) {
          kill(a11yDaemon.processId(), SIGSTOP);
        }
        server = StandIn(busAddress, "org.a11y.Bus", ("unix:path=" + a11yPath).constData());
        QVERIFY(server > 0);
      } else if (service == QLatin1String("AT_SPI_BUS_ADDRESS silent")) {
        const QByteArray a11yPath = QFile::encodeName(folder.filePath(QStringLiteral("a11y")));
        sockets.push_back(ListenUnix(a11yPath, 8));
        QVERIFY(sockets.back() >= 0);
        a11yAddress = "unix:path=" + a11yPath;
      }
    } else if (bus != QLatin1String("none")) {
      const int backlog = bus == QLatin1String("full queue") ? 0 : 8;
      sockets.push_back(ListenUnix(isAbstract ? "@" + abstract : path, backlog));
      QVERIFY(sockets.back() >= 0);
      if (bus == QLatin1String("full queue")) {
        // Connections nobody takes off the queue until the next one cannot join it.
        for (;;) {
          const int waiting = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
          sockets.push_back(waiting);
          sockaddr_un to{};
          to.sun_family = AF_UNIX;
          std::memcpy(to.sun_path, path.constData(), path.size());
          if (::connect(waiting, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            QCOMPARE(errno, EAGAIN);
            break;
          }
        }
      }
      if (bus == QLatin1String("accepts") || bus == QLatin1String("answers first line") ||
          bus == QLatin1String("turns away") || bus == QLatin1String("hangs up")) {
        const char* reply = bus == QLatin1String("answers first line")
                                ? "OK 0123456789abcdef0123456789abcdef\r\n"
                            : bus == QLatin1String("turns away") ? "REJECTED EXTERNAL\r\n"
                                                                 : nullptr;
        server = Serve(sockets.front(), reply, bus == QLatin1String("hangs up"));
        QVERIFY(server > 0);
      }
    }
    const auto [tcp, port] = ListenTcp(8);
    const auto [closed, closedPort] = ListenTcp(-1);
    sockets.push_back(tcp);
    sockets.push_back(closed);
    QVERIFY(port > 0 && closedPort > 0);

    address.replace(QLatin1String("%BUS%"), QFile::decodeName(path))
        .replace(QLatin1String("%ABSTRACT%"), QString::fromLatin1(abstract))
        .replace(QLatin1String("%PORT%"), QString::number(port))
        .replace(QLatin1String("%CLOSED%"), QString::number(closedPort))
        .replace(QLatin1String("%UNIQUE%"), QString::fromLatin1(unique));
    if (address == QLatin1String("(unset)")) {
      qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    } else {
      qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    // No X display: the test never asks the player's desktop for its accessibility bus.
    qunsetenv("DISPLAY");
    if (a11yAddress.isEmpty()) {
      qunsetenv("AT_SPI_BUS_ADDRESS");
    } else {
      qputenv("AT_SPI_BUS_ADDRESS", a11yAddress);
    }

    QElapsedTimer clock;
    clock.start();
    const kelvor::session_bus::Findings found = kelvor::session_bus::Check(kLimit);
    QCOMPARE(found.sessionBus, answers);
    QCOMPARE(found.accessibility, accessibility);
    QCOMPARE(found.globalMenu, globalMenu);
    // Nothing the check started is left: a program started for a unixexec: address included.
    QVERIFY(!AnyProcessWith(unique));
    // Never much longer than the limit, whatever the bus does.
    QVERIFY2(clock.elapsed() < kLimit.count() + kMargin,
             qPrintable(QString::number(clock.elapsed())));
  }
};

QTEST_GUILESS_MAIN(SessionBusTest)
#include "test_session_bus.moc"
