#pragma once
#include "tests/qt_printers.h"
#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

#include "messages/window.h"
#include "wizard/tform1.h"

namespace lumo::test {

// Records every box and answers from a script (OK, or No for a question, when it runs out).
class ScriptedPresenter : public MessagePresenter {
 public:
  struct Box {
    QString caption, text;
    uint16_t flags;
  };
  int present(const QString& caption, const QString& text, uint16_t flags) override {
    boxes.push_back({caption, text, flags});
    if (!answers.empty()) {
      const int a = answers.front();
      answers.pop_front();
      return a;
    }
    return flags == kStyleQuestion ? kAnswerNo : kAnswerOk;
  }
  std::vector<Box> boxes;
  std::deque<int> answers;
};

// Answers the file dialogs with scripted paths; an empty path cancels.
class ScriptedChooser : public FileChooser {
 public:
  bool open_file(FileDialog& d) override { return answer(d); }
  bool save_file(FileDialog& d) override { return answer(d); }
  std::deque<QString> paths;
  QStringList titles;

 private:
  bool answer(FileDialog& d) {
    titles << d.Title;
    if (paths.empty()) return false;
    const QString p = paths.front();
    paths.pop_front();
    if (p.isEmpty()) return false;
    d.FileName = p;
    return true;
  }
};

inline bool write_file(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(bytes) == bytes.size();
}

inline QByteArray read_file(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A firmware file of `size` bytes (at least 40): the version text at 17, a patterned image and
// the MD5 digest of everything before the last 16 bytes.
inline QByteArray make_firmware(int size, const QByteArray& version = "V01.23 ") {
  QByteArray body(size - 16, '\0');
  for (int i = 0; i < body.size(); ++i) body[i] = char((i * 131 + 7) & 0xFF);
  for (int i = 0; i < 7 && i < version.size(); ++i) body[17 + i] = version[i];
  return body + QCryptographicHash::hash(body, QCryptographicHash::Md5);
}

}  // namespace lumo::test
