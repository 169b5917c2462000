#include "gui/main_dialog.h"

#include <array>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/paths.h"
#include "common/version.h"
#include "gui/core/default_job_file.h"
#include "gui/core/dialog_lists.h"
#include "gui/picker_dialog.h"
#include "gui/processing_dialog.h"
#include "gui/window_helpers.h"

#ifndef ZQ_MAGICK_VERSION
#error "ZQ_MAGICK_VERSION: the ImageMagick version the engine is built with, set by the build"
#endif

namespace zq::gui {
namespace {

using enum job_key_id;
using v = dialog_values;

QString qt_text(const std::string& text) { return QString::fromStdString(text); }
std::string std_text(const QString& text) { return text.toStdString(); }

// A list changes its value only under the user's hand: a wheel turned over
// it while the focus is elsewhere (scrolling past it) is swallowed instead of
// changing the setting on the way.
class wheel_guard final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget != nullptr && !widget->hasFocus()) {
        event->ignore();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

QLabel* buddy_label(const char* text, QWidget* buddy) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setBuddy(buddy);
  return label;
}

// The style's gap between a label and a field side by side; -1 when the
// style has none to give.
int side_gap(const QWidget* widget) {
  const QStyle* style = widget->style();
  const int gap = style->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
  return gap >= 0 ? gap
                  : style->layoutSpacing(QSizePolicy::Label, QSizePolicy::LineEdit, Qt::Horizontal);
}

// A row of widgets inside a form: the style's gap, not the form's wider one
// after its labels.
QHBoxLayout* form_row(const QWidget* owner) {
  auto* layout = new QHBoxLayout;
  layout->setSpacing(side_gap(owner));
  return layout;
}

// A field and the button beside it on one row of a form.
QHBoxLayout* row(QWidget* field, QWidget* button) {
  QHBoxLayout* layout = form_row(field);
  layout->addWidget(field, 1);
  layout->addWidget(button);
  return layout;
}

// A form of labels and their fields, with the panel's own margins. The gap
// after the longest label is twice the style's: at the style's own, a colon
// stands right against its field.
QFormLayout* panel_form(QWidget* panel) {
  auto* form = new QFormLayout(panel);
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  form->setRowWrapPolicy(QFormLayout::DontWrapRows);
  if (const int gap = side_gap(panel); gap > 0) {
    form->setHorizontalSpacing(2 * gap);
  }
  return form;
}

QWidget* panel(const char* name) {
  auto* widget = new QWidget;
  widget->setObjectName(QString::fromUtf8(name));
  return widget;
}

// A number field as wide as its longest number, not as a path.
void number_width(QLineEdit* edit) {
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(
      QString(static_cast<qsizetype>(kDigitFieldMaxLength) + 3, QLatin1Char('0'))));
}

// The help page and the release notes beside the program.
constexpr const char* kHelpFile = "Zembrite_Quarnel.html";
constexpr const char* kWhatsNewFile = "whatsnew.txt";

constexpr const char* kJobFileTitle = "Zembrit_Quarnel Ini File";
constexpr const char* kJobFileFilter = "Zembrit_Quarnel Ini File (*.ini)";
constexpr const char* kNoJobFile = "Please enter the name of the ini file.";

constexpr std::array kTabTexts = {"Misc", "Report", "BMP", "GIF", "JPEG", "PCL",
                                  "PCX",  "PDF",    "PNG", "PSE", "TIFF"};

}  // namespace

main_dialog::main_dialog(user_dialogs& ui, desktop_opener& opener, std::string program_folder,
                         QWidget* parent)
    : QDialog(parent),
      ui_(*this, ui),
      opener_(opener),
      program_folder_(std::move(program_folder)),
      files_(platform::real_file_system()) {
  build();
  start();
}

// ---------------------------------------------------------------- building

