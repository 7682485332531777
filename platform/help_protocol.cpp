#include "platform/help_protocol.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>

namespace kelvor::help_protocol {

namespace {
// Must match the namespace and virtual folder of the help project in resources/help.
constexpr char kHelpNamespace[] = "example.tandrel.kelvor";
constexpr char kHelpFolder[] = "help";
// The English help has the plain namespace and keyword identifiers; the help in every other
// language has them followed by its code ("example.tandrel.kelvor.de", "kelvor.de.18"), as its
// help project in resources/help says.
constexpr char kTopicPrefix[] = "kelvor";
// Given by the help's build: the languages that have a folder of pages, English first.
constexpr char kHelpLanguages[] = KELVOR_HELP_LANGUAGES;

QString Qualified(const char* name, const QString& language) {
  return language == QLatin1String(kEnglish) ? QLatin1String(name)
                                             : QLatin1String(name) + QLatin1Char('.') + language;
}

// Each request opens Assistant on the contents and the page alone: its index, bookmarks and
// search take half of the window by default and are not what the player asked for.
QString PanesCommand() {
  return QStringLiteral("hide bookmarks;hide index;hide search;show contents");
}
}  // namespace

QString DefaultProgram() {
  return QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/assistant");
}

QStringList Arguments(const QString& collectionFile) {
  return {QStringLiteral("-collectionFile"), collectionFile,
          QStringLiteral("-enableRemoteControl")};
}

QStringList Languages() {
  return QString::fromLatin1(kHelpLanguages).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QString Language(const QStringList& uiLanguages) {
  const QStringList written = Languages();
  for (const QString& name : uiLanguages) {
    const QString code = QLocale::languageToCode(QLocale(name).language());
    if (written.contains(code)) return code;
  }
  return QLatin1String(kEnglish);
}

QString Namespace(const QString& language) { return Qualified(kHelpNamespace, language); }

QString TopicIdentifier(int helpContextID, const QString& language) {
  return QStringLiteral("%1.%2").arg(Qualified(kTopicPrefix, language)).arg(helpContextID);
}

QString ContentsUrl(const QString& language) {
  return QStringLiteral("qthelp://%1/%2/index.html")
      .arg(Namespace(language), QLatin1String(kHelpFolder));
}

QString CollectionFile(const QString& helpFile, const QStringList& uiLanguages) {
  const QString language = Language(uiLanguages);
  if (language == QLatin1String(kEnglish)) return helpFile;
  const QFileInfo english(helpFile);
  QString name = english.completeBaseName() + QLatin1Char('_') + language;
  if (!english.suffix().isEmpty()) name += QLatin1Char('.') + english.suffix();
  return english.dir().filePath(name);
}

// Assistant reads one line per wake-up of its input, so each request is a single line of
// commands separated by ";"; it stops at the first command it does not know.
QString ContentsCommand(const QStringList& uiLanguages) {
  return QStringLiteral("%1;setSource %2").arg(PanesCommand(), ContentsUrl(Language(uiLanguages)));
}

QString TopicCommand(int helpContextID, const QStringList& uiLanguages) {
  return QStringLiteral("%1;activateIdentifier %2")
      .arg(PanesCommand(), TopicIdentifier(helpContextID, Language(uiLanguages)));
}

// Assistant answers it with "Could not find the associated content item." in its status bar
// while it builds its contents, which it does again once its window is up.
QString SyncCommand() { return QStringLiteral("syncContents"); }

}  // namespace kelvor::help_protocol
