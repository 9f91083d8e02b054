// setup's dialogs: the folder dialog, the progress dialog with its copying thread, and the
// message boxes, all with texts from setup's own string table.
#pragma once

#include <QDialog>

#include <filesystem>
#include <optional>

#include "setup/core/installer.h"
#include "setup/core/registration.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace tunemill::setup {

// The folder as the user typed it: blanks around it and a trailing '/' dropped, a leading "~"
// meaning the home folder, and a relative folder taken from the current one, so that the folder
// recorded for the uninstaller is always absolute. Empty when nothing was typed.
std::filesystem::path typed_folder(const QString& text);

// A message box with setup's caption and buttons in the current language.
void show_message(QWidget* parent, const std::string& message, bool warning);
bool ask_yes_no(QWidget* parent, const std::string& question);
bool ask_ok_cancel(QWidget* parent, const std::string& prompt);

// "Copying files": a bar, the "Copying %s" line and Cancel. Runs the copying thread while open.
class ProgressDialog : public QDialog {
    Q_OBJECT
  public:
    ProgressDialog(InstallJob job, QWidget* parent = nullptr);
    ~ProgressDialog() override;
    // Shows the dialog and copies; returns once the dialog has ended and the thread has finished.
    // True when the installation completed.
    bool run();

    void set_range(uint64_t total_bytes);
    void set_position(uint64_t copied_bytes);
    void set_line(const QString& line);

  private:
    class Ui;
    InstallJob job_;
    QProgressBar* bar_;
    QLabel* line_;
};

// "Tunemill Setup": the folder to install into, OK and Cancel. On OK it runs the progress dialog
// and, after a completed copy, makes the program group.
class FolderDialog : public QDialog {
    Q_OBJECT
  public:
    FolderDialog(InstallJob job, std::vector<GroupPlace> group_places, QWidget* parent = nullptr);
    bool completed() const { return completed_; }
    const std::optional<std::filesystem::path>& group_folder() const { return group_folder_; }

  protected:
    void reject() override;

  private:
    void start();

    InstallJob job_;
    std::vector<GroupPlace> group_places_;
    QLineEdit* folder_edit_;
    bool started_ = false;
    bool completed_ = false;
    std::optional<std::filesystem::path> group_folder_;
};

} // namespace tunemill::setup
