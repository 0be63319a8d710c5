// The capacity gauge: how much of a disc the project fills, on a minutes scale
// (0 to 90 minutes, limit mark at 74) or a gigabyte scale (value and maximum in
// megabytes, limit mark at 4482 MB). State changes show at the next DessineBar
// or resize.
#pragma once

#include <QWidget>

#include "vantora/bar_layout.h"

namespace vantora {

class CapacityView : public QWidget {
 public:
  explicit CapacityView(QWidget* parent = nullptr);

  void SetValue(int value) { value_ = value; }
  void SetValueMax(int maximum) { maximum_ = maximum; }
  // True: gigabyte scale; false: minutes scale.
  void SetMode(bool gigabytes) { gigabytes_ = gigabytes; }
  // Draws the gauge from the state.
  void DessineBar();

  int value() const { return value_; }
  int maximum() const { return maximum_; }
  bool gigabytes() const { return gigabytes_; }
  // The layout of the last drawing (of the current state before the first).
  GaugeLayout CurrentLayout() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int value_ = 0;
  int maximum_ = 0;
  bool gigabytes_ = false;
  // The state that the last DessineBar fixed, so painting between calls shows
  // the same gauge.
  int drawn_value_ = 0;
  int drawn_maximum_ = 0;
  bool drawn_gigabytes_ = false;
};

}  // namespace vantora
