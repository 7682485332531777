#pragma once

#include <QByteArray>
#include <QString>

namespace kelvor {

// A small file that lives for a moment in a private folder of its own: a folder with mode 0700
// under a name nobody can guess in advance, made under the user's temporary folder (never a
// shared or read-only one, where a symlink planted beforehand could redirect the write).
//
// From the moment the folder can exist until it is gone again, every signal that would end the
// game and that a handler may catch (all but those whose default is to go on or to stop, the
// real-time ones included) first removes the file and its folder, and then ends the game as that
// signal would have. A signal the game was started to ignore (nohup), or that has a handler of
// its own, keeps it. The destructor removes whatever is left, on every way out the game
// survives. The folder's name holds the game's process number: what a game killed outright left
// behind is removed by the next page written in the same place, once that game no longer runs.
//
// One page at a time, on one thread: the paths sit in fixed storage that a signal handler can
// read without allocating.
class TempPage {
 public:
  TempPage() = default;
  // Removes whatever of the file and its folder is still there, quietly, and puts the signals
  // back as they were.
  ~TempPage();
  TempPage(const TempPage&) = delete;
  TempPage& operator=(const TempPage&) = delete;

  // Makes the private folder under `root` and writes `content` as `name` in it. Raises the file
  // error of the C library's errno (errors::RuntimeError) when it cannot; what was made until
  // then is left for RemoveWhatIsLeft or the destructor.
  void Write(const QString& root, const QString& name, const QByteArray& content);

  // The file's full path, as bytes; empty before Write has named it.
  QByteArray Path() const;

  // Removes the file, which must be there, and then its folder. Raises the file error when
  // either cannot be removed.
  void Remove();
  // Removes the file if it is there, and then the folder if it was made. Raises the file error
  // when either cannot be removed.
  void RemoveWhatIsLeft();

  // $TMPDIR when it is a full path to a folder the user may create files in, short enough for
  // the page's path, /tmp otherwise, as the C library's tempnam chooses.
  static QString DefaultRoot();

 private:
  bool m_guarding = false;  // the ending signals' handlers are installed
};

}  // namespace kelvor