QLineEdit* main_dialog::text_field(const char* name, std::string dialog_values::*field) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromUtf8(name));
  texts_.push_back({field, edit});
  return edit;
}

QLineEdit* main_dialog::digit_field(const char* name, std::string dialog_values::*field) {
  QLineEdit* edit = text_field(name, field);
  // Typing stops at the longest number "%d" writes as typed. A longer value
  // loaded from a hand-written file is shown whole, not cut, and saved clamped.
  edit->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kDigitFieldMaxLength)), edit));
  number_width(edit);
  return edit;
}

QAbstractButton* main_dialog::check_box(const char* name, const char* text,
                                        bool dialog_values::*field) {
  auto* box = new QCheckBox(QString::fromUtf8(text));
  box->setObjectName(QString::fromUtf8(name));
  checks_.push_back({field, box});
  return box;
}

QComboBox* main_dialog::list(const char* name, int dialog_values::*field, job_key_id entries) {
  auto* combo = new QComboBox;
  combo->setObjectName(QString::fromUtf8(name));
  for (std::string_view entry : list_entries(entries)) {
    combo->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
  }
  combo->setCurrentIndex(kNoSelection);
  combo->setFocusPolicy(Qt::StrongFocus);
  combo->installEventFilter(wheel_guard_);
  lists_.push_back({field, combo});
  return combo;
}

