#include "vantora/my_progress_bar.h"

#include <QFontMetrics>
#include <QPainter>

#include "tiles.h"

namespace vantora {

MyProgressBar::MyProgressBar(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(kBarHeight);
}

void MyProgressBar::SetValue(int value) {
  value_ = value;
  update();
}

QSize MyProgressBar::sizeHint() const { return {270, kBarHeight}; }

void MyProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QString sample = QString::number(value_) + " %";
  const int label_width = fontMetrics().horizontalAdvance(sample);
  const ProgressBarLayout layout = LayOutProgressBar(width(), value_, label_width);
  p.setClipRect(rect());
  DrawFrame(p, layout.frame, width());
  DrawFill(p, layout.fill);
  p.setPen(Qt::black);
  const QFontMetrics fm = fontMetrics();
  const int baseline = (kBarHeight + fm.ascent() - fm.descent()) / 2;
  p.drawText(QPointF(layout.label_left, baseline), QString::fromStdString(layout.label));
}

}  // namespace vantora
