// The wizard's progress bar: a horizontal gauge of tiles with the value in
// percent centred over it. The value drawn is held to 0 to 100; GetValue
// returns what was set.
#pragma once

#include <QWidget>

namespace vantora {

class MyProgressBar : public QWidget {
 public:
  explicit MyProgressBar(QWidget* parent = nullptr);

  // Stores the value and redraws.
  void SetValue(int value);
  int GetValue() const { return value_; }
  // The native window of the control.
  WId GetHWND() { return winId(); }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int value_ = 0;
};

}  // namespace vantora