QToolButton* main_dialog::browse_button(const char* name, const char* accessible_name,
                                        bool folder_icon) {
  auto* button = new QToolButton;
  button->setObjectName(QString::fromUtf8(name));
  button->setText(QStringLiteral("..."));
  if (folder_icon) {
    button->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAccessibleName(QString::fromUtf8(accessible_name));
  button->setToolTip(QString::fromUtf8(accessible_name));
  return button;
}

void main_dialog::build() {
  setWindowTitle(QStringLiteral("Zembrit_Quarnel Monitor"));
  setWindowIcon(QIcon(QStringLiteral(":/gui/quarnel-gui.png")));
  setObjectName(QStringLiteral("main_dialog"));
  // Title bar, system menu and close box; nothing to minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  wheel_guard_ = new wheel_guard(this);

  auto* root = new QVBoxLayout(this);
  root->setSizeConstraint(QLayout::SetMinimumSize);
  build_menu();
  root->setMenuBar(findChild<QMenuBar*>());

  auto* body = new QHBoxLayout;
  root->addLayout(body, 1);
  auto* left = new QVBoxLayout;
  body->addLayout(left, 1);

  // The job file.
  job_file_edit_ = new QLineEdit;
  job_file_edit_->setObjectName(QStringLiteral("job_file_edit"));
  job_file_edit_->setAccessibleName(QStringLiteral("Job file"));
  job_file_edit_->setToolTip(QStringLiteral("Job file"));
  auto* job_file_button = new QToolButton;
  job_file_button->setText(QStringLiteral("..."));
  job_file_button->setFocusPolicy(Qt::StrongFocus);
  job_file_button->setObjectName(QStringLiteral("job_file_button"));
  job_file_button->setAccessibleName(QStringLiteral("Choose a job file and load it"));
  job_file_button->setToolTip(job_file_button->accessibleName());
  left->addLayout(row(job_file_edit_, job_file_button));

  // The source settings above the tab strip.
  auto* sources = new QGroupBox(QStringLiteral("TIFF files"));
  sources->setObjectName(QStringLiteral("tiff_files_group"));
  QFormLayout* source_form = panel_form(sources);
  source_folder_edit_ = text_field("source_folder_edit", &v::source_folder);
  QToolButton* source_browse =
      browse_button("source_browse_button", "Browse for the source folder", true);
  source_form->addRow(buddy_label("&Source path:", source_folder_edit_),
                      row(source_folder_edit_, source_browse));
  QHBoxLayout* flags = form_row(sources);
  flags->addWidget(check_box("recursive_check", "&Recursive search", &v::recursive_search));
  flags->addWidget(
      check_box("extract_all_check", "&Extract all TIFF pages", &v::extract_all_pages));
  flags->addStretch(1);
  source_form->addRow(flags);
  target_format_list_ = list("target_format_list", &v::target_format, params_image_type);
  source_form->addRow(buddy_label("&Target format:", target_format_list_), target_format_list_);
  left->addWidget(sources);

  // The tab strip and its panels.
  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("panel_tabs"));
  // Every tab in sight: the strip sets the dialog's least width.
  tabs_->setUsesScrollButtons(false);
  QWidget* panels[] = {build_misc_panel(), build_report_panel(), build_bmp_panel(),
                       build_gif_panel(),  build_jpeg_panel(),   build_pcl_panel(),
                       build_pcx_panel(),  build_pdf_panel(),    build_png_panel(),
                       build_pse_panel(),  build_tiff_panel()};
  for (std::size_t tab = 0; tab < kTabTexts.size(); ++tab) {
    tabs_->addTab(panels[tab], QString::fromUtf8(kTabTexts[tab]));
  }
  left->addWidget(tabs_, 1);

  // The column of commands.
  auto* commands = new QVBoxLayout;
  body->addLayout(commands);
  auto command = [&](const char* name, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    button->setObjectName(QString::fromUtf8(name));
    commands->addWidget(button);
    return button;
  };
  QPushButton* save_as_button = command("save_as_button", "Save &As...");
  commands->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing) * 2);
  save_quit_button_ = command("save_quit_button", "Save && &Quit");
  QPushButton* save_button = command("save_button", "Sa&ve");
  QPushButton* quit_button = command("quit_button", "Quit");
  commands->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing) * 2);
  QPushButton* select_button = command("select_button", "Se&lect...");
  QPushButton* launch_button = command("launch_button", "La&unch");
  QPushButton* last_log_button = command("last_log_button", "Last lo&g");
  commands->addStretch(1);
  QPushButton* help_button = command("help_button", "Help");
  save_quit_button_->setDefault(true);

  connect(job_file_button, &QToolButton::clicked, this, &main_dialog::choose_job_file);
  connect(save_as_button, &QPushButton::clicked, this, &main_dialog::save_as);
  connect(save_quit_button_, &QPushButton::clicked, this, &main_dialog::save_and_quit);
  connect(save_button, &QPushButton::clicked, this, &main_dialog::save);
  connect(quit_button, &QPushButton::clicked, this, &main_dialog::reject);
  connect(select_button, &QPushButton::clicked, this, &main_dialog::select_files);
  connect(launch_button, &QPushButton::clicked, this, &main_dialog::launch_conversion);
  connect(last_log_button, &QPushButton::clicked, this, &main_dialog::show_last_log);
  connect(help_button, &QPushButton::clicked, this, [this] { open_program_file(kHelpFile); });
  connect(source_browse, &QToolButton::clicked, this, [this] {
    browse_folder(source_folder_edit_, QStringLiteral("Select the TIFF source folder:"));
  });
  connect(
      findChild<QToolButton*>(QStringLiteral("target_browse_button")), &QToolButton::clicked, this,
      [this] { browse_folder(target_folder_edit_, QStringLiteral("Select the target folder:")); });
  connect(findChild<QToolButton*>(QStringLiteral("temp_browse_button")), &QToolButton::clicked,
          this,
          [this] { browse_folder(temp_folder_edit_, QStringLiteral("Select the TEMP folder:")); });

  // Only the user's choice moves the panels; a load sets the list quietly.
  connect(target_format_list_, &QComboBox::activated, this, &main_dialog::format_chosen);
  connect(create_report_check_, &QAbstractButton::toggled, use_tiff_name_check_,
          &QWidget::setEnabled);

  // Ctrl+Tab and Ctrl+Shift+Tab turn the tabs from anywhere in the dialog,
  // not only from inside the tab strip.
  auto turn = [this](int step) {
    const int count = tabs_->count();
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
  };
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
          [turn] { turn(1); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this),
          &QShortcut::activated, this, [turn] { turn(-1); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backtab), this), &QShortcut::activated,
          this, [turn] { turn(-1); });

  set_tab_order();
}

