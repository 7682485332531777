// What /proc/<pid>/stat tells of a process: the help viewer's, the start watch's and the tests'
// one reader, whose command name may hold anything.
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <optional>
#include <string>

#include "platform/process_stat.h"

using kelvor::ParseProcessStat;
using kelvor::ProcessStat;

Q_DECLARE_METATYPE(std::string)

namespace {

// The fields after the state: parent 77, then group, session, terminal, its group, flags, four
// fault counts, user time 5 and system time 7, then the rest.
const std::string kAfterState = " 77 1 1 0 -1 4194560 10 0 0 0 5 7 0 0 20 0 1 0 99\n";

}  // namespace

class TestProcessStat : public QObject {
  Q_OBJECT

 private slots:
  void parsesTheFieldsAfterTheName_data() {
    QTest::addColumn<std::string>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<char>("state");

    QTest::newRow("a plain name") << "1234 (sleep) S" + kAfterState << true << 'S';
    QTest::newRow("a name with blanks and parentheses")
        << "1234 (a) S 1 (b) c) Z" + kAfterState << true << 'Z';
    QTest::newRow("a name that looks like the fields")
        << "1234 (x) R 9 9 9 9 9 9 9 9 9 9 9 9 9) S" + kAfterState << true << 'S';
    QTest::newRow("a line without its last line break")
        << std::string("1234 (sleep) S 77 1 1 0 -1 4194560 10 0 0 0 5 7") << true << 'S';
    QTest::newRow("no name") << "1234 S" + kAfterState << false << '?';
    QTest::newRow("a line cut before the system time")
        << std::string("1234 (sleep) S 77 1 1 0 -1 4194560 10 0 0 0 5") << false << '?';
    QTest::newRow("a field that is no number")
        << std::string("1234 (sleep) S 77 1 1 0 -1 x 10 0 0 0 5 7 0") << false << '?';
    QTest::newRow("no process number") << "(sleep) S" + kAfterState << false << '?';
    QTest::newRow("empty") << std::string() << false << '?';
  }
  void parsesTheFieldsAfterTheName() {
    QFETCH(std::string, line);
    QFETCH(bool, valid);
    QFETCH(char, state);
    const std::optional<ProcessStat> stat = ParseProcessStat(line);
    QCOMPARE(stat.has_value(), valid);
    if (!valid) return;
    QCOMPARE(stat->pid, 1234);
    QCOMPARE(stat->state, state);
    QCOMPARE(stat->parent, 77);
    QCOMPARE(stat->ticks, 12LL);
  }

  void readsARunningProcess() {
    const std::optional<ProcessStat> stat = kelvor::ReadProcessStat(::getpid());
    QVERIFY(stat.has_value());
    QCOMPARE(stat->pid, ::getpid());
    QCOMPARE(stat->parent, ::getppid());
    QCOMPARE(stat->state, 'R');
  }

  void readsAnEndedProcessUntilItsEndIsCollected() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    QVERIFY(child > 0);
    QTRY_COMPARE(kelvor::ReadProcessStat(child).value_or(ProcessStat{}).state, 'Z');
    QCOMPARE(kelvor::ReadProcessStat(child)->parent, ::getpid());
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    QVERIFY(!kelvor::ReadProcessStat(child).has_value());
  }
};

QTEST_GUILESS_MAIN(TestProcessStat)
#include "test_process_stat.moc"
