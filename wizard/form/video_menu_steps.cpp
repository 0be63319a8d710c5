// The main window's steps 1, 2 and 4: the video list with its size estimate,
// the menu designer with its page and colour lists, the conversion's
// progress, and the About box.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "platform/text.h"
#include "vantora/capacity_view.h"
#include "vantora/cindral_form.h"
#include "vantora/format.h"
#include "vantora/my_progress_bar.h"
#include "vantora/update_check.h"

namespace vantora {

namespace form {

// The menu page scaled, its shape kept, to whatever room the designer's
// tabs leave it in the window.
class PageThumbnail : public QLabel {
 public:
  explicit PageThumbnail(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  }
  void SetPage(const QImage& page) {
    page_ = page;
    Rescale();
  }
  QSize sizeHint() const override { return {kMenuPageWidth / 4, kMenuPageHeightPal / 4}; }
  QSize minimumSizeHint() const override { return {kMenuPageWidth / 8, kMenuPageHeightPal / 8}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Rescale();
  }

 private:
  void Rescale() {
    if (page_.isNull()) {
      clear();
      return;
    }
    setPixmap(QPixmap::fromImage(page_.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  }
  QImage page_;
};

}  // namespace form

namespace {

using form::Named;
using form::Q;

QSlider* Slider(QWidget* parent, const char* name, int maximum, int value) {
  auto* slider = Named(new QSlider(Qt::Horizontal, parent), name);
  slider->setRange(0, maximum);
  slider->setValue(value);
  return slider;
}

QColor ToQColor(Rgb rgb) { return QColor((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255); }

void Paint(QWidget* swatch, Rgb rgb) {
  swatch->setStyleSheet(
      QStringLiteral("background: %1; border: 1px solid #606060;").arg(ToQColor(rgb).name()));
}

void Fill(QComboBox* combo, const QStringList& items) {
  combo->clear();
  combo->addItems(items);
}

QStringList Sizes() {
  QStringList sizes;
  for (int i = 1; i <= 180; ++i) sizes << QString::number(i);
  return sizes;
}

// Selects text, adding it first when the list lacks it (a font name that
// fontconfig substitutes, such as "Arial").
void SetText(QComboBox* combo, const std::string& text) {
  int index = combo->findText(Q(text));
  if (index < 0) {
    combo->insertItem(0, Q(text));
    index = 0;
  }
  combo->setCurrentIndex(index);
}

int CheckValue(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return kChecked;
    case Qt::PartiallyChecked:
      return kGrayed;
    default:
      return kUnchecked;
  }
}

void SetCheck(QCheckBox* box, int value) {
  box->setCheckState(value == kChecked  ? Qt::Checked
                     : value == kGrayed ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
}

// The designer's title texts are the disc's: blanks and non-ASCII included.
std::string Text(const QString& text) { return text.toStdString(); }

// The object names of one text's controls and where its sliders start.
struct TextControlNames {
  const char* font;
  const char* size;
  const char* bold;
  const char* italic;
  const char* underline;
  const char* center;
  const char* color;
  const char* top;
  const char* left;
  int top_value;
  int left_value;
};

constexpr TextControlNames kTitleControls = {"ComboFontTitle",
                                             "ComboTiTleSize",
                                             "checkBold",
                                             "CheckItalic",
                                             "checkUnderline",
                                             "CheckTitleMiddle",
                                             "TitleColor",
                                             "SliderTitleTop",
                                             "SliderTitleLeft",
                                             24,
                                             114};
constexpr TextControlNames kLinesControls = {"ChaptersFont",
                                             "ChaptersSize",
                                             "ChaptersBold",
                                             "ChaptersItalic",
                                             "ChaptersUnderline",
                                             "ChaptersCenter",
                                             "ChaptersColor",
                                             "ChaptersTop",
                                             "ChaptersLeft",
                                             150,
                                             132};

// Lays one text's controls out on page, five rows of grid from row on: the
// font and size, the styles, the centring and colour, the top and the left.
form::MenuTextControls BuildTextControls(QWidget* page, QGridLayout* grid, int row,
                                         const TextControlNames& names, const QStringList& families) {
  form::MenuTextControls c;
  c.font = Named(new QComboBox(page), names.font);
  Fill(c.font, families);
  c.size = Named(new QComboBox(page), names.size);
  Fill(c.size, Sizes());
  grid->addWidget(c.font, row, 0, 1, 2);
  grid->addWidget(c.size, row, 2);
  c.bold = Named(new QCheckBox("Bold", page), names.bold);
  c.italic = Named(new QCheckBox("Italic", page), names.italic);
  c.underline = Named(new QCheckBox("Underline", page), names.underline);
  c.center = Named(new QCheckBox("Center", page), names.center);
  grid->addWidget(c.bold, row + 1, 0);
  grid->addWidget(c.italic, row + 1, 1);
  grid->addWidget(c.underline, row + 1, 2);
  grid->addWidget(c.center, row + 2, 0);
  c.color = Named(new QPushButton(page), names.color);
  c.color->setFixedSize(28, 18);
  grid->addWidget(c.color, row + 2, 2);
  c.top = Slider(page, names.top, 576, names.top_value);
  c.left = Slider(page, names.left, 720, names.left_value);
  grid->addWidget(new QLabel("Top"), row + 3, 0);
  grid->addWidget(c.top, row + 3, 1, 1, 2);
  grid->addWidget(new QLabel("Left"), row + 4, 0);
  grid->addWidget(c.left, row + 4, 1, 1, 2);
  return c;
}

void ReadTextControls(const form::MenuTextControls& c, MenuFont& font, int& center, int& top, int& left) {
  font.family = Text(c.font->currentText());
  font.points = c.size->currentText().toInt();
  font.bold = CheckValue(c.bold) != kUnchecked;
  font.italic = CheckValue(c.italic) != kUnchecked;
  font.underline = CheckValue(c.underline) != kUnchecked;
  center = CheckValue(c.center);
  top = c.top->value();
  left = c.left->value();
}

void ShowTextControls(const form::MenuTextControls& c, const MenuFont& font, int center, int top, int left) {
  SetText(c.font, font.family);
  SetText(c.size, std::to_string(font.points));
  c.bold->setChecked(font.bold);
  c.italic->setChecked(font.italic);
  c.underline->setChecked(font.underline);
  SetCheck(c.center, center);
  c.top->setValue(top);
  c.left->setValue(left);
}

}  // namespace

void CindralForm::BuildStep1(QWidget* page) {
  auto* layout = new QGridLayout(page);
  list_view_chapters_ = Named(new QTreeWidget(page), "ListViewChapters");
  list_view_chapters_->setHeaderLabels({"Filename", "Duration"});
  list_view_chapters_->setRootIsDecorated(false);
  list_view_chapters_->header()->setStretchLastSection(false);
  list_view_chapters_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_view_chapters_->setColumnWidth(1, 70);
  list_view_chapters_->setAcceptDrops(true);
  list_view_chapters_->viewport()->setAcceptDrops(true);
  list_view_chapters_->viewport()->installEventFilter(this);
  list_view_chapters_->setDragDropMode(QAbstractItemView::DropOnly);
  layout->addWidget(list_view_chapters_, 0, 0, 1, 6);

  add_file_ = Named(new QPushButton("Add Chapters", page), "LabelAddFile");
  remove_ = Named(new QPushButton("Remove", page), "Image8");
  remove_->setToolTip("Remove selection");
  clear_ = Named(new QPushButton("Clear", page), "Image2");
  auto* video_ts = Named(new QPushButton("VIDEO_TS...", page), "Image7");
  video_ts->setToolTip("Burn an already existent VIDEO_TS");
  auto* about = Named(new QPushButton("About", page), "Image10");
  auto* preview = Named(new QPushButton("Menu preview", page), "ImagePreview");
  layout->addWidget(add_file_, 1, 0);
  layout->addWidget(remove_, 1, 1);
  layout->addWidget(clear_, 1, 2);
  layout->addWidget(video_ts, 1, 3);
  layout->addWidget(preview, 1, 4);
  layout->addWidget(about, 1, 5);

  label6_ = Named(new QLabel("Estimated Size: 0 MB", page), "Label6");
  layout->addWidget(label6_, 2, 0, 1, 2);
  layout->addWidget(Named(new QLabel("Duration:", page), "Label1"), 2, 2);
  label5_ = Named(new QLabel("00:00", page), "Label5");
  layout->addWidget(label5_, 2, 3);
  layout->addWidget(new QLabel("Quality:", page), 3, 0);
  slider1_ = Named(new QSlider(Qt::Horizontal, page), "Slider1");
  slider1_->setRange(1000, 9000);
  slider1_->setTickInterval(500);
  slider1_->setTickPosition(QSlider::TicksBelow);
  slider1_->setPageStep(500);
  slider1_->setSingleStep(1);
  layout->addWidget(slider1_, 3, 1, 1, 5);

  connect(add_file_, &QPushButton::clicked, this, [this] { controller_->LabelAddFile_Click(); });
  connect(remove_, &QPushButton::clicked, this, [this] {
    const QModelIndex current = list_view_chapters_->currentIndex();
    controller_->Image8_Click(current.isValid() ? current.row() : -1);
  });
  connect(clear_, &QPushButton::clicked, this, [this] { controller_->Image2_Click(); });
  connect(video_ts, &QPushButton::clicked, this, [this] { controller_->Image7_Click(); });
  connect(about, &QPushButton::clicked, this, [this] { ShowAbout(); });
  connect(preview, &QPushButton::clicked, this, [this] { ShowPreviewMenu(); });
  connect(slider1_, &QSlider::valueChanged, this, [this](int value) {
    if (!syncing_) controller_->Slider1_Change(value);
  });
}

bool CindralForm::eventFilter(QObject* watched, QEvent* event) {
  if (list_view_chapters_ && watched == list_view_chapters_->viewport()) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (drag->mimeData()->hasUrls())
        drag->acceptProposedAction();
      else
        drag->ignore();
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      std::vector<std::string> files;
      // Only a list of local files is taken; any other data is ignored.
      for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
      drop->acceptProposedAction();
      if (!files.empty()) controller_->ListViewChapters_OLEDragDrop(files);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CindralForm::BuildStep2(QWidget* page) {
  auto* grid = new QGridLayout(page);
  grid->addWidget(new QLabel("Menu type"), 0, 0);
  combo2_ = Named(new QComboBox(page), "Combo2");
  combo2_->addItems({kWithoutMenu, kClassicalMenu});
  grid->addWidget(combo2_, 0, 1);
  grid->setColumnStretch(2, 1);
  picture7_ = Named(new QWidget(page), "Picture7");
  auto* designer = new QHBoxLayout(picture7_);
  designer->setContentsMargins(0, 0, 0, 0);

  tab_strip1_ = Named(new QTabWidget(picture7_), "TabStrip1");
  // Every tab's caption whole: the tabs take the width they need, the page
  // the rest.
  tab_strip1_->setUsesScrollButtons(false);
  tab_strip1_->setElideMode(Qt::ElideNone);
  tab_strip1_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  const QStringList families = QFontDatabase::families();
  // Title settings.
  auto* title_page = Named(new QWidget, "Frame1_0");
  auto* t = new QGridLayout(title_page);
  text_title_dvd_ = Named(new QLineEdit(title_page), "TextTitleDVD");
  t->addWidget(text_title_dvd_, 0, 0, 1, 3);
  title_text_ = BuildTextControls(title_page, t, 1, kTitleControls, families);
  t->setRowStretch(6, 1);
  tab_strip1_->addTab(title_page, "Title Settings");

  // The video lines' texts.
  auto* titles_page = Named(new QWidget, "Frame1_1");
  auto* l = new QVBoxLayout(titles_page);
  l->addWidget(new QLabel("Chapter list:"));
  list1_ = Named(new QListWidget(titles_page), "List1");
  l->addWidget(list1_, 1);
  txt_chapter_title_ = Named(new QLineEdit(titles_page), "txtChapterTitle");
  l->addWidget(txt_chapter_title_);
  tab_strip1_->addTab(titles_page, "Chapter's titles");

  // The video lines' look, the button colours and the background.
  auto* settings_page = Named(new QWidget, "Frame1_2");
  auto* c = new QGridLayout(settings_page);
  lines_text_ = BuildTextControls(settings_page, c, 0, kLinesControls, families);
  chapter_space_ = Slider(settings_page, "ChapterSpace", 100, 4);
  c->addWidget(new QLabel("Vertical Space:"), 5, 0);
  c->addWidget(chapter_space_, 5, 1, 1, 2);
  const char* list_names[] = {"cbonormalbtncolor", "cboselectedbtncolor", "cboactivebtncolor"};
  const char* swatch_names[] = {"SelectionColor", "Picture8", "Picture9"};
  const char* captions[] = {"Normal Sate:", "Selected State:", "Active State:"};
  QStringList colour_names;
  for (const NamedColor& colour : ButtonColorTable()) colour_names << colour.name;
  for (int i = 0; i < 3; ++i) {
    c->addWidget(new QLabel(captions[i]), 6 + i, 0);
    color_lists_[i] = Named(new QComboBox(settings_page), list_names[i]);
    color_lists_[i]->addItems(colour_names);
    c->addWidget(color_lists_[i], 6 + i, 1);
    color_swatches_[i] = Named(new QLabel(settings_page), swatch_names[i]);
    color_swatches_[i]->setFixedSize(28, 18);
    c->addWidget(color_swatches_[i], 6 + i, 2);
    const auto state = static_cast<ButtonState>(i);
    connect(color_lists_[i], &QComboBox::activated, this,
            [this, state](int index) { controller_->ButtonColor_Click(state, index); });
  }
  text_background_image_ = Named(new QLineEdit("Default", settings_page), "TextBackgroundImage");
  text_background_image_->setReadOnly(true);
  auto* command4 = Named(new QPushButton("...", settings_page), "Command4");
  c->addWidget(text_background_image_, 9, 0, 1, 2);
  c->addWidget(command4, 9, 2);
  c->setRowStretch(10, 1);
  tab_strip1_->addTab(settings_page, "Chapter's Settings");
  designer->addWidget(tab_strip1_);

  pic_grand_ = Named(new form::PageThumbnail(picture7_), "PicGrand");
  designer->addWidget(pic_grand_, 1);
  grid->addWidget(picture7_, 1, 0, 1, 3);
  grid->setRowStretch(1, 1);
  label_missing_glyphs_ = Named(new QLabel(page), "LabelMissingGlyphs");
  label_missing_glyphs_->setWordWrap(true);
  label_missing_glyphs_->setStyleSheet("color: #b00000;");
  label_missing_glyphs_->hide();
  grid->addWidget(label_missing_glyphs_, 2, 0, 1, 3);

  connect(combo2_, &QComboBox::activated, this,
          [this](int index) { controller_->Combo2_Click(combo2_->itemText(index) == kClassicalMenu); });
  for (const form::MenuTextControls* text : {&title_text_, &lines_text_}) {
    for (QComboBox* combo : {text->font, text->size})
      connect(combo, &QComboBox::currentIndexChanged, this, [this] { DesignChanged(); });
    for (QCheckBox* box : {text->bold, text->italic, text->underline, text->center})
      connect(box, &QCheckBox::stateChanged, this, [this] { DesignChanged(); });
    for (QSlider* slider : {text->top, text->left})
      connect(slider, &QSlider::valueChanged, this, [this] { DesignChanged(); });
  }
  connect(chapter_space_, &QSlider::valueChanged, this, [this] { DesignChanged(); });
  connect(text_title_dvd_, &QLineEdit::textEdited, this, [this] { DesignChanged(); });
  connect(title_text_.color, &QPushButton::clicked, this, [this] { controller_->TitleColor_Click(); });
  connect(lines_text_.color, &QPushButton::clicked, this, [this] { controller_->ChaptersColor_Click(); });
  connect(command4, &QPushButton::clicked, this, [this] { controller_->Command4_Click(); });
  connect(list1_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (syncing_ || row < 0) return;
    syncing_ = true;
    txt_chapter_title_->setText(list1_->item(row)->text());
    syncing_ = false;
  });
  connect(txt_chapter_title_, &QLineEdit::textEdited, this, [this](const QString& text) {
    const int row = list1_->currentRow();
    auto& lines = controller_->screen().menu.lines;
    if (row < 0 || row >= static_cast<int>(lines.size())) return;  // no line chosen: nothing to edit
    lines[row] = Text(text);
    list1_->item(row)->setText(text);
    controller_->RedrawMenuPreview(false);
  });
}

void CindralForm::DesignChanged() {
  if (syncing_ || !controller_) return;
  MenuDesign& d = controller_->screen().menu;
  d.title = Text(text_title_dvd_->text());
  controller_->screen().menu_title_text = d.title;
  ReadTextControls(title_text_, d.title_font, d.title_center, d.title_top, d.title_left);
  ReadTextControls(lines_text_, d.lines_font, d.lines_center, d.lines_top, d.lines_left);
  d.line_space = chapter_space_->value();
  controller_->RedrawMenuPreview(false);
}

void CindralForm::BuildStep4(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  label_file_converting_ = Named(new QLabel(page), "LabelFileConverting");
  label10_ = Named(new QLabel(page), "Label10");
  layout->addWidget(label10_);
  picvideo_ = Named(new QLabel(page), "picvideo");
  picvideo_->setMinimumSize(240, 180);
  picvideo_->setAlignment(Qt::AlignCenter);
  picvideo_->setStyleSheet("background: black;");
  layout->addWidget(picvideo_, 1, Qt::AlignHCenter);
  layout->addWidget(label_file_converting_);
  check1_ = Named(new QCheckBox("Show Preview", page), "Check1");
  layout->addWidget(check1_);
  label_status_ = Named(new QLabel(page), "LabelStatus");
  label_percent_ = Named(new QLabel(page), "LabelPercent");
  label12_ = Named(new QLabel(page), "Label12");
  label_time_left_ = Named(new QLabel(page), "LabelTimeLeft");
  layout->addWidget(label_status_);
  layout->addWidget(label_percent_);
  layout->addWidget(label12_);
  layout->addWidget(label_time_left_);
  progress1_ = Named(new MyProgressBar(page), "MyProgressBar1");
  progress2_ = Named(new MyProgressBar(page), "MyProgressBar2");
  layout->addWidget(progress1_);
  layout->addWidget(progress2_);
  connect(check1_, &QCheckBox::toggled, this, [this](bool on) {
    if (syncing_) return;
    controller_->Check1_Click(on);
  });
}

void CindralForm::RefreshVideoList() {
  const WizardScreen& s = controller_->screen();
  // Rebuilt only when the rows changed, so the selection stays.
  bool same = list_view_chapters_->topLevelItemCount() == static_cast<int>(s.rows.size());
  for (int i = 0; same && i < static_cast<int>(s.rows.size()); ++i)
    same = list_view_chapters_->topLevelItem(i)->text(0) == Q(s.rows[i].text);
  if (!same) {
    list_view_chapters_->clear();
    for (const VideoRow& row : s.rows) {
      auto* item = new QTreeWidgetItem(list_view_chapters_, {Q(row.text), Q(FormatDuration(row.seconds))});
      item->setToolTip(0, Q(platform::ToUtf8Lenient(row.source.native())));
    }
  }
  clear_->setEnabled(!s.probing);
  label6_->setText(Q(s.estimated_size_text));
  label5_->setText(Q(s.total_duration_text));
  const int bitrate = std::clamp(controller_->VideoBitrate, 1000, 9000);
  if (slider1_->value() != bitrate) slider1_->setValue(bitrate);
  if (capacity_ && capacity_->value() != s.gauge_value) {
    capacity_->SetValue(s.gauge_value);
    capacity_->DessineBar();
  }
}

void CindralForm::RefreshMenuDesigner() {
  const WizardScreen& s = controller_->screen();
  const MenuDesign& d = s.menu;
  bool same = list1_->count() == static_cast<int>(d.lines.size());
  for (int i = 0; same && i < list1_->count(); ++i) same = list1_->item(i)->text() == Q(d.lines[i]);
  if (!same) {
    list1_->clear();
    for (const std::string& line : d.lines) list1_->addItem(Q(line));
  }
  if (text_title_dvd_->text() != Q(d.title)) text_title_dvd_->setText(Q(d.title));
  ShowTextControls(title_text_, d.title_font, d.title_center, d.title_top, d.title_left);
  ShowTextControls(lines_text_, d.lines_font, d.lines_center, d.lines_top, d.lines_left);
  chapter_space_->setValue(d.line_space);
  Paint(title_text_.color, d.title_color);
  Paint(lines_text_.color, d.lines_color);
  for (int i = 0; i < 3; ++i) {
    if (s.button_color[i] >= 0) color_lists_[i]->setCurrentIndex(s.button_color[i]);
    Paint(color_swatches_[i], s.button_swatch[i]);
  }
  text_background_image_->setText(Q(d.background));
  combo2_->setCurrentIndex(s.classical_menu ? 1 : 0);
  picture7_->setVisible(s.classical_menu);
}

void CindralForm::RefreshConversion() {
  const WizardScreen& s = controller_->screen();
  check1_->setChecked(s.preview_on);
  progress1_->SetValue(s.progress1);
  progress2_->SetValue(s.progress2);
  label_file_converting_->setText(Q(s.file_converting));
  label10_->setText(Q(s.conversion_caption));
  label_status_->setText(Q(s.file_progress));
  label_percent_->setText(Q(s.frames_encoded));
  label12_->setText(Q(s.time_elapsed));
  label_time_left_->setText(Q(s.time_left));
}

TextExtent CindralForm::MeasureMenuText(const MenuFont& font, const std::string& text) {
  return menu_page_.Measure(font, text);
}

void CindralForm::ShowMenuPage(const MenuDesign& design, const MenuLayout& layout, bool hide_markers) {
  const bool ntsc = controller_ ? controller_->screen().ntsc : false;
  menu_picture_ =
      menu_page_.Draw(design, layout, hide_markers, ntsc ? kMenuPageHeightNtsc : kMenuPageHeightPal);
  pic_grand_->SetPage(menu_picture_);
  if (preview_menu_ && preview_menu_->isVisible()) pic_preview_->setPixmap(QPixmap::fromImage(menu_picture_));
  ShowMissingGlyphs(design);
}

void CindralForm::ShowMissingGlyphs(const MenuDesign& design) {
  std::u32string missing = menu_page_.MissingGlyphs(design.title_font, design.title);
  for (const std::string& line : design.lines) {
    for (char32_t c : menu_page_.MissingGlyphs(design.lines_font, line))
      if (missing.find(c) == std::u32string::npos) missing.push_back(c);
  }
  QString list;
  for (char32_t c : missing) {
    if (!list.isEmpty()) list += ", ";
    list += QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
  }
  label_missing_glyphs_->setText(
      "No font can draw these characters of the menu's texts; the disc would show empty boxes: " + list);
  label_missing_glyphs_->setVisible(!missing.empty());
}

std::string CindralForm::LoadMenuBackground(const std::filesystem::path& picture) {
  return menu_page_.LoadBackground(picture, services_.folders.resources,
                                   controller_ != nullptr && controller_->screen().ntsc);
}

void CindralForm::ShowPreviewMenu() {
  if (!preview_menu_) {
    preview_menu_ = Named(new QDialog(this), "PreviewMenu");
    preview_menu_->setWindowTitle("Menu preview");
    auto* layout = new QVBoxLayout(preview_menu_);
    layout->setContentsMargins(0, 0, 0, 0);
    pic_preview_ = Named(new QLabel(preview_menu_), "PicPreview");
    layout->addWidget(pic_preview_);
  }
  pic_preview_->setPixmap(QPixmap::fromImage(menu_picture_));
  preview_menu_->show();  // without blocking
}

void CindralForm::ShowAbout() {
  if (!about_) {
    about_ = Named(new QDialog(this), "About");
    about_->setWindowTitle("About Vantora Converter");
    about_->setModal(true);
    auto* layout = new QVBoxLayout(about_);
    auto* name = Named(new QLabel("Vantora Converter", about_), "LabelStep");
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(Named(new QLabel("Turns your videos into a DVD-Video disc, with a menu.", about_),
                            "LabelDetailStep"));
    layout->addWidget(new QLabel("The Vantora developers, 2026", about_));
    auto* mail = Named(new QPushButton(QString::fromLatin1(kContactMail), about_), "Label5");
    mail->setFlat(true);
    auto* web = Named(new QPushButton(QString::fromLatin1(kHomePage), about_), "Label7");
    web->setFlat(true);
    layout->addWidget(mail);
    layout->addWidget(web);
    auto* buttons = new QHBoxLayout;
    auto* check = Named(new QPushButton("Check for Updates", about_), "Command1");
    auto* close = Named(new QPushButton("Close", about_), "Command2");
    buttons->addWidget(check);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(check, &QPushButton::clicked, this, [this] { controller_->CheckStart(); });
    connect(close, &QPushButton::clicked, about_, &QDialog::hide);
    connect(mail, &QPushButton::clicked, this, [this] {
      services_.shell->OpenWithShell(std::string("mailto: ") + kContactMail + "?subject=Vantora");
    });
    connect(web, &QPushButton::clicked, this, [this] { services_.shell->OpenWithShell(kHomePage); });
  }
  // Without an update server there is nothing to check.
  about_->findChild<QPushButton*>("Command1")->setVisible(!UpdateServer().empty());
  about_->show();
}

}  // namespace vantora
