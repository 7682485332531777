#pragma once

#include <QByteArray>
#include <QString>

namespace kelvor {

// A short-lived file in a private folder (mode 0700, unguessable name), so a symlink planted in
// the temporary folder cannot redirect the write. While the folder may exist, every catchable
// signal that would end the game first removes both (one already ignored or handled is left
// alone); what a game killed outright leaves is removed by the next page written there, as long
// as its folder holds nothing else.
// One page at a time, on one thread: a signal handler reads the paths from fixed storage.
class TempPage {
 public:
  TempPage() = default;
  // Removes whatever is left, quietly, and puts the signals back.
  ~TempPage();
  TempPage(const TempPage&) = delete;
  TempPage& operator=(const TempPage&) = delete;

  // Makes the folder under `root` and writes `name` in it. Raises the file error of errno on
  // failure, leaving what was made for RemoveWhatIsLeft or the destructor.
  void Write(const QString& root, const QString& name, const QByteArray& content);

  // As bytes; empty before Write has named it.
  QByteArray Path() const;

  // Removes the file, which must be there, then its folder; raises the file error on failure.
  void Remove();
  // As Remove, but the file and folder may be missing.
  void RemoveWhatIsLeft();

  // $TMPDIR when it is a full path to a folder the user may write in and short enough for the
  // page's path; /tmp otherwise.
  static QString DefaultRoot();

 private:
  bool m_guarding = false;  // the signal handlers are installed
};

}  // namespace kelvor