QWidget* main_dialog::build_misc_panel() {
  QWidget* page = panel("misc_panel");
  QFormLayout* form = panel_form(page);
  target_folder_edit_ = text_field("target_folder_edit", &v::target_folder);
  form->addRow(buddy_label("Target &path:", target_folder_edit_),
               row(target_folder_edit_,
                   browse_button("target_browse_button", "Browse for the target folder", true)));
  form->addRow(check_box("reproduce_path_check", "Repr&oduce the source path into the target path",
                         &v::reproduce_source_path));
  temp_folder_edit_ = text_field("temp_folder_edit", &v::temp_folder);
  form->addRow(buddy_label("Te&mp path:", temp_folder_edit_),
               row(temp_folder_edit_,
                   browse_button("temp_browse_button", "Browse for the temp folder", false)));
  width_edit_ = digit_field("width_edit", &v::width);
  height_edit_ = digit_field("height_edit", &v::height);
  width_edit_->setAccessibleName(QStringLiteral("Width"));
  height_edit_->setAccessibleName(QStringLiteral("Height"));
  QHBoxLayout* size = form_row(page);
  size->addWidget(width_edit_);
  size->addWidget(buddy_label("&x", height_edit_));
  size->addWidget(height_edit_);
  size->addStretch(1);
  form->addRow(buddy_label("Res&ize:", width_edit_), size);
  form->addRow(check_box("keep_proportions_check", "&Keep proportions", &v::keep_proportions));
  return page;
}

QWidget* main_dialog::build_report_panel() {
  QWidget* page = panel("report_panel");
  auto* layout = new QVBoxLayout(page);
  create_report_check_ =
      check_box("create_report_check", "&Create a report file (.log) to the selected temp folder",
                &v::create_report);
  use_tiff_name_check_ = check_box(
      "use_tiff_name_check", "Use the TIFF &filename to create the report file", &v::use_tiff_name);
  layout->addWidget(create_report_check_);
  layout->addWidget(use_tiff_name_check_);
  layout->addStretch(1);
  return page;
}

QWidget* main_dialog::build_bmp_panel() {
  QWidget* page = panel("bmp_panel");
  auto* layout = new QVBoxLayout(page);
  bmp_group_ = new QButtonGroup(page);
  const std::pair<const char*, const char*> buttons[] = {
      {"bmp_black_white_radio", "&Black && white"},
      {"bmp_256_radio", "256 &colors"},
      {"bmp_16m_radio", "16 &million colors"},
  };
  int id = static_cast<int>(bmp_colors::black_and_white);
  for (const auto& [name, text] : buttons) {
    auto* radio = new QRadioButton(QString::fromUtf8(text));
    radio->setObjectName(QString::fromUtf8(name));
    bmp_group_->addButton(radio, id++);
    layout->addWidget(radio);
  }
  layout->addWidget(check_box("bmp_compress_check", "Com&press (RLE)", &v::bmp_compress));
  layout->addStretch(1);
  return page;
}

QWidget* main_dialog::build_gif_panel() {
  QWidget* page = panel("gif_panel");
  auto* layout = new QVBoxLayout(page);
  gif_group_ = new QButtonGroup(page);
  auto* gif87 = new QRadioButton(QStringLiteral("GIF 8&7"));
  gif87->setObjectName(QStringLiteral("gif87_radio"));
  auto* gif89 = new QRadioButton(QStringLiteral("GIF 8&9"));
  gif89->setObjectName(QStringLiteral("gif89_radio"));
  gif_group_->addButton(gif87, static_cast<int>(gif_version::gif87));
  gif_group_->addButton(gif89, static_cast<int>(gif_version::gif89));
  layout->addWidget(gif87);
  layout->addWidget(gif89);
  layout->addWidget(check_box("gif_compress_check", "&Compress (LZW)", &v::gif_compress));
  layout->addWidget(
      check_box("gif_multi_page_check", "Produce a &multi-pages GIF", &v::gif_multi_page));
  layout->addStretch(1);
  return page;
}

