// The start-up check of the session bus against buses made here: a socket that never takes the
// connection, one that takes it and never answers, one that answers, one that hangs up, none.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/session_bus.h"

namespace {

constexpr std::chrono::milliseconds kLimit{300};

// A listening socket at a path (or an abstract name, "@..."); behaviour: "never accepts",
// "accepts", "answers", "hangs up".
class FakeBus {
 public:
  FakeBus(const QByteArray& name, const QString& behaviour)
      : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = name.startsWith('@');
    const QByteArray plain = abstract ? name.mid(1) : name;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), plain.constData(), plain.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + plain.size() + 1);
    m_listening =
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(m_fd, 8) == 0;
    if (m_listening && behaviour != QLatin1String("never accepts")) {
      m_server = std::thread([this, behaviour] {
        const int client = accept(m_fd, nullptr, nullptr);
        if (client < 0) return;
        char hello[16];
        [[maybe_unused]] const ssize_t got = read(client, hello, sizeof hello);
        if (behaviour == QLatin1String("answers")) {
          [[maybe_unused]] const ssize_t sent = write(client, "REJECTED EXTERNAL\r\n", 19);
        }
        if (behaviour == QLatin1String("accepts")) {
          while (!m_done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close(client);
      });
    }
  }
  ~FakeBus() {
    m_done = true;
    shutdown(m_fd, SHUT_RDWR);
    if (m_server.joinable()) m_server.join();
    close(m_fd);
  }
  FakeBus(const FakeBus&) = delete;
  FakeBus& operator=(const FakeBus&) = delete;
  bool IsListening() const { return m_listening; }

 private:
  int m_fd;
  bool m_listening = false;
  std::atomic<bool> m_done = false;
  std::thread m_server;
};

}  // namespace

class SessionBusTest : public QObject {
  Q_OBJECT

 private slots:
  void silentOnlyWhenTheBusTakesTheConnectionAndSaysNothing_data() {
    QTest::addColumn<QString>("behaviour");  // of the bus at %BUS%; "none": nothing listens
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("silent");
    QTest::newRow("never accepts") << "never accepts"
                                   << "unix:path=%BUS%" << true;
    QTest::newRow("accepts, never answers") << "accepts"
                                            << "unix:path=%BUS%,guid=0123" << true;
    QTest::newRow("answers") << "answers"
                             << "unix:path=%BUS%" << false;
    QTest::newRow("hangs up") << "hangs up"
                              << "unix:path=%BUS%" << false;
    QTest::newRow("nothing there") << "none"
                                   << "unix:path=%BUS%" << false;
    QTest::newRow("abstract name that never answers") << "accepts"
                                                      << "unix:abstract=%ABSTRACT%" << true;
    QTest::newRow("escaped path") << "accepts"
                                  << "unix:path=%ESCAPED%" << true;
    QTest::newRow("missing first, silent second")
        << "accepts"
        << "unix:path=/nonexistent/bus;unix:path=%BUS%" << true;
    QTest::newRow("another transport") << "accepts"
                                       << "tcp:host=localhost,port=1" << false;
    QTest::newRow("no address") << "none"
                                << "" << false;
  }

  void silentOnlyWhenTheBusTakesTheConnectionAndSaysNothing() {
    QFETCH(QString, behaviour);
    QFETCH(QString, address);
    QFETCH(bool, silent);
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("bus")));
    const QByteArray abstract =
        "kelvor-test-bus-" + QByteArray::number(QCoreApplication::applicationPid());
    const bool isAbstract = address.contains(QLatin1String("%ABSTRACT%"));
    std::unique_ptr<FakeBus> bus;
    if (behaviour != QLatin1String("none")) {
      bus = std::make_unique<FakeBus>(isAbstract ? "@" + abstract : path, behaviour);
      QVERIFY(bus->IsListening());
    }
    QByteArray escaped;
    for (char c : path) escaped += c == '/' ? QByteArray("%2f") : QByteArray(1, c);
    address.replace(QLatin1String("%BUS%"), QFile::decodeName(path))
        .replace(QLatin1String("%ABSTRACT%"), QString::fromLatin1(abstract))
        .replace(QLatin1String("%ESCAPED%"), QString::fromLatin1(escaped));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(SessionBus::IsSilent(address.toStdString(), kLimit), silent);
    // Never longer than the limit, whatever the bus does.
    QVERIFY(clock.elapsed() < kLimit.count() + 200);
  }
};

QTEST_GUILESS_MAIN(SessionBusTest)
#include "test_session_bus.moc"
