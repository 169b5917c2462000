#include "gui/message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace zq::gui {
namespace {

struct seen_box {
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QMessageBox::StandardButtons buttons;
};

// Reads the next message box and closes it with `answer`.
void answer_next_box(seen_box& seen, QMessageBox::StandardButton answer) {
  QTimer::singleShot(0, [&seen, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = {box->windowTitle(), box->icon(), box->text(), box->standardButtons()};
    box->button(answer)->click();
  });
}

TEST(MessageBoxes, EachKindWithItsTitleIconAndButtons) {
  message_boxes boxes;
  const struct {
    const char* name;
    std::function<bool()> show;
    QMessageBox::StandardButton answer;
    seen_box expected;
    bool result;
  } cases[] = {
      {"refusal",
       [&] {
         boxes.refuse({"Please choose a source folder", dialog_control::source_folder, {}});
         return false;
       },
       QMessageBox::Ok,
       {"Zembrit_Quarnel", QMessageBox::Warning, "Please choose a source folder", QMessageBox::Ok},
       false},
      {"error",
       [&] {
         boxes.error("Cannot write /a<b>/job.ini: the file is read-only", std::nullopt);
         return false;
       },
       QMessageBox::Ok,
       {"Zembrit_Quarnel", QMessageBox::Critical,
        "Cannot write /a<b>/job.ini: the file is read-only", QMessageBox::Ok},
       false},
      {"information",
       [&] {
         boxes.information("Done.");
         return false;
       },
       QMessageBox::Ok,
       {"Zembrit_Quarnel", QMessageBox::Information, "Done.", QMessageBox::Ok},
       false},
      {"question yes",
       [&] { return boxes.question("/x does not exists."); },
       QMessageBox::Yes,
       {"Zembrit_Quarnel", QMessageBox::Question, "/x does not exists.",
        QMessageBox::Yes | QMessageBox::No},
       true},
      {"question no",
       [&] { return boxes.question("/x does not exists."); },
       QMessageBox::No,
       {"Zembrit_Quarnel", QMessageBox::Question, "/x does not exists.",
        QMessageBox::Yes | QMessageBox::No},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    seen_box seen;
    answer_next_box(seen, c.answer);
    EXPECT_EQ(c.show(), c.result);
    EXPECT_EQ(seen.title, c.expected.title);
    EXPECT_EQ(seen.icon, c.expected.icon);
    EXPECT_EQ(seen.text, c.expected.text);
    EXPECT_EQ(seen.buttons, c.expected.buttons);
  }
  // A declined question has said everything: its refusal shows no box.
  QTimer::singleShot(0, [] { EXPECT_EQ(QApplication::activeModalWidget(), nullptr); });
  boxes.refuse({"", dialog_control::temp_folder, {}});
  QApplication::processEvents();
}

}  // namespace
}  // namespace zq::gui
