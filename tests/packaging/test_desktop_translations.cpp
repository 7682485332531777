// The desktop entry and the AppStream metainfo speak every language they are shipped in: each
// string that menus and software centres show has a translation in each of those languages.
// A language counts as shipped when the test names it or when either file has any string in it,
// so a translation begun in one place and forgotten in another fails too.

#include <QFile>
#include <QMap>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>
#include <algorithm>

namespace {

// For each translatable string, in the order of the file: its languages, "" for English.
using Translations = QList<QPair<QString, QSet<QString>>>;

// The keys of the desktop entry's group that menus show; Name is the product's name and stays.
const QStringList kDesktopKeys = {QStringLiteral("GenericName"), QStringLiteral("Comment"),
                                  QStringLiteral("Keywords")};

Translations ReadDesktopEntry(const QString& path, QSet<QString>& languages) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QMap<QString, QSet<QString>> byKey;
  bool inEntry = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inEntry = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (!inEntry || equals < 0 || line.mid(equals + 1).trimmed().isEmpty()) continue;
    QString key = line.left(equals).trimmed();
    QString language;
    if (key.endsWith(QLatin1Char(']')) && key.contains(QLatin1Char('['))) {
      language = key.section(QLatin1Char('['), 1).chopped(1);
      key = key.section(QLatin1Char('['), 0, 0);
      languages.insert(language);
    }
    byKey[key].insert(language);
  }
  Translations strings;
  for (const QString& key : kDesktopKeys) {
    if (byKey.contains(key)) strings.append({key, byKey.value(key)});
  }
  return strings;
}

// The component's summary, the paragraphs of its description and the screenshots' captions;
// a paragraph's translations are the paragraphs in other languages, counted in order.
Translations ReadMetainfo(const QString& path, QSet<QString>& languages) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QXmlStreamReader xml(&file);
  Translations strings;
  QStringList elements;           // the names of the open elements, the root first
  QMap<QString, int> paragraphs;  // language -> paragraphs of the description so far
  int screenshot = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement()) {
      elements.removeLast();
      continue;
    }
    if (!xml.isStartElement()) continue;
    elements.append(xml.name().toString());
    const QString language = xml.attributes().value(QStringLiteral("xml:lang")).toString();
    if (!language.isEmpty()) languages.insert(language);
    const QString where = elements.join(QLatin1Char('/'));
    QString name;
    if (where == QLatin1String("component/summary")) {
      name = QStringLiteral("summary");
    } else if (where == QLatin1String("component/description/p")) {
      name = QStringLiteral("description paragraph %1").arg(++paragraphs[language]);
    } else if (where == QLatin1String("component/screenshots/screenshot")) {
      ++screenshot;
    } else if (where == QLatin1String("component/screenshots/screenshot/caption")) {
      name = QStringLiteral("screenshot %1 caption").arg(screenshot);
    }
    if (name.isEmpty()) continue;
    const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    elements.removeLast();  // readElementText has consumed the end of the element
    if (text.isEmpty()) continue;
    auto it = std::find_if(strings.begin(), strings.end(),
                           [&name](const auto& string) { return string.first == name; });
    if (it == strings.end()) {
      strings.append({name, {language}});
    } else {
      it->second.insert(language);
    }
  }
  return xml.hasError() ? Translations{} : strings;
}

}  // namespace

class DesktopTranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyStringHasEveryLanguage_data();
  void everyStringHasEveryLanguage();

 private:
  QSet<QString> m_languages;
  Translations m_desktop;
  Translations m_metainfo;
};

void DesktopTranslationsTest::initTestCase() {
  for (const QString& language :
       QString::fromLatin1(KELVOR_DESKTOP_LANGUAGES).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    m_languages.insert(language);
  }
  m_desktop = ReadDesktopEntry(QStringLiteral(KELVOR_DESKTOP_ENTRY), m_languages);
  m_metainfo = ReadMetainfo(QStringLiteral(KELVOR_METAINFO), m_languages);
  // What menus and software centres show in English.
  QCOMPARE(m_desktop.size(), kDesktopKeys.size());
  QStringList metainfo;
  for (const auto& string : m_metainfo) metainfo.append(string.first);
  QVERIFY2(metainfo.contains(QStringLiteral("summary")), qPrintable(metainfo.join(", ")));
  QVERIFY2(metainfo.contains(QStringLiteral("description paragraph 1")),
           qPrintable(metainfo.join(", ")));
  QVERIFY2(metainfo.contains(QStringLiteral("screenshot 1 caption")),
           qPrintable(metainfo.join(", ")));
}

void DesktopTranslationsTest::everyStringHasEveryLanguage_data() {
  QTest::addColumn<QSet<QString>>("languages");
  QTest::addColumn<QString>("language");
  QStringList languages = m_languages.values();
  languages.sort();
  for (const auto& [file, strings] :
       {std::pair{"desktop entry", &m_desktop}, std::pair{"metainfo", &m_metainfo}}) {
    for (const auto& [name, present] : *strings) {
      for (const QString& language : languages) {
        QTest::addRow("%s %s %s", file, qPrintable(name), qPrintable(language))
            << present << language;
      }
    }
  }
}

void DesktopTranslationsTest::everyStringHasEveryLanguage() {
  QFETCH(QSet<QString>, languages);
  QFETCH(QString, language);
  QVERIFY(languages.contains(QString()));  // the English original
  QVERIFY(languages.contains(language));
}

QTEST_GUILESS_MAIN(DesktopTranslationsTest)
#include "test_desktop_translations.moc"
