#include "vantora/menu_page.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

#include "platform/bitmap.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace vantora {
namespace {

constexpr int kDotsPerMetre96Dpi = 3780;

QImage PageImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.setDotsPerMeterX(kDotsPerMetre96Dpi);
  image.setDotsPerMeterY(kDotsPerMetre96Dpi);
  return image;
}

QFont ToQFont(const MenuFont& f) {
  QFont font;
  // Characters the chosen font lacks come from the fallbacks, in order. The
  // chosen name goes in as the system resolves it (a metric-compatible
  // stand-in for a font that is not installed), not skipped for the first
  // fallback.
  QStringList families{QFontInfo(QFont(QString::fromStdString(f.family))).family()};
  for (const char* fallback : kMenuFallbackFamilies) families << QString::fromLatin1(fallback);
  font.setFamilies(families);
  font.setPointSizeF(f.points > 0 ? f.points : 1);
  font.setBold(f.bold);
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  return font;
}

QColor ToQColor(Rgb rgb) { return QColor((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255); }

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(platform::ToUtf8Lenient(path.native()));
}

QImage DefaultGradient() {
  QImage image(kMenuPageWidth, kMenuPageHeightPal, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient g(0, 0, 0, kMenuPageHeightPal);
  g.setColorAt(0, QColor(16, 32, 80));
  g.setColorAt(1, QColor(4, 8, 24));
  p.fillRect(image.rect(), g);
  return image;
}

}  // namespace

MenuPage::MenuPage() : metrics_device_(PageImage(kMenuPageWidth, kMenuPageHeightPal)) {}

std::string MenuPage::LoadBackground(const std::filesystem::path& picture,
                                     const std::filesystem::path& resources, bool ntsc) {
  std::filesystem::path file = picture;
  if (picture == "Default") {
    file = resources / "Background" / (ntsc ? "background_default_NTSC.png" : "background_default_PAL.png");
    if (!platform::IsRegularFile(file)) {
      background_ = DefaultGradient();
      return "";
    }
  }
  const std::string shown = platform::ToUtf8Lenient(file.native());
  // Never a FIFO or a device: the reader would block or read for ever.
  if (!platform::IsRegularFile(file)) return "Can't load the picture " + shown + ": it is not a file.";
  QImageReader reader(PathText(file));
  const QSize size = reader.size();  // from the header, nothing decoded yet
  if (!size.isValid())
    return "Can't load the picture " + shown + ": " + reader.errorString().toStdString() + ".";
  if (size.width() > kMaxBackgroundSide || size.height() > kMaxBackgroundSide) {
    return "The picture " + shown + " is too large (" + std::to_string(size.width()) + " x " +
           std::to_string(size.height()) + "): pictures up to " + std::to_string(kMaxBackgroundSide) + " x " +
           std::to_string(kMaxBackgroundSide) + " can be used.";
  }
  QImage image = reader.read();
  if (image.isNull())
    return "Can't load the picture " + shown + ": " + reader.errorString().toStdString() + ".";
  background_ = image.convertToFormat(QImage::Format_RGB32);
  return "";
}

TextExtent MenuPage::Measure(const MenuFont& font, const std::string& text) const {
  const QFontMetricsF fm(ToQFont(font), &metrics_device_);
  return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
}

std::u32string MenuPage::MissingGlyphs(const MenuFont& font, const std::string& text) const {
  const QFont qfont = ToQFont(font);
  std::u32string missing;
  for (char32_t c : QString::fromStdString(text).toStdU32String()) {
    // Spaces, controls, marks and joiners draw nothing of their own.
    switch (QChar::category(c)) {
      case QChar::Separator_Space:
      case QChar::Separator_Line:
      case QChar::Separator_Paragraph:
      case QChar::Other_Control:
      case QChar::Other_Format:
      case QChar::Mark_NonSpacing:
      case QChar::Mark_Enclosing:
        continue;
      default:
        break;
    }
    if (QChar::isSpace(c) || (c >= 0xFE00 && c <= 0xFE0F) || missing.find(c) != std::u32string::npos)
      continue;
    QTextLayout layout(QString::fromUcs4(&c, 1), qfont, &metrics_device_);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    bool drawn = false;
    for (const QGlyphRun& run : layout.glyphRuns()) {
      const QList<quint32> glyphs = run.glyphIndexes();
      drawn =
          !glyphs.isEmpty() && std::none_of(glyphs.begin(), glyphs.end(), [](quint32 g) { return g == 0; });
      if (!drawn) break;
    }
    if (!drawn) missing.push_back(c);
  }
  return missing;
}

QImage MenuPage::Draw(const MenuDesign& design, const MenuLayout& layout, bool hide_markers,
                      int height) const {
  QImage page = PageImage(kMenuPageWidth, height);
  page.fill(Qt::black);
  QPainter p(&page);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (!background_.isNull()) p.drawImage(QRect(0, 0, kMenuPageWidth, height), background_);

  const QFont title_font = ToQFont(design.title_font);
  p.setFont(title_font);
  p.setPen(ToQColor(design.title_color));
  const QFontMetricsF title_metrics(title_font, &page);
  p.drawText(QPointF(layout.title_x, layout.title_y + title_metrics.ascent()),
             QString::fromStdString(design.title));

  const QFont lines_font = ToQFont(design.lines_font);
  const QFontMetricsF lines_metrics(lines_font, &page);
  for (std::size_t i = 0; i < design.lines.size() && i < layout.line_tops.size(); ++i) {
    p.setFont(lines_font);
    p.setPen(ToQColor(design.lines_color));
    p.drawText(QPointF(layout.lines_x, layout.line_tops[i] + lines_metrics.ascent()),
               QString::fromStdString(design.lines[i]));
    if (!hide_markers && i < layout.buttons.size()) {
      const MenuButtonRect& b = layout.buttons[i];
      p.fillRect(QRect(b.Left, b.Top, b.Size, b.Size), ToQColor(design.marker_color));
    }
  }
  p.end();
  return page;
}

std::string SaveBitmap24(const QImage& picture, const std::filesystem::path& file) {
  if (picture.isNull()) return "there is no picture to save";
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  platform::Bitmap bitmap;
  bitmap.width = rgb.width();
  bitmap.height = rgb.height();
  bitmap.rgb.resize(static_cast<std::size_t>(bitmap.width) * bitmap.height * 3);
  for (int y = 0; y < bitmap.height; ++y)
    std::copy_n(rgb.constScanLine(y), static_cast<std::size_t>(bitmap.width) * 3, bitmap.Pixel(0, y));
  std::string error;
  if (!platform::WriteBmp(file, bitmap, &error)) return error;
  return "";
}

}  // namespace vantora