QWidget* main_dialog::build_jpeg_panel() {
  QWidget* page = panel("jpeg_panel");
  QFormLayout* form = panel_form(page);
  // Any text: the engine gets what the field reads as a number.
  QLineEdit* quality = text_field("jpeg_quality_edit", &v::jpeg_quality);
  number_width(quality);
  form->addRow(buddy_label("Compression &factor: (1 - 99)", quality), quality);
  form->addRow(QString(), buddy_label("(lowest compression =  best quality)", quality));
  form->addRow(check_box("jpeg_progressive_check", "&Progressive display", &v::jpeg_progressive));
  QComboBox* colorspace = list("jpeg_colorspace_list", &v::jpeg_colorspace, jpeg_colorspace);
  form->addRow(buddy_label("C&olorspace:", colorspace), colorspace);
  return page;
}

QWidget* main_dialog::build_pcl_panel() {
  QWidget* page = panel("pcl_panel");
  QFormLayout* form = panel_form(page);
  QComboBox* pages = list("pcl_page_list", &v::pcl_page_type, pcl_page_type);
  form->addRow(buddy_label("&Page format:", pages), pages);
  QLineEdit* dpi = digit_field("pcl_dpi_edit", &v::pcl_dpi);
  form->addRow(buddy_label("&DPI:", dpi), dpi);
  return page;
}

QWidget* main_dialog::build_pcx_panel() {
  QWidget* page = panel("pcx_panel");
  QFormLayout* form = panel_form(page);
  form->addRow(
      check_box("pcx_multi_file_check", "Produce a multi-file pcx (&DCX)", &v::pcx_multi_file));
  pcx_name_edit_ = text_field("pcx_name_edit", &v::pcx_name);
  form->addRow(buddy_label("File &name:", pcx_name_edit_), pcx_name_edit_);
  return page;
}

QWidget* main_dialog::build_pdf_panel() {
  QWidget* page = panel("pdf_panel");
  QFormLayout* form = panel_form(page);
  QComboBox* compression = list("pdf_compression_list", &v::pdf_compression, pdf_compression_type);
  form->addRow(buddy_label("&Compression type:", compression), compression);
  QComboBox* pages = list("pdf_page_list", &v::pdf_page_size, pdf_letter_type);
  form->addRow(buddy_label("&Page format:", pages), pages);
  form->addRow(check_box("pdf_single_file_check",
                         "Produce a single P&DF with all the selected TIFF", &v::pdf_single_file));
  pdf_name_edit_ = text_field("pdf_name_edit", &v::pdf_name);
  form->addRow(buddy_label("File &name:", pdf_name_edit_), pdf_name_edit_);
  return page;
}

QWidget* main_dialog::build_png_panel() {
  QWidget* page = panel("png_panel");
  QFormLayout* form = panel_form(page);
  QLineEdit* quality = digit_field("png_quality_edit", &v::png_quality);
  form->addRow(buddy_label("Compression &factor: (1 - 99)", quality), quality);
  form->addRow(check_box("png_progressive_check", "&Progressive display", &v::png_progressive));
  return page;
}

QWidget* main_dialog::build_pse_panel() {
  QWidget* page = panel("pse_panel");
  QFormLayout* form = panel_form(page);
  QLineEdit* horizontal = digit_field("pse_horz_dpi_edit", &v::pse_horz_dpi);
  form->addRow(buddy_label("H&orz. dpi:", horizontal), horizontal);
  QLineEdit* vertical = digit_field("pse_vert_dpi_edit", &v::pse_vert_dpi);
  form->addRow(buddy_label("Vert. &dpi:", vertical), vertical);
  return page;
}

