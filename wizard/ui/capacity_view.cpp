#include "vantora/capacity_view.h"

#include <QFontMetrics>
#include <QPainter>

#include "tiles.h"

namespace vantora {
namespace {

constexpr int kTickTop = kBarHeight;
constexpr int kTickBottom = kBarHeight + 6;
constexpr int kLabelTop = kTickBottom + 1;

}  // namespace

CapacityView::CapacityView(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(kLabelTop + fontMetrics().height());
}

QSize CapacityView::sizeHint() const { return {450, kLabelTop + fontMetrics().height()}; }

void CapacityView::DessineBar() {
  drawn_value_ = value_;
  drawn_maximum_ = maximum_;
  drawn_gigabytes_ = gigabytes_;
  update();
}

GaugeLayout CapacityView::CurrentLayout() const {
  const QFontMetrics fm = fontMetrics();
  return LayOutGauge(width(), drawn_value_, drawn_maximum_, drawn_gigabytes_, [&fm](const std::string& text) {
    return static_cast<double>(fm.horizontalAdvance(QString::fromStdString(text)));
  });
}

void CapacityView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setClipRect(rect());
  const GaugeLayout layout = CurrentLayout();
  DrawFrame(p, layout.frame, width());
  DrawFill(p, layout.fill, layout.overflow);
  const QFontMetrics fm = fontMetrics();
  p.setPen(QColor(60, 60, 60));
  for (const GaugeMark& mark : layout.marks) {
    p.drawText(QPointF(mark.label_left, kLabelTop + fm.ascent()), QString::fromStdString(mark.caption));
    if (mark.tick) p.drawLine(QPointF(mark.center, kTickTop), QPointF(mark.center, kTickBottom));
  }
  if (layout.limit) {
    p.setPen(QPen(QColor(200, 0, 0), 2));
    p.drawLine(QPointF(*layout.limit, 0), QPointF(*layout.limit, kTickBottom));
  }
}

}  // namespace vantora
