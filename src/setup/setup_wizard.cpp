#include "setup/setup_wizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWizardPage>
#include <array>

#include "common/version.h"

namespace zq::setup {
namespace {

// Each page's own caption, shown in the title bar while it is the current
// page. The spellings are the wizard's own.
constexpr std::array<const char*, 5> kPageCaptions = {
    "Zembrit_Quarnell  -  Setup",    "Zembrit  -  Setup",
    "Zembrit  -  Install",           "Zembrit  -  Setup",
    "Zembrit  -  Install          ",
};

constexpr const char* kBrowseTitle = "Select the install folder:";

// The pictures beside the pages, in the sizes the pages were drawn around.
constexpr QSize kWelcomePictureSize(120, 258);
constexpr QSize kSidePictureSize(127, 251);
constexpr int kItemIconSize = 32;
constexpr QSize kWizardSize(560, 380);

// A picture drawn for the device pixels of `widget`'s screen, so that it
// stays sharp at every scale.
QPixmap picture(const QWidget* widget, const QString& resource, QSize logical) {
  const qreal ratio = widget->devicePixelRatioF();
  QImage image(resource);
  image = image.scaled(logical * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

QLabel* text_label(const QString& text, const char* name) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A page with its picture on the left and `column` on the right.
QVBoxLayout* picture_page(QWizardPage* page, const QString& resource, QSize size) {
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(0, 0, 0, 0);
  auto* side = new QLabel;
  side->setObjectName("side_picture");
  side->setPixmap(picture(page, resource, size));
  side->setFixedSize(size);
  row->addWidget(side, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  row->addLayout(column, 1);
  return column;
}

class welcome_page final : public QWizardPage {
 public:
  welcome_page() {
    QVBoxLayout* column = picture_page(this, ":/setup/welcome.png", kWelcomePictureSize);
    auto* title =
        text_label(QStringLiteral("Zembrit_Quarnel\n\nVersion %1").arg(kVersion), "welcome_title");
    title->setFont(make_wizard_font(wizard_font::welcome, logicalDpiY()));
    column->addWidget(title);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);
    column->addWidget(
        text_label("Welcome to the Zembrit_Quarnel Setup program.\n"
                   "This program will install Zembrit_Quarnel on your computer.",
                   "welcome_text"));
    column->addWidget(text_label(
        "It is strongly recommended that you exit all Windows programs before running this "
        "Setup program.",
        "welcome_advice"));
    column->addStretch(1);
    column->addWidget(
        text_label("Click Next to continue the installation or Cancel to exit.", "welcome_hint"));
  }
};

}  // namespace

class destination_page final : public QWizardPage {
 public:
  explicit destination_page(setup_wizard& wizard) : wizard_(wizard) {
    QVBoxLayout* column = picture_page(this, ":/setup/side.png", kSidePictureSize);
    column->addWidget(
        text_label("Setup will install Zembrit in the following directory.\n\n"
                   "To install to this directory click Next\n\n"
                   "To install to a different directory click Browse and select another directory.",
                   "destination_text"));
    column->addStretch(1);
    auto* box = new QGroupBox("&Destination Directory");
    box->setObjectName("destination_box");
    auto* row = new QHBoxLayout(box);
    // Shown, selectable and focusable, never typed into: Browse chooses.
    folder_ = new QLineEdit;
    folder_->setObjectName("destination_folder");
    folder_->setReadOnly(true);
    folder_->setAccessibleName("Destination folder");
    row->addWidget(folder_, 1);
    auto* browse = new QPushButton("Browse...");
    browse->setObjectName("browse_button");
    row->addWidget(browse);
    column->addWidget(box);
    connect(browse, &QPushButton::clicked, this, &destination_page::browse);
  }

  void initializePage() override {
    wizard_.destination_.clear();
    folder_->setText(from_path(default_install_folder(wizard_.context_.environment)));
  }

  bool validatePage() override {
    wizard_.destination_ = to_path(folder_->text());
    const destination_answer answer =
        check_destination(wizard_.context_.fs, wizard_.destination_, wizard_.context_.edges);
    if (!answer.accepted) {
      if (answer.beep) {
        wizard_.context_.edges.beep();
      }
      if (answer.message) {
        wizard_.context_.edges.show(&wizard_, *answer.message);
      }
      folder_->setFocus();
      return false;
    }
    wizard_.destination_ = answer.folder;
    return true;
  }

 private:
  void browse() {
    const std::optional<std::string> chosen =
        wizard_.context_.edges.choose_folder(this, kBrowseTitle, to_path(folder_->text()));
    if (chosen) {
      wizard_.destination_ = *chosen;
      folder_->setText(from_path(*chosen));
    }
  }

  setup_wizard& wizard_;
  QLineEdit* folder_;
};

class options_page final : public QWizardPage {
 public:
  explicit options_page(setup_wizard& wizard) : wizard_(wizard) {
    QVBoxLayout* column = picture_page(this, ":/setup/side.png", kSidePictureSize);
    auto* title = text_label("Install options", "options_title");
    title->setFont(make_wizard_font(wizard_font::title, logicalDpiY()));
    column->addWidget(title);
    column->addSpacing(12);
    group_ = new QCheckBox("Create a group");
    group_->setObjectName("create_group");
    group_->setChecked(true);
    column->addWidget(group_);
    column->addStretch(1);
    auto* hint = text_label("Click on Next to continue install", "options_hint");
    hint->setFont(make_wizard_font(wizard_font::small, logicalDpiY()));
    column->addWidget(hint);
  }

  bool validatePage() override {
    // An unchecked box leaves the flag as the welcome page left it.
    if (group_->isChecked()) {
      wizard_.group_flag_ = 1;
    }
    return true;
  }

 private:
  setup_wizard& wizard_;
  QCheckBox* group_;
};

class ready_page final : public QWizardPage {
 public:
  explicit ready_page(setup_wizard& wizard) : wizard_(wizard) {
    QVBoxLayout* column = picture_page(this, ":/setup/side.png", kSidePictureSize);
    title_ = text_label("You are now ready to install Zembrit.", "ready_title");
    column->addWidget(title_);
    box_ = new QGroupBox;
    box_->setObjectName("ready_box");
    auto* inside = new QVBoxLayout(box_);
    destination_ = text_label(QString(), "ready_destination");
    inside->addWidget(destination_);
    inside->addStretch(1);
    group_ = text_label("Create a group Zembrit_Quarnel", "ready_group");
    inside->addWidget(group_);
    inside->addStretch(1);
    column->addWidget(box_, 1);
    hint_ = text_label("Click Next to copy.", "ready_hint");
    column->addWidget(hint_);
  }

  // Filled once: the choices before this page are final.
  void initializePage() override {
    destination_->setText(from_path(wizard_.destination_));
    group_->setVisible(wizard_.group_flag_ == 1);
  }

  bool validatePage() override {
    for (QWidget* shown :
         {static_cast<QWidget*>(title_), static_cast<QWidget*>(hint_), static_cast<QWidget*>(box_),
          static_cast<QWidget*>(destination_), static_cast<QWidget*>(group_)}) {
      shown->hide();
    }
    return wizard_.install(this);
  }

 private:
  setup_wizard& wizard_;
  QLabel* title_;
  QGroupBox* box_;
  QLabel* destination_;
  QLabel* group_;
  QLabel* hint_;
};

namespace {

class finish_page final : public QWizardPage {
 public:
  finish_page() {
    QVBoxLayout* column = picture_page(this, ":/setup/side.png", kSidePictureSize);
    column->addWidget(text_label("The installation of Zembrit_Quarnel is now finished.\n"
                                 "The following icons have been created:",
                                 "finish_text"));
    items_ = new QWidget;
    items_->setObjectName("finish_items");
    auto* grid = new QGridLayout(items_);
    // The items the menu group holds.
    const std::array<std::pair<const char*, const char*>, 3> items = {{
        {":/setup/zembrit-quarnel.png", "Zembrit_Quarnel"},
        {":/setup/quarnel-gui.png", "Setup"},
        {":/setup/help.png", "Help"},
    }};
    int row = 0;
    for (const auto& [icon, label] : items) {
      auto* picture_label = new QLabel;
      picture_label->setPixmap(picture(this, icon, QSize(kItemIconSize, kItemIconSize)));
      grid->addWidget(picture_label, row, 0);
      grid->addWidget(text_label(label, "finish_item"), row, 1);
      ++row;
    }
    grid->setColumnStretch(1, 1);
    column->addWidget(items_);
    kept_ = text_label(QString(), "finish_kept_settings");
    column->addWidget(kept_);
    column->addStretch(1);
  }

  void show_outcome(bool group_created, const std::string& kept_settings) {
    // The page's text stays as it is; the items are listed only when the
    // group that holds them was made.
    items_->setVisible(group_created);
    kept_->setText(kept_settings.empty()
                       ? QString()
                       : "Your earlier settings were kept in " + from_path(kept_settings));
    kept_->setVisible(!kept_settings.empty());
  }

 private:
  QWidget* items_;
  QLabel* kept_;
};

}  // namespace

int wizard_font_pixels(int logical_dpi, int n) {
  // Rounded to the nearest, halves away from zero.
  return (logical_dpi * n + 55) / 110;
}

QFont make_wizard_font(wizard_font which, int logical_dpi) {
  QFont font;
  switch (which) {
    case wizard_font::welcome:
      font.setFamilies({"MS Sans Serif", font.family()});
      font.setPixelSize(wizard_font_pixels(logical_dpi, 12));
      font.setWeight(QFont::Bold);
      break;
    case wizard_font::title:
      font.setFamilies({"Times New Roman", "Liberation Serif", "DejaVu Serif", "serif"});
      font.setStyleHint(QFont::Serif);
      font.setPixelSize(wizard_font_pixels(logical_dpi, 32));
      font.setWeight(QFont::Bold);
      font.setItalic(true);
      break;
    case wizard_font::small:
      font.setFamilies({"MS Sans Serif", font.family()});
      font.setPixelSize(wizard_font_pixels(logical_dpi, 9));
      break;
  }
  return font;
}

setup_wizard::setup_wizard(setup_context context, QWidget* parent)
    : QWizard(parent), context_(std::move(context)) {
  setObjectName("setup_wizard");
  setWizardStyle(QWizard::ClassicStyle);
  // Each page is set up once, when it is first shown, and keeps what it
  // shows when the user goes back.
  setOptions(QWizard::IndependentPages | QWizard::NoBackButtonOnStartPage);
  setWindowTitle(kWizardCaption);
  setWindowIcon(QIcon(":/setup/zembrit-setup.png"));
  setPage(kWelcomePage, new welcome_page);
  setPage(kDestinationPage, new destination_page(*this));
  setPage(kOptionsPage, new options_page(*this));
  setPage(kReadyPage, new ready_page(*this));
  setPage(kFinishPage, new finish_page);
  connect(this, &QWizard::currentIdChanged, this, &setup_wizard::page_activated);
  // Sized by hand: a window sized by its layout alone is capped at a part of
  // the screen, which cuts the pages short on a small or scaled screen.
  resize(minimumSizeHint().expandedTo(kWizardSize));
}

void setup_wizard::page_activated(int id) {
  if (id < 0) {
    return;
  }
  setWindowTitle(kPageCaptions.at(static_cast<std::size_t>(id)));
  QList<QWizard::WizardButton> buttons = {QWizard::Stretch};
  if (id == kDestinationPage || id == kOptionsPage || id == kFinishPage) {
    buttons << QWizard::BackButton;
  }
  buttons << (id == kFinishPage ? QWizard::FinishButton : QWizard::NextButton)
          << QWizard::CancelButton;
  setButtonLayout(buttons);
  if (id == kWelcomePage) {
    group_flag_ = 0;
    setWindowIcon(QIcon(":/setup/zembrit-setup.png"));
    center_on_screen();
  }
  if (id == kFinishPage) {
    static_cast<finish_page*>(page(kFinishPage))->show_outcome(group_flag_ == 1, kept_settings_);
  }
}

void setup_wizard::center_on_screen() {
  const QScreen* shown_on = screen();
  if (shown_on == nullptr) {
    return;
  }
  // Before the first show there is no frame to measure yet.
  const QSize size = isVisible() ? frameGeometry().size() : this->size();
  const QRect area = shown_on->geometry();
  move(area.x() + (area.width() - size.width()) / 2,
       area.y() + (area.height() - size.height()) / 2);
}

bool setup_wizard::install(QWidget* page) {
  button(QWizard::NextButton)->setEnabled(false);
  button(QWizard::CancelButton)->setEnabled(false);
  page->repaint();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const installation_request request{context_.source_folder, destination_, group_flag_ == 1,
                                     menu_folders_for(context_.environment)};
  const installation_outcome outcome =
      run_installation(context_.fs, request, [page](const std::string&) { page->repaint(); });
  QApplication::restoreOverrideCursor();
  button(QWizard::NextButton)->setEnabled(true);
  button(QWizard::CancelButton)->setEnabled(true);
  if (!outcome.completed()) {
    // The failure boxes stand on their own, centred on the screen.
    context_.edges.show(nullptr, outcome.failure->box);
    hide();
    end_program(outcome.failure->exit_code);
    return false;
  }
  // A second run from the ready page finds the default already in place; the
  // settings the first run kept are still where it said.
  if (!outcome.kept_settings.empty()) {
    kept_settings_ = outcome.kept_settings;
  }
  return true;
}

void setup_wizard::accept() {
  QWizard::accept();
  end_program(1);
}

void setup_wizard::reject() {
  if (exit_code_ != -1) {
    return;
  }
  const int id = currentId();
  // The finish page is only reached by a complete installation: its Cancel
  // closes the wizard as Finish does and claims no failure.
  if (id == kFinishPage) {
    QWizard::reject();
    end_program(1);
    return;
  }
  context_.edges.show(nullptr, failure_box());
  if (id == kWelcomePage || id == kDestinationPage) {
    QWizard::reject();
    end_program(1);
    return;
  }
  hide();
  end_program(kExitCodeAfterFailure);
}

void setup_wizard::end_program(int exit_code) {
  if (exit_code_ != -1) {
    return;
  }
  exit_code_ = exit_code;
  emit program_ended(exit_code);
}

}  // namespace zq::setup
