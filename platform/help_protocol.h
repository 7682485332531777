#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// What the help viewer, the help's build and the game must agree on: Qt Assistant's command
// line, the collection of each language the help is written in, the namespaces and topic
// identifiers in it, and the remote-control lines of a request.
namespace kelvor::help_protocol {

// Qt Assistant in the Qt binaries folder.
QString DefaultProgram();
// Opens `collectionFile` with the remote control on.
QStringList Arguments(const QString& collectionFile);

// The language of the plain help file, which every other language falls back on.
inline constexpr char kEnglish[] = "en";

// ISO 639 codes, English first.
QStringList Languages();
// The first of `uiLanguages` (most wanted first) the help is written in; English otherwise.
QString Language(const QStringList& uiLanguages);
QString Namespace(const QString& language = QLatin1String(kEnglish));
QString TopicIdentifier(int helpContextID, const QString& language = QLatin1String(kEnglish));
QString ContentsUrl(const QString& language = QLatin1String(kEnglish));
// `helpFile` (the English collection) itself in English, else the file beside it with the
// language's code after an underscore ("Kelvor_de.hlp").
QString CollectionFile(const QString& helpFile,
                       const QStringList& uiLanguages = QLocale::system().uiLanguages());
// One request's remote-control line, without its end: the panes and the page.
QString ContentsCommand(const QStringList& uiLanguages = QLocale::system().uiLanguages());
QString TopicCommand(int helpContextID,
                     const QStringList& uiLanguages = QLocale::system().uiLanguages());
// Selects the shown page in the contents; it follows the page in the same line, except before
// the viewer first settles (Assistant still building its contents): then it goes alone later.
QString SyncCommand();

}  // namespace kelvor::help_protocol
