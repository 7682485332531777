// The generated help collections, Kelvor.hlp in English and one beside it for every other
// language, read the way Assistant reads them.

#include <QHelpContentModel>
#include <QHelpEngine>
#include <QHelpLink>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include "platform/help_protocol.h"

namespace help_protocol = kelvor::help_protocol;

class HelpCollectionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyFolderOfPagesIsALanguageOfTheHelp();
  void helpFileLiesInTheProgramFolder();
  void contentsTopicIsTheRootOfTheContents_data();
  void contentsTopicIsTheRootOfTheContents();
  void topicIsReachableByNumberContentsAndIndex_data();
  void topicIsReachableByNumberContentsAndIndex();
  void everyLanguageHasEveryPage_data();
  void everyLanguageHasEveryPage();
  void everyLinkLeadsToAPageOfTheHelp();

 private:
  // Every entry of the contents tree below `item`, by address.
  static void collectContents(QHelpContentItem* item, QHash<QUrl, QString>& entries);
  QString pageText(const QUrl& url) const;
  // The collection of the help in `language`, and the one a page belongs to.
  QHelpEngine* engine(const QString& language) const { return m_engines.value(language); }
  QHelpEngine* engine(const QUrl& page) const;
  // The file names of the pages of one language.
  QSet<QString> pageNames(const QString& language) const;

  QHash<QString, QHelpEngine*> m_engines;  // language -> its collection
  QHash<QUrl, QString> m_contents;         // address -> title in the contents tree, all languages
  QHash<QString, QHelpContentItem*> m_roots;  // namespace -> root of its contents
};

void HelpCollectionTest::initTestCase() {
  QVERIFY2(QFileInfo::exists(QStringLiteral(KELVOR_HELP_FILE)), KELVOR_HELP_FILE);
  for (const QString& language : help_protocol::Languages()) {
    const QString file =
        help_protocol::CollectionFile(QStringLiteral(KELVOR_HELP_FILE), QStringList{language});
    QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    auto* helpEngine = new QHelpEngine(file, this);
    // The test never changes the files the game ships.
    helpEngine->setReadOnly(true);
    QVERIFY2(helpEngine->setupData(), qPrintable(helpEngine->error()));
    m_engines.insert(language, helpEngine);

    QHelpContentModel* model = helpEngine->contentModel();
    if (model->rowCount() == 0) {
      if (!model->isCreatingContents()) {
        model->createContents(QString());
      }
      QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 0, 10000);
    }
    // One book: the contents of that language alone.
    QCOMPARE(model->rowCount(), 1);
    QHelpContentItem* root = model->contentItemAt(model->index(0, 0));
    QVERIFY(root != nullptr);
    QCOMPARE(root->url().host(), help_protocol::Namespace(language));
    m_roots.insert(root->url().host(), root);
    m_contents.insert(root->url(), root->title());
    collectContents(root, m_contents);
  }
}

QHelpEngine* HelpCollectionTest::engine(const QUrl& page) const {
  for (auto it = m_engines.cbegin(); it != m_engines.cend(); ++it) {
    if (help_protocol::Namespace(it.key()) == page.host()) return it.value();
  }
  return nullptr;
}

void HelpCollectionTest::everyFolderOfPagesIsALanguageOfTheHelp() {
  // A language is a folder of pages with its help project and a word in the help's build; a
  // folder the build forgot would never reach a player. English pages live in html/.
  QStringList folders;
  const QDir sources(QStringLiteral(KELVOR_HELP_SOURCE_DIR));
  for (const QString& folder : sources.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    if (QFileInfo::exists(sources.filePath(folder + QStringLiteral("/kelvor.qhp")))) {
      folders.append(folder == QLatin1String("html") ? QStringLiteral("en") : folder);
    }
  }
  QStringList languages = help_protocol::Languages();
  QCOMPARE(languages.value(0), QStringLiteral("en"));
  languages.sort();
  folders.sort();
  QCOMPARE(folders, languages);
  QVERIFY(languages.contains(QStringLiteral("de")));
}