QWidget* main_dialog::build_tiff_panel() {
  QWidget* page = panel("tiff_panel");
  QFormLayout* form = panel_form(page);
  QComboBox* compression =
      list("tiff_compression_list", &v::tiff_compression, tiff_compression_type);
  form->addRow(buddy_label("&Compression:", compression), compression);
  QLineEdit* dpi = digit_field("tiff_dpi_edit", &v::tiff_dpi);
  form->addRow(buddy_label("&DPI:", dpi), dpi);
  QComboBox* colorspace = list("tiff_colorspace_list", &v::tiff_colorspace, tiff_colorspace);
  form->addRow(buddy_label("C&olorspace:", colorspace), colorspace);
  form->addRow(
      check_box("tiff_multi_page_check", "Produce a &multi-pages TIFF", &v::tiff_multi_page));
  tif_name_edit_ = text_field("tif_name_edit", &v::tif_name);
  form->addRow(buddy_label("TIFF file &name:", tif_name_edit_), tif_name_edit_);
  return page;
}

void main_dialog::build_menu() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("main_menu"));
  QMenu* program = bar->addMenu(QStringLiteral("&Zembrit"));
  program->setObjectName(QStringLiteral("zembrit_menu"));
  program
      ->addAction(QStringLiteral("&What's New ?"), this,
                  [this] { open_program_file(kWhatsNewFile); })
      ->setObjectName(QStringLiteral("whats_new_action"));
  program->addSeparator();
  program->addAction(QStringLiteral("&Quit"), this, &main_dialog::reject)
      ->setObjectName(QStringLiteral("quit_action"));
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("help_menu"));
  help->addAction(QStringLiteral("&Help"), this, [this] { open_program_file(kHelpFile); })
      ->setObjectName(QStringLiteral("help_action"));
  help->addSeparator();
  help->addAction(QStringLiteral("&About"), this, &main_dialog::about)
      ->setObjectName(QStringLiteral("about_action"));
}

// The order a reader takes: the job file, the source settings, the tabs and
// the panel in front, then the commands from the most used down.
void main_dialog::set_tab_order() {
  std::vector<QWidget*> chain;
  for (const char* name :
       {"job_file_edit", "job_file_button", "source_folder_edit", "source_browse_button",
        "recursive_check", "extract_all_check", "target_format_list"}) {
    chain.push_back(findChild<QWidget*>(QString::fromUtf8(name)));
  }
  // The tab strip, then the panel in front: each panel's fields as they
  // stand, top to bottom; Tab passes over the hidden panels.
  chain.push_back(tabs_->tabBar());
  for (int tab = 0; tab < tabs_->count(); ++tab) {
    for (QWidget* field : tabs_->widget(tab)->findChildren<QWidget*>()) {
      if ((field->focusPolicy() & Qt::TabFocus) != 0) {
        chain.push_back(field);
      }
    }
  }
  for (const char* name : {"save_quit_button", "save_button", "save_as_button", "quit_button",
                           "select_button", "launch_button", "last_log_button", "help_button"}) {
    chain.push_back(findChild<QWidget*>(QString::fromUtf8(name)));
  }
  for (std::size_t i = 1; i < chain.size(); ++i) {
    setTabOrder(chain[i - 1], chain[i]);
  }
}

void main_dialog::start() {
  // The user's copy stands in for a default job file they may not change.
  const job_file_choice choice =
      default_job_file(program_folder_, user_config_home(), user_can_replace, files_);
  job_file_edit_->setText(qt_text(choice.path));
  // A default job file that cannot be read leaves every control empty.
  if (files_.read_head(choice.path, 1).is_ok()) {
    dialog_values loaded = values();
    load_job_file(choice.path, loaded, files_);
    set_values(loaded);
  }
  show_panel(panel_tab::misc);
  enable_dialog_theme(*this, true);
  adjustSize();
  center_window(*this);
}

