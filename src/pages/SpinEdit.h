// TSpinEdit: whole-number spin box whose typed value may leave the range while the user types;
// when editing ends (focus lost, Enter) it is pulled to the nearer bound rather than refused
// keystroke by keystroke or thrown away. Values set in code are clamped as usual.
#pragma once

#include <QSpinBox>

namespace velkaro {

class TSpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 private:
  // The digits of `input` without prefix, suffix and surrounding blanks; false when the text is
  // not a plain unsigned number of a sane length.
  bool Digits(const QString& input, QString& digits) const;
};

}  // namespace velkaro