void HelpCollectionTest::collectContents(QHelpContentItem* item, QHash<QUrl, QString>& entries) {
  for (int i = 0; i < item->childCount(); ++i) {
    QHelpContentItem* child = item->child(i);
    entries.insert(child->url(), child->title());
    collectContents(child, entries);
  }
}

QString HelpCollectionTest::pageText(const QUrl& url) const {
  QHelpEngine* helpEngine = engine(url);
  return helpEngine == nullptr ? QString() : QString::fromUtf8(helpEngine->fileData(url));
}

void HelpCollectionTest::helpFileLiesInTheProgramFolder() {
  // The game asks for "Kelvor.hlp" beside its executable; the other languages' collections and
  // the compressed help they register have to travel with it.
  const QFileInfo helpFile(QStringLiteral(KELVOR_HELP_FILE));
  QCOMPARE(helpFile.fileName(), QStringLiteral("Kelvor.hlp"));
  QCOMPARE(helpFile.dir().dirName(), QStringLiteral("app"));
  QSet<QString> cacheFolders;
  for (const QString& language : help_protocol::Languages()) {
    QHelpEngine* helpEngine = engine(language);
    QCOMPARE(QFileInfo(helpEngine->collectionFile()).absolutePath(), helpFile.absolutePath());
    // Each registers its own language alone, so the viewer's index holds no other.
    QCOMPARE(helpEngine->registeredDocumentations(),
             QStringList{help_protocol::Namespace(language)});
    const QString documentation =
        helpEngine->documentationFileName(help_protocol::Namespace(language));
    QVERIFY2(!documentation.isEmpty(), qPrintable(language));
    QCOMPARE(QFileInfo(documentation).absolutePath(), helpFile.absolutePath());
    // Assistant copies a collection into this folder below the user's data folder; two in one
    // folder would overwrite each other's copy.
    const QString cache = helpEngine->customValue(QStringLiteral("CacheDirectory")).toString();
    QVERIFY2(cache.startsWith(QLatin1String("Tandrel/")), qPrintable(cache));
    cacheFolders.insert(cache);
  }
  QCOMPARE(cacheFolders.size(), help_protocol::Languages().size());
}

void HelpCollectionTest::contentsTopicIsTheRootOfTheContents_data() {
  QTest::addColumn<QString>("language");
  for (const QString& language : help_protocol::Languages()) {
    QTest::newRow(qPrintable(language)) << language;
  }
}

void HelpCollectionTest::contentsTopicIsTheRootOfTheContents() {
  QFETCH(QString, language);
  const QHelpContentItem* root = m_roots.value(help_protocol::Namespace(language));
  QVERIFY2(root != nullptr, qPrintable(help_protocol::Namespace(language)));
  QCOMPARE(root->url(), QUrl(help_protocol::ContentsUrl(language)));
  QVERIFY(pageText(root->url()).contains(QStringLiteral("<h1>") + root->title()));
}

// Every topic in every language. The English titles are the ones given here; another language's
// title is the one its contents give the page, and its page and index entry must carry it.
void HelpCollectionTest::topicIsReachableByNumberContentsAndIndex_data() {
  QTest::addColumn<int>("topic");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("language");
  const auto newRow = [](const char* name, int topic, const QString& title) {
    for (const QString& language : help_protocol::Languages()) {
      const bool english = language == QLatin1String("en");
      QTest::addRow("%s %s", name, qPrintable(language))
          << topic << (english ? title : QString()) << language;
    }
  };
  newRow("8 Start new mission", 8, QStringLiteral("Start new mission"));
  newRow("9 Stop mission", 9, QStringLiteral("Stop mission"));
  newRow("10 Exit", 10, QStringLiteral("Exit"));
  newRow("11 web", 11, QStringLiteral("Tandrel on the web"));
  newRow("12 About", 12, QStringLiteral("About Tandrel Lunar Landing"));
  newRow("15 About OK", 15, QStringLiteral("OK button"));
  newRow("16 System Info", 16, QStringLiteral("System Info button"));
  newRow("17 lblBurn", 17, QStringLiteral("Burn readout"));
  newRow("18 cmdBurn", 18, QStringLiteral("Ignite button"));
  newRow("19 hsbBurn", 19, QStringLiteral("Jet thruster bar"));
  newRow("20 moonscapes", 20, QStringLiteral("Moonscape pictures"));
  newRow("21 lblMessage", 21, QStringLiteral("Lunar module computer"));
  newRow("22 lblTime", 22, QStringLiteral("Time readout"));
  newRow("23 lblSpeed", 23, QStringLiteral("Speed readout"));
  newRow("24 lblAlt", 24, QStringLiteral("Altitude readout"));
  newRow("25 pbAltitude", 25, QStringLiteral("Altitude bar"));
  newRow("26 lblFuel", 26, QStringLiteral("Fuel readout"));
  newRow("27 pbFuel", 27, QStringLiteral("Fuel bar"));
}

