#include "gui/picker_dialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "gui/window_helpers.h"

namespace zq::gui {
namespace {

constexpr const char* kPickerTitle = "Zembrit_Quarnel - Select TIFF files";
constexpr const char* kFileTypes = "TIFF files (*.tif, *.tiff)";
constexpr const char* kListLabel = "Fichiers s\xc3\xa9lectionn\xc3\xa9s:";
constexpr int kColumnWidths[] = {295, 95, 105};
constexpr const char* kColumnTitles[] = {"File", "Size", "Date"};

QString from_path(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string to_path(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The two add buttons have no standard picture: a folder with a plus sign,
// and for the walk through subfolders a second folder behind it.
QIcon add_folder_icon(bool with_subfolders) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const auto folder = [&](qreal x, qreal y, const QColor& fill) {
    QPainterPath shape;
    shape.moveTo(x, y + 4);
    shape.lineTo(x + 7, y + 4);
    shape.lineTo(x + 9, y + 7);
    shape.lineTo(x + 20, y + 7);
    shape.lineTo(x + 20, y + 20);
    shape.lineTo(x, y + 20);
    shape.closeSubpath();
    painter.setPen(QPen(QColor(0x8a, 0x6a, 0x10), 1.5));
    painter.setBrush(fill);
    painter.drawPath(shape);
  };
  if (with_subfolders) {
    folder(9, 0, QColor(0xf0, 0xd0, 0x70));
  }
  folder(2, with_subfolders ? 6 : 4, QColor(0xf6, 0xc8, 0x4c));
  painter.setPen(QPen(QColor(0x1a, 0x7f, 0x2a), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(24, 20), QPointF(24, 30));
  painter.drawLine(QPointF(19, 25), QPointF(29, 25));
  return QIcon(pixmap);
}

// A question mark in a blue disc: the styles' own help pictures vary too
// much to tell apart from Close in a row of small buttons.
QIcon help_icon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x2a, 0x6f, 0xc9));
  painter.drawEllipse(QRectF(2, 2, 28, 28));
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(22);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
  return QIcon(pixmap);
}

// The folders from the root down to `folder`, for the look-in box.
QStringList folder_chain(const QString& folder) {
  QStringList chain;
  QDir dir(folder);
  for (;;) {
    chain.prepend(dir.absolutePath());
    if (dir.isRoot() || !dir.cdUp()) {
      return chain;
    }
  }
}

}  // namespace

int picked_rows_model::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int picked_rows_model::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant picked_rows_model::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) {
    return {};
  }
  const picked_file_entry& entry = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (static_cast<picked_column>(index.column())) {
      case picked_column::file:
        return from_path(entry.path);
      case picked_column::size:
        return QString::number(entry.size);
      case picked_column::date:
        return QString::fromStdString(entry.date);
    }
  }
  if (role == Qt::TextAlignmentRole) {
    const Qt::Alignment horizontal =
        index.column() == static_cast<int>(picked_column::size) ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant::fromValue(horizontal | Qt::AlignVCenter);
  }
  return {};
}

