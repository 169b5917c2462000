// A wizard driven through its buttons, for the installer's tests (the
// QApplication is the test main's).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <memory>

#include "common/paths.h"
#include "core/setup_test_support.h"
#include "platform/file_system.h"
#include "scripted_edges.h"
#include "setup/setup_wizard.h"

namespace zq::setup {

// One wizard over a scratch folder: the installer's folder is <scratch>/setup,
// the home folder <scratch>/home.
struct driven_wizard {
  scratch_folder scratch;
  scripted_edges edges;
  std::unique_ptr<setup_wizard> wizard;
  std::vector<int> endings;  // what program_ended said

  explicit driven_wizard(std::optional<user_environment> environment = std::nullopt) {
    user_environment user;
    user.home = scratch / "home";
    wizard = std::make_unique<setup_wizard>(setup_context{
        platform::real_file_system(), edges, scratch / "setup/", environment.value_or(user)});
    QObject::connect(wizard.get(), &setup_wizard::program_ended,
                     [this](int code) { endings.push_back(code); });
    wizard->show();
  }

  template <typename T = QWidget>
  T* find(const char* name) const {
    T* found = wizard->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void press(QWizard::WizardButton which) { wizard->button(which)->click(); }
  // From the welcome page to `page`, answering Yes to a question about the
  // folder and leaving "Create a group" as `group`.
  void go_to(int page, bool group = true) {
    edges.answers.push_back(true);
    while (wizard->currentId() < page) {
      if (wizard->currentId() == kOptionsPage) find<QCheckBox>("create_group")->setChecked(group);
      const int before = wizard->currentId();
      press(QWizard::NextButton);
      if (wizard->currentId() == before) {
        ADD_FAILURE() << "stuck on page " << before;
        return;
      }
    }
  }
};

}  // namespace zq::setup
