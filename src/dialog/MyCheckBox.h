// The check box of the rack pages' socket grid: a plain check box that knows its cell, so one
// change handler can serve all 64 boxes of a page.
#pragma once

#include <QCheckBox>

namespace velkaro {

class TMyCheckBox : public QCheckBox {
 public:
  TMyCheckBox(int userRow, int socketColumn, QWidget* parent = nullptr)
      : QCheckBox(parent), UserRow(userRow), SocketColumn(socketColumn) {}

  int UserRow;       // 1-8
  int SocketColumn;  // 1-8
};

}  // namespace velkaro