// ---------------------------------------------------------------- values

dialog_values main_dialog::values() const {
  dialog_values values;
  for (const text_binding& b : texts_) {
    values.*b.field = std_text(b.edit->text());
  }
  for (const check_binding& b : checks_) {
    values.*b.field = b.box->isChecked();
  }
  for (const list_binding& b : lists_) {
    values.*b.field = b.list->currentIndex();
  }
  const int bmp = bmp_group_->checkedId();
  values.bmp_type = bmp < 0 ? bmp_colors::none : static_cast<bmp_colors>(bmp);
  const int gif = gif_group_->checkedId();
  values.gif_type = gif < 0 ? gif_version::none : static_cast<gif_version>(gif);
  return values;
}

namespace {

// Checks exactly the button of `id` in `group`, or none for a negative id
// (which an exclusive group cannot do by itself).
void check_only(QButtonGroup& group, int id) {
  group.setExclusive(false);
  for (QAbstractButton* button : group.buttons()) {
    button->setChecked(group.id(button) == id);
  }
  group.setExclusive(true);
}

}  // namespace

void main_dialog::set_values(const dialog_values& values) {
  for (const text_binding& b : texts_) {
    b.edit->setText(qt_text(values.*b.field));
  }
  for (const check_binding& b : checks_) {
    b.box->setChecked(values.*b.field);
  }
  for (const list_binding& b : lists_) {
    b.list->setCurrentIndex(
        values.*b.field >= 0 && values.*b.field < b.list->count() ? values.*b.field : kNoSelection);
  }
  check_only(*bmp_group_,
             values.bmp_type == bmp_colors::none ? -1 : static_cast<int>(values.bmp_type));
  check_only(*gif_group_,
             values.gif_type == gif_version::none ? -1 : static_cast<int>(values.gif_type));
  use_tiff_name_check_->setEnabled(values.create_report);
}

std::string main_dialog::job_file() const { return std_text(job_file_edit_->text()); }

// ---------------------------------------------------------------- panels

void main_dialog::show_panel(panel_tab tab) { tabs_->setCurrentIndex(static_cast<int>(tab)); }

panel_tab main_dialog::current_panel() const {
  return static_cast<panel_tab>(tabs_->currentIndex());
}

void main_dialog::format_chosen(int position) {
  // Formats without options of their own (EPS, PSD, TGA, YUV) leave the
  // panel in front as it is.
  static constexpr std::pair<int, panel_tab> kPanels[] = {
      {0, panel_tab::bmp}, {2, panel_tab::gif}, {3, panel_tab::jpeg},
      {4, panel_tab::pcl}, {5, panel_tab::pcx}, {6, panel_tab::pdf},
      {7, panel_tab::png}, {9, panel_tab::pse}, {11, panel_tab::tiff}};
  for (const auto& [code, tab] : kPanels) {
    if (code == position) {
      show_panel(tab);
    }
  }
}

QWidget* main_dialog::control(dialog_control which) const {
  switch (which) {
    case dialog_control::job_file:
      return job_file_edit_;
    case dialog_control::source_folder:
      return source_folder_edit_;
    case dialog_control::temp_folder:
      return temp_folder_edit_;
    case dialog_control::target_folder:
      return target_folder_edit_;
    case dialog_control::width:
      return width_edit_;
    case dialog_control::height:
      return height_edit_;
    case dialog_control::pcx_name:
      return pcx_name_edit_;
    case dialog_control::pdf_name:
      return pdf_name_edit_;
    case dialog_control::tif_name:
      return tif_name_edit_;
  }
  return nullptr;
}