QVariant picked_rows_model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section >= 0 && section < 3) {
    if (role == Qt::DisplayRole) {
      return QString::fromLatin1(kColumnTitles[section]);
    }
    if (role == Qt::TextAlignmentRole) {
      const Qt::Alignment horizontal = section == 1 ? Qt::AlignRight : Qt::AlignLeft;
      return QVariant::fromValue(horizontal | Qt::AlignVCenter);
    }
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

void picked_rows_model::sort(int column, Qt::SortOrder) {
  if (column < 0 || column > 2) {
    return;
  }
  emit layoutAboutToBeChanged();
  rows_.sort(static_cast<picked_column>(column));
  emit layoutChanged();
}

picker_dialog::picker_dialog(picked_file_list& picked, user_dialogs& ui, desktop_opener& opener,
                             std::string help_path, const QString& initial_folder, QWidget* parent,
                             platform::file_system& files)
    : QDialog(parent),
      picker_(picked, &rows_, files),
      ui_(ui),
      opener_(opener),
      help_path_(std::move(help_path)),
      files_(files) {
  // Every opening starts afresh.
  picked.clear();
  setObjectName(QStringLiteral("picker_dialog"));
  setWindowTitle(QString::fromLatin1(kPickerTitle));
  build();
  show_folder(QFileInfo(initial_folder).isDir() ? initial_folder : QDir::homePath(), false);
  // Wide enough for the list's three columns side by side.
  resize(sizeHint().expandedTo(QSize(560, 560)));
  center_window(*this);
}

void picker_dialog::build() {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(build_toolbars());

  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  layout->addWidget(separator);

  auto* boxes = new QGridLayout();
  look_in_ = new QComboBox(this);
  look_in_->setObjectName(QStringLiteral("look_in"));
  look_in_->setEditable(true);
  look_in_->setInsertPolicy(QComboBox::NoInsert);
  look_in_->setMinimumWidth(200);
  auto* look_in_label = new QLabel(QStringLiteral("Look &in:"), this);
  look_in_label->setBuddy(look_in_);
  auto* types = new QComboBox(this);
  types->setObjectName(QStringLiteral("file_types"));
  types->addItem(QString::fromLatin1(kFileTypes));
  auto* types_label = new QLabel(QStringLiteral("Files of &type:"), this);
  types_label->setBuddy(types);
  boxes->addWidget(look_in_label, 0, 0);
  boxes->addWidget(types_label, 0, 1);
  boxes->addWidget(look_in_, 1, 0);
  boxes->addWidget(types, 1, 1);
  boxes->setColumnStretch(0, 3);
  boxes->setColumnStretch(1, 2);
  layout->addLayout(boxes);
  connect(look_in_, &QComboBox::activated, this,
          [this](int index) { show_folder(look_in_->itemText(index), true); });
  connect(look_in_->lineEdit(), &QLineEdit::returnPressed, this, [this] {
    const QString typed = look_in_->currentText();
    if (QFileInfo(typed).isDir()) {
      show_folder(typed, true);
    }
  });

  folders_ = new QFileSystemModel(this);
  folders_->setObjectName(QStringLiteral("folder_model"));
  folders_->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  folders_->setNameFilters({QStringLiteral("*.tif"), QStringLiteral("*.tiff")});
  folders_->setNameFilterDisables(false);
  folders_->setReadOnly(true);
  folder_view_ = new QTreeView(this);
  folder_view_->setObjectName(QStringLiteral("folder_view"));
  folder_view_->setAccessibleName(QStringLiteral("Folder"));
  folder_view_->setModel(folders_);
  folder_view_->setRootIsDecorated(false);
  folder_view_->setItemsExpandable(false);
  folder_view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  folder_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  folder_view_->setSortingEnabled(true);
  folder_view_->sortByColumn(0, Qt::AscendingOrder);
  folder_view_->setColumnWidth(0, 200);
  // Every entry is a TIFF file or a folder, which the icons tell apart: the
  // type column goes, so the dates have room.
  folder_view_->hideColumn(2);
  folder_view_->setMinimumHeight(180);
  connect(folder_view_, &QTreeView::activated, this, &picker_dialog::folder_activated);
  layout->addWidget(folder_view_, 3);

  auto* label_row = new QHBoxLayout();
  auto* list_label = new QLabel(QString::fromUtf8(kListLabel), this);
  list_label->setObjectName(QStringLiteral("list_label"));
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("count"));
  count_->setAccessibleName(QStringLiteral("Number of selected files"));
  label_row->addWidget(list_label);
  label_row->addSpacing(16);
  label_row->addWidget(count_);
  label_row->addStretch();
  layout->addLayout(label_row);

  model_ = new picked_rows_model(rows_, this);
  list_ = new QTableView(this);
  list_->setObjectName(QStringLiteral("picked_list"));
  list_->setAccessibleName(QString::fromUtf8(kListLabel));
  list_label->setBuddy(list_);
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->setShowGrid(true);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->horizontalHeader()->setSectionsClickable(true);
  list_->horizontalHeader()->setStretchLastSection(true);
  for (int column = 0; column < 3; ++column) {
    list_->setColumnWidth(column, kColumnWidths[column]);
  }
  list_->setMinimumHeight(150);
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    list_->horizontalHeader()->setSortIndicatorShown(true);
    list_->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    model_->sort(column);
  });
  // Delete acts on the list alone: in the folder view it must never touch
  // the files themselves.
  list_->installEventFilter(this);
  layout->addWidget(list_, 2);

  setTabOrder(look_in_, types);
  setTabOrder(types, folder_view_);
  setTabOrder(folder_view_, list_);
}