void HelpCollectionTest::topicIsReachableByNumberContentsAndIndex() {
  QFETCH(int, topic);
  QFETCH(QString, title);
  QFETCH(QString, language);
  // By number: the identifier the viewer asks for leads to the topic's page in that language.
  const QList<QHelpLink> byNumber =
      engine(language)->documentsForIdentifier(help_protocol::TopicIdentifier(topic, language));
  QCOMPARE(byNumber.size(), 1);
  const QUrl page = byNumber.first().url;
  QCOMPARE(page.host(), help_protocol::Namespace(language));
  // By the contents, under the page's own title.
  QVERIFY2(m_contents.contains(page), qPrintable(page.toString()));
  if (title.isEmpty()) {
    title = m_contents.value(page);
  }
  QCOMPARE(m_contents.value(page), title);
  QVERIFY2(pageText(page).contains(QStringLiteral("<h1>") + title), qPrintable(page.toString()));
  // By the index, under the same name, and to that page alone: the index holds one language.
  QList<QUrl> byName;
  for (const QHelpLink& link : engine(language)->documentsForKeyword(title)) {
    byName.append(link.url);
  }
  QCOMPARE(byName, QList<QUrl>{page});
}

QSet<QString> HelpCollectionTest::pageNames(const QString& language) const {
  QSet<QString> names;
  const QList<QUrl> pages = engine(language)->files(help_protocol::Namespace(language), QString(),
                                                    QStringLiteral("html"));
  for (const QUrl& page : pages) {
    names.insert(page.fileName());
  }
  return names;
}

void HelpCollectionTest::everyLanguageHasEveryPage_data() {
  QTest::addColumn<QString>("language");
  for (const QString& language : help_protocol::Languages().mid(1)) {
    QTest::newRow(qPrintable(language)) << language;
  }
}

void HelpCollectionTest::everyLanguageHasEveryPage() {
  QFETCH(QString, language);
  // Every page that a link, the contents or the index may lead to in English, under the same
  // name; a page missing from a translation would leave its links dead.
  const QSet<QString> english = pageNames(QStringLiteral("en"));
  QVERIFY(english.size() >= 20);
  const QSet<QString> translated = pageNames(language);
  QCOMPARE(QSet<QString>(english).subtract(translated), QSet<QString>());
  QCOMPARE(QSet<QString>(translated).subtract(english), QSet<QString>());
}

void HelpCollectionTest::everyLinkLeadsToAPageOfTheHelp() {
  QList<QUrl> pages;
  for (const QString& language : help_protocol::Languages()) {
    pages += engine(language)->files(help_protocol::Namespace(language), QString(),
                                     QStringLiteral("html"));
  }
  QVERIFY(pages.size() >= 20 * help_protocol::Languages().size());
  const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)(#[^\"]*)?\""));
  QSet<QUrl> reached;
  for (const QUrl& page : pages) {
    auto it = link.globalMatch(pageText(page));
    while (it.hasNext()) {
      const QUrl target = page.resolved(QUrl(it.next().captured(1)));
      QVERIFY2(!pageText(target).isEmpty(),
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
