// The generated help collection Kelvor.hlp, read the way Assistant reads it.

#include <QHelpContentModel>
#include <QHelpEngine>
#include <QHelpLink>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include "about/help_viewer.h"

using kelvor::HelpViewer;

class HelpCollectionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void helpFileLiesInTheProgramFolder();
  void contentsTopicIsTheRootOfTheContents();
  void topicIsReachableByNumberContentsAndIndex_data();
  void topicIsReachableByNumberContentsAndIndex();
  void everyLinkLeadsToAPageOfTheHelp();

 private:
  // Every entry of the contents tree below `item`, by address.
  static void collectContents(QHelpContentItem* item, QHash<QUrl, QString>& entries);
  QString pageText(const QUrl& url) const;

  QHelpEngine* m_engine = nullptr;
  QHash<QUrl, QString> m_contents;  // address -> title in the contents tree
  QHelpContentItem* m_root = nullptr;
};

void HelpCollectionTest::initTestCase() {
  QVERIFY2(QFileInfo::exists(QStringLiteral(KELVOR_HELP_FILE)), KELVOR_HELP_FILE);
  m_engine = new QHelpEngine(QStringLiteral(KELVOR_HELP_FILE), this);
  // The test never changes the file the game ships.
  m_engine->setReadOnly(true);
  QVERIFY2(m_engine->setupData(), qPrintable(m_engine->error()));

  QHelpContentModel* model = m_engine->contentModel();
  if (model->rowCount() == 0) {
    QSignalSpy created(model, &QHelpContentModel::contentsCreated);
    if (!model->isCreatingContents()) {
      model->createContents(QString());
    }
    QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 0, 10000);
  }
  QCOMPARE(model->rowCount(), 1);
  m_root = model->contentItemAt(model->index(0, 0));
  QVERIFY(m_root != nullptr);
  m_contents.insert(m_root->url(), m_root->title());
  collectContents(m_root, m_contents);
}

void HelpCollectionTest::collectContents(QHelpContentItem* item, QHash<QUrl, QString>& entries) {
  for (int i = 0; i < item->childCount(); ++i) {
    QHelpContentItem* child = item->child(i);
    entries.insert(child->url(), child->title());
    collectContents(child, entries);
  }
}

QString HelpCollectionTest::pageText(const QUrl& url) const {
  return QString::fromUtf8(m_engine->fileData(url));
}

void HelpCollectionTest::helpFileLiesInTheProgramFolder() {
  // The game asks for "Kelvor.hlp" beside its executable; the compressed help it registers has
  // to travel with it.
  const QFileInfo helpFile(QStringLiteral(KELVOR_HELP_FILE));
  QCOMPARE(helpFile.fileName(), QStringLiteral("Kelvor.hlp"));
  QCOMPARE(helpFile.dir().dirName(), QStringLiteral("app"));
  const QString documentation =
      m_engine->documentationFileName(QStringLiteral("example.tandrel.kelvor"));
  QCOMPARE(QFileInfo(documentation).absolutePath(), helpFile.absolutePath());
}

void HelpCollectionTest::contentsTopicIsTheRootOfTheContents() {
  QCOMPARE(m_root->url(), QUrl(HelpViewer::ContentsUrl()));
  QVERIFY(pageText(QUrl(HelpViewer::ContentsUrl())).contains(QStringLiteral("<h1>")));
}

void HelpCollectionTest::topicIsReachableByNumberContentsAndIndex_data() {
  QTest::addColumn<int>("topic");
  QTest::addColumn<QString>("title");
  QTest::newRow("8 Start new mission") << 8 << QStringLiteral("Start new mission");
  QTest::newRow("9 Stop mission") << 9 << QStringLiteral("Stop mission");
  QTest::newRow("10 Exit") << 10 << QStringLiteral("Exit");
  QTest::newRow("11 web") << 11 << QStringLiteral("Tandrel on the web");
  QTest::newRow("12 About") << 12 << QStringLiteral("About Tandrel Lunar Landing");
  QTest::newRow("15 About OK") << 15 << QStringLiteral("OK button");
  QTest::newRow("16 System Info") << 16 << QStringLiteral("System Info button");
  QTest::newRow("17 lblBurn") << 17 << QStringLiteral("Burn readout");
  QTest::newRow("18 cmdBurn") << 18 << QStringLiteral("Ignite button");
  QTest::newRow("19 hsbBurn") << 19 << QStringLiteral("Jet thruster bar");
  QTest::newRow("20 moonscapes") << 20 << QStringLiteral("Moonscape pictures");
  QTest::newRow("21 lblMessage") << 21 << QStringLiteral("Lunar module computer");
  QTest::newRow("22 lblTime") << 22 << QStringLiteral("Time readout");
  QTest::newRow("23 lblSpeed") << 23 << QStringLiteral("Speed readout");
  QTest::newRow("24 lblAlt") << 24 << QStringLiteral("Altitude readout");
  QTest::newRow("25 pbAltitude") << 25 << QStringLiteral("Altitude bar");
  QTest::newRow("26 lblFuel") << 26 << QStringLiteral("Fuel readout");
  QTest::newRow("27 pbFuel") << 27 << QStringLiteral("Fuel bar");
}

void HelpCollectionTest::topicIsReachableByNumberContentsAndIndex() {
  QFETCH(int, topic);
  QFETCH(QString, title);
  // By number: the identifier the viewer asks for leads to the topic's page.
  const QList<QHelpLink> byNumber =
      m_engine->documentsForIdentifier(HelpViewer::TopicIdentifier(topic));
  QCOMPARE(byNumber.size(), 1);
  const QUrl page = byNumber.first().url;
  QVERIFY2(pageText(page).contains(QStringLiteral("<h1>") + title), qPrintable(page.toString()));
  // By the contents, under the same title.
  QVERIFY2(m_contents.contains(page), qPrintable(page.toString()));
  QCOMPARE(m_contents.value(page), title);
  // By the index, under the same name.
  const QList<QHelpLink> byName = m_engine->documentsForKeyword(title);
  QCOMPARE(byName.size(), 1);
  QCOMPARE(byName.first().url, page);
}

void HelpCollectionTest::everyLinkLeadsToAPageOfTheHelp() {
  const QList<QUrl> pages =
      m_engine->files(QStringLiteral("example.tandrel.kelvor"), QString(), QStringLiteral("html"));
  QVERIFY(pages.size() >= 20);
  const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)(#[^\"]*)?\""));
  QSet<QUrl> reached;
  for (const QUrl& page : pages) {
    auto it = link.globalMatch(pageText(page));
    while (it.hasNext()) {
      const QUrl target = page.resolved(QUrl(it.next().captured(1)));
      QVERIFY2(!m_engine->fileData(target).isEmpty(),
               qPrintable(page.fileName() + QStringLiteral(" -> ") + target.toString()));
      reached.insert(target);
    }
  }
  // No page is an orphan: each is linked from another page of the help.
  for (const QUrl& page : pages) {
    QVERIFY2(reached.contains(page), qPrintable(page.toString()));
  }
}

QTEST_MAIN(HelpCollectionTest)
#include "test_help_collection.moc"
