// The folder lists programs are searched in: only their full paths count, since an empty or
// relative entry means a folder under the working folder, which may hold anything.
#include <QtTest>
#include <string>
#include <vector>

#include "platform/file_system.h"

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<std::string>)

class TestFileSystem : public QObject {
  Q_OBJECT

 private slots:
  void absoluteFoldersKeepsFullPathsInOrder_data() {
    QTest::addColumn<std::string>("list");
    QTest::addColumn<std::vector<std::string>>("folders");

    using Folders = std::vector<std::string>;
    QTest::newRow("full paths") << std::string("/usr/local/bin:/usr/bin:/bin")
                                << Folders{"/usr/local/bin", "/usr/bin", "/bin"};
    QTest::newRow("empty entries, which mean the working folder")
        << std::string(":/usr/bin::/bin:") << Folders{"/usr/bin", "/bin"};
    QTest::newRow("relative entries")
        << std::string(".:bin:/usr/bin:./x:~/bin") << Folders{"/usr/bin"};
    QTest::newRow("the root alone") << std::string("/") << Folders{"/"};
    QTest::newRow("an empty list") << std::string() << Folders{};
    QTest::newRow("a folder name with blanks")
        << std::string("/opt/my apps:/usr/bin") << Folders{"/opt/my apps", "/usr/bin"};
  }
  void absoluteFoldersKeepsFullPathsInOrder() {
    QFETCH(std::string, list);
    QFETCH(std::vector<std::string>, folders);
    QVERIFY(kelvor::AbsoluteFolders(list) == folders);
  }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "test_file_system.moc"