void main_dialog::focus_control(dialog_control which) {
  QWidget* widget = control(which);
  // A control on a panel behind another cannot take the focus: bring its
  // panel forward, so the user sees the field the message is about.
  const int panel = tabs_->indexOf(widget->parentWidget());
  if (panel >= 0) {
    tabs_->setCurrentIndex(panel);
  }
  widget->setFocus(Qt::OtherFocusReason);
}

void main_dialog::carrying_dialogs::refuse(const refusal& refused) {
  if (refused.tab) {
    dialog_.show_panel(*refused.tab);
  }
  ui_.refuse(refused);
  dialog_.focus_control(refused.focus);
}

void main_dialog::carrying_dialogs::error(const std::string& message,
                                          std::optional<dialog_control> focus) {
  ui_.error(message, focus);
  if (focus) {
    dialog_.focus_control(*focus);
  }
}

// ---------------------------------------------------------------- commands

bool main_dialog::save_into_job_file() {
  const std::string path = job_file();
  if (path.empty()) {
    ui_.error(kNoJobFile, dialog_control::job_file);
    return false;
  }
  return save_job_file(values(), path, ui_, files_).saved();
}

void main_dialog::save_and_quit() {
  if (save_into_job_file()) {
    accept();
  }
}

void main_dialog::save() {
  if (save_into_job_file()) {
    ui_.information("Done.");
  }
}

QString main_dialog::pick_job_file() {
  QFileDialog dialog(this, QString::fromUtf8(kJobFileTitle));
  dialog.setObjectName(QStringLiteral("job_file_dialog"));
  // A job file is chosen among those that exist; a new one is made by typing
  // its path into the field and saving.
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QString::fromUtf8(kJobFileFilter));
  dialog.setDefaultSuffix(QStringLiteral("ini"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return QString();
  }
  return dialog.selectedFiles().constFirst();
}

void main_dialog::choose_job_file() {
  const QString chosen = pick_job_file();
  if (chosen.isEmpty()) {
    return;
  }
  job_file_edit_->setText(chosen);
  dialog_values loaded = values();
  load_job_file(job_file(), loaded, files_);
  set_values(loaded);
}

void main_dialog::save_as() {
  const QString chosen = pick_job_file();
  if (chosen.isEmpty()) {
    return;
  }
  job_file_edit_->setText(chosen);
  save();
}

void main_dialog::browse_folder(QLineEdit* field, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
  if (!folder.isEmpty()) {
    field->setText(folder);
  }
}

void main_dialog::open_program_file(const char* name) {
  // Nothing to say when the file is missing: the command just does nothing.
  (void)opener_.open(join_normalized(program_folder_, name));
}

void main_dialog::about() {
  ui_.information(std::string(kVersionText) +
                  "\n\nImages are read and written by ImageMagick " ZQ_MAGICK_VERSION
                  " (ImageMagick License, https://imagemagick.org/script/license.php).\n"
                  "The dialogs use Qt " QT_VERSION_STR
                  " (GNU Lesser General Public License version 3).");
}

// "Select...", "Launch" and "Last log": the picker and the launch of gui/core.
void main_dialog::select_files() {
  picker_dialog picker(picked_, ui_, opener_, join_normalized(program_folder_, kHelpFile),
                       source_folder_edit_->text(), this, files_);
  picker.exec();
}

void main_dialog::launch_conversion() {
  if (starter_ == nullptr) {
    process_starter_ = std::make_unique<process_starter>();
    starter_ = process_starter_.get();
  }
  const std::string job = job_file();
  zq::gui::launch_conversion(
      values(), job, picked_, ui_,
      [&](const run_settings& run) {
        processing_dialog processing(run, picked_, job, engine_path(program_folder_), *starter_,
                                     this, files_);
        processing.exec();
        return processing.not_handed_over();
      },
      files_);
}

void main_dialog::show_last_log() {
  zq::gui::show_last_log(values().temp_folder, opener_, ui_, files_);
}

}  // namespace zq::gui
