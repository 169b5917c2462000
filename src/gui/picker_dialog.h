// The TIFF file picker: a folder view to open files from, a toolbar that
// adds whole folders, removes rows, validates or closes, and the list of the
// files picked so far with their size and date. Opening files adds them to
// the list instead of closing the dialog. The list, the walks and the list
// file are gui/core's (picked_files.h); the dialog only shows them.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QStringList>
#include <string>

#include "gui/core/desktop_opener.h"
#include "gui/core/picked_files.h"
#include "gui/core/user_dialogs.h"
#include "platform/file_system.h"

class QAction;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QModelIndex;
class QTableView;
class QTreeView;

namespace zq::gui {

// The picker's rows as a table: the view asks for the texts of the rows it
// shows, so a list of tens of thousands of files costs nothing to display.
class picked_rows_model final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit picked_rows_model(picked_rows& rows, QObject* parent = nullptr)
      : QAbstractTableModel(parent), rows_(rows) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Always ascending, whatever `order` says: every click on a header sorts
  // its column ascending again.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Around changes made to the rows behind the model's back (adds, removals).
  void begin_change() { beginResetModel(); }
  void end_change() { endResetModel(); }

 private:
  picked_rows& rows_;
};

class picker_dialog final : public QDialog {
  Q_OBJECT

 public:
  // Starts with an empty list: `picked` is emptied and filled as files are
  // added. `help_path` is the page the Help button opens. `initial_folder`
  // is shown first (the user's home folder when it is not a folder).
  picker_dialog(picked_file_list& picked, user_dialogs& ui, desktop_opener& opener,
                std::string help_path, const QString& initial_folder, QWidget* parent = nullptr,
                platform::file_system& files = platform::real_file_system());

  const picked_rows& rows() const { return rows_; }
  QString current_folder() const { return folder_; }
  void set_current_folder(const QString& folder);

  // The toolbar's commands.
  void add_folder(bool with_subfolders);
  void remove_selected();
  void remove_all();
  void set_grid_lines(bool on);
  void validate();
  // Opens the files selected in the folder view: they join the list.
  void open_selection();
  // Opens files of the current folder by name, as a selection does.
  void open_names(const std::vector<std::string>& names);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  QWidget* build_toolbars();
  void folder_activated(const QModelIndex& index);
  void go_back();
  void go_up();
  void show_folder(const QString& folder, bool remember);
  void update_count();
  // Carries out a change of the rows, telling the list around it.
  template <class Change>
  void change_rows(Change change);

  picked_rows rows_;
  file_picker picker_;
  user_dialogs& ui_;
  desktop_opener& opener_;
  std::string help_path_;
  platform::file_system& files_;

  QString folder_;
  QStringList back_;
  picked_rows_model* model_ = nullptr;
  QFileSystemModel* folders_ = nullptr;
  QTreeView* folder_view_ = nullptr;
  QTableView* list_ = nullptr;
  QComboBox* look_in_ = nullptr;
  QLabel* count_ = nullptr;
  QAction* back_action_ = nullptr;
  QAction* grid_action_ = nullptr;
};

}  // namespace zq::gui
