#pragma once
#include <QJsonObject>
#include <QString>

namespace lumo {

class TForm1;

// The pages a user can meet.
inline constexpr int kShownPages[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15};

// Each control of page `number` (and the buttons and status line under it) by object name, with
// its text as shown; radio groups give their items joined by a line feed.
QJsonObject page_texts(TForm1& form, int number);

// Shows every page in turn, saves it to DIR/page-N.png and returns the texts of all pages keyed
// by page number. The window's page is restored afterwards.
QJsonObject render_pages(TForm1& form, const QString& dir);

}  // namespace lumo
