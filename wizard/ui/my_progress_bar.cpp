#include "vantora/my_progress_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "tiles.h"

namespace vantora {

MyProgressBar::MyProgressBar(QWidget* parent) : QWidget(parent) { setMinimumHeight(kBarHeight); }

void MyProgressBar::SetValue(int value) {
  value_ = value;
  update();
}

QSize MyProgressBar::sizeHint() const { return {270, kBarHeight}; }

void MyProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // Whatever was set, the bar shows 0 to 100.
  const int shown = std::clamp(value_, 0, 100);
  const QString sample = QString::number(shown) + " %";
  const int label_width = fontMetrics().horizontalAdvance(sample);
  const ProgressBarLayout layout = LayOutProgressBar(width(), shown, label_width);
  p.setClipRect(rect());
  DrawFrame(p, layout.frame, width());
  DrawFill(p, layout.fill);
  p.setPen(Qt::black);
  const QFontMetrics fm = fontMetrics();
  const int baseline = (kBarHeight + fm.ascent() - fm.descent()) / 2;
  p.drawText(QPointF(layout.label_left, baseline), QString::fromStdString(layout.label));
}

}  // namespace vantora