QWidget* picker_dialog::build_toolbars() {
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("picker_toolbar"));
  bar->setIconSize(QSize(20, 20));
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const auto command = [&](const char* name, const QString& text, const QIcon& icon) {
    QAction* action = bar->addAction(icon, text);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(text);
    // Icon-only buttons: screen readers read the accessible name.
    if (QWidget* button = bar->widgetForAction(action)) {
      button->setObjectName(QString::fromLatin1(name) + QStringLiteral("_button"));
      button->setAccessibleName(text);
    }
    return action;
  };
  QStyle* look = style();

  // The folder view's own commands come first, as in the platform's dialog.
  back_action_ = command("back", QStringLiteral("Back"), look->standardIcon(QStyle::SP_ArrowBack));
  connect(back_action_, &QAction::triggered, this, &picker_dialog::go_back);
  connect(command("up", QStringLiteral("Up one level"),
                  look->standardIcon(QStyle::SP_FileDialogToParent)),
          &QAction::triggered, this, &picker_dialog::go_up);
  bar->addSeparator();

  connect(command("add_folder", QStringLiteral("Add folder"), add_folder_icon(false)),
          &QAction::triggered, this, [this] { add_folder(false); });
  connect(command("add_folder_tree", QStringLiteral("Add folder and subfolders"),
                  add_folder_icon(true)),
          &QAction::triggered, this, [this] { add_folder(true); });
  bar->addSeparator();
  connect(command("remove_selected", QStringLiteral("Remove selected"),
                  look->standardIcon(QStyle::SP_DialogDiscardButton)),
          &QAction::triggered, this, &picker_dialog::remove_selected);
  connect(
      command("remove_all", QStringLiteral("Remove all"), look->standardIcon(QStyle::SP_TrashIcon)),
      &QAction::triggered, this, &picker_dialog::remove_all);
  bar->addSeparator();
  grid_action_ = command("grid_lines", QStringLiteral("Grid lines"),
                         look->standardIcon(QStyle::SP_FileDialogDetailedView));
  grid_action_->setCheckable(true);
  grid_action_->setChecked(true);
  connect(grid_action_, &QAction::toggled, this, &picker_dialog::set_grid_lines);
  bar->addSeparator();
  connect(command("help", QStringLiteral("Help"), help_icon()), &QAction::triggered, this,
          [this] { (void)opener_.open(help_path_); });
  connect(
      command("close", QStringLiteral("Close"), look->standardIcon(QStyle::SP_DialogCloseButton)),
      &QAction::triggered, this, &QDialog::reject);
  connect(command("validate", QStringLiteral("Validate"),
                  look->standardIcon(QStyle::SP_DialogApplyButton)),
          &QAction::triggered, this, &picker_dialog::validate);
  return bar;
}

void picker_dialog::set_current_folder(const QString& folder) { show_folder(folder, true); }

void picker_dialog::show_folder(const QString& folder, bool remember) {
  const QString absolute = QDir(folder).absolutePath();
  if (remember && !folder_.isEmpty() && folder_ != absolute) {
    back_.append(folder_);
  }
  folder_ = absolute;
  folder_view_->setRootIndex(folders_->setRootPath(folder_));
  folder_view_->clearSelection();
  look_in_->clear();
  look_in_->addItems(folder_chain(folder_));
  look_in_->setCurrentIndex(look_in_->count() - 1);
  back_action_->setEnabled(!back_.isEmpty());
}

void picker_dialog::go_back() {
  if (!back_.isEmpty()) {
    show_folder(back_.takeLast(), false);
  }
}

void picker_dialog::go_up() {
  QDir dir(folder_);
  if (dir.cdUp()) {
    show_folder(dir.absolutePath(), true);
  }
}

void picker_dialog::folder_activated(const QModelIndex& index) {
  if (folders_->isDir(index)) {
    show_folder(folders_->filePath(index), true);
    return;
  }
  open_selection();
}

template <class Change>
void picker_dialog::change_rows(Change change) {
  model_->begin_change();
  change();
  model_->end_change();
  update_count();
}

void picker_dialog::open_selection() {
  std::vector<std::string> names;
  QModelIndexList selected = folder_view_->selectionModel()->selectedRows();
  // In the order the view shows them, whatever order they were selected in.
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  for (const QModelIndex& index : selected) {
    if (!folders_->isDir(index)) {
      names.push_back(to_path(folders_->fileName(index)));
    }
  }
  open_names(names);
}

void picker_dialog::open_names(const std::vector<std::string>& names) {
  std::vector<status> refused;
  change_rows([&] { refused = picker_.add_opened_files(to_path(folder_), names); });
  if (!refused.empty()) {
    ui_.error(reasons_text(refused));
  }
}

void picker_dialog::add_folder(bool with_subfolders) {
  // A walk over a large tree takes a moment: say so, and repaint the list
  // once at the end instead of once per file.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  change_rows([&] {
    const std::string folder = to_path(folder_);
    if (with_subfolders) {
      picker_.add_folder_tree_files(folder);
    } else {
      picker_.add_folder_files(folder);
    }
  });
  QApplication::restoreOverrideCursor();
}

void picker_dialog::remove_selected() {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
    rows.push_back(static_cast<std::size_t>(index.row()));
  }
  // The count is shown afresh even when nothing was selected.
  change_rows([&] { picker_.remove_rows(rows); });
}

void picker_dialog::remove_all() {
  change_rows([&] { picker_.remove_all(); });
}

void picker_dialog::set_grid_lines(bool on) {
  list_->setShowGrid(on);
  if (grid_action_->isChecked() != on) {
    grid_action_->setChecked(on);
  }
}

void picker_dialog::validate() {
  if (validate_picked_files(rows_, ui_, files_) == validate_result::written) {
    accept();
  }
}

bool picker_dialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    remove_selected();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void picker_dialog::update_count() { count_->setText(QString::number(rows_.size())); }

}  // namespace zq::gui
