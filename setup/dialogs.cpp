// The dialogs of setup. The copying thread never waits for the progress dialog: its notices are
// queued calls into the dialog, dropped once the dialog is gone. Only its questions and error
// messages wait, for the user's answer, shown on the dialog thread.
#include "dialogs.h"

#include "setup/core/texts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace tunemill::setup {

namespace fs = std::filesystem;

namespace {

QString q(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Runs f on the dialog thread and waits for it; directly when already there.
template <typename F> void on_dialog_thread(F f) {
    if (QThread::currentThread() == qApp->thread())
        f();
    else
        QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
}

bool ask(QWidget* parent, const std::string& message, uint32_t yes_id, uint32_t no_id) {
    bool answer = false;
    on_dialog_thread([&] {
        QMessageBox box(QMessageBox::Warning, q(caption()), q(message), QMessageBox::NoButton,
                        parent);
        QPushButton* yes = box.addButton(q(text(yes_id)), QMessageBox::AcceptRole);
        box.addButton(q(text(no_id)), QMessageBox::RejectRole);
        QApplication::beep();
        box.exec();
        answer = box.clickedButton() == yes;
    });
    return answer;
}

} // namespace

void show_message(QWidget* parent, const std::string& message, bool warning) {
    on_dialog_thread([&] {
        QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, q(caption()),
                        q(message), QMessageBox::NoButton, parent);
        box.addButton(q(text(SS_OK)), QMessageBox::AcceptRole);
        box.exec();
    });
}

fs::path typed_folder(const QString& text) {
    std::string folder = text.trimmed().toStdString();
    if (folder.empty()) return {};
    if (folder == "~" || folder.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        if (home && *home) folder = std::string(home) + folder.substr(1);
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::error_code error;
    const fs::path absolute = fs::absolute(folder, error);
    return error ? fs::path(folder) : absolute.lexically_normal();
}

bool ask_yes_no(QWidget* parent, const std::string& question) {
    return ask(parent, question, SS_YES, SS_NO);
}

bool ask_ok_cancel(QWidget* parent, const std::string& prompt) {
    return ask(parent, prompt, SS_OK, SS_CANCEL);
}

// The copying thread's view of the progress dialog.
class ProgressDialog::Ui : public InstallerUi {
  public:
    explicit Ui(ProgressDialog* dialog) : dialog_(dialog) {}

    bool continue_without_space(const std::string& question) override {
        return ask_yes_no(dialog_, question);
    }
    bool insert_disk(const std::string& prompt) override { return ask_ok_cancel(dialog_, prompt); }
    void show_error(const std::string& message) override { show_message(dialog_, message, true); }
    void copying_started(uint64_t total) override {
        post([total](ProgressDialog* d) { d->set_range(total); });
    }
    void chunk_copied(uint64_t copied) override {
        post([copied](ProgressDialog* d) { d->set_position(copied); });
    }
    void file_started(const std::string& line) override {
        post([line = q(line)](ProgressDialog* d) { d->set_line(line); });
    }
    void done() override {
        post([](ProgressDialog* d) { d->reject(); });
    }

  private:
    template <typename F> void post(F f) {
        // A queued call into a dialog that has ended is dropped by Qt with the dialog.
        QPointer<ProgressDialog> dialog = dialog_;
        if (dialog)
            QMetaObject::invokeMethod(
                dialog,
                [dialog, f] {
                    if (dialog) f(dialog.data());
                },
                Qt::QueuedConnection);
    }
    QPointer<ProgressDialog> dialog_;
};

ProgressDialog::ProgressDialog(InstallJob job, QWidget* parent)
    : QDialog(parent), job_(std::move(job)) {
    setWindowTitle(q(text(SS_COPYING_FILES, CAPTION_LIMIT)));
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 0);
    bar_->setTextVisible(false);
    line_ = new QLabel(this);
    line_->setMinimumWidth(420);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(q(text(SS_CANCEL)), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(bar_);
    layout->addWidget(line_);
    layout->addWidget(buttons);
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::set_range(uint64_t total) {
    bar_->setRange(0, int(std::min<uint64_t>(total / 1024, INT32_MAX)));
}
void ProgressDialog::set_position(uint64_t copied) {
    bar_->setValue(int(std::min<uint64_t>(copied / 1024, INT32_MAX)));
}
void ProgressDialog::set_line(const QString& line) {
    line_->setText(line);
}

bool ProgressDialog::run() {
    Ui ui(this);
    Installer installer(job_, ui);
    std::atomic<bool> finished{false};
    std::thread copying([&] {
        installer.run();
        finished = true;
    });
    exec();
    // The user's Cancel stops the copy, which then deletes what it copied. The thread may still
    // be asking a question, so the dialog thread keeps answering events until it has ended.
    installer.abort();
    while (!finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    copying.join();
    return installer.completed();
}

FolderDialog::FolderDialog(InstallJob job, std::vector<GroupPlace> group_places, QWidget* parent)
    : QDialog(parent), job_(std::move(job)), group_places_(std::move(group_places)) {
    setObjectName("TunemillSetup");
    setWindowTitle(q(caption()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(q(text(SS_ENTER_FOLDER)), this));
    folder_edit_ = new QLineEdit(QString::fromStdString(job_.folder.string()), this);
    folder_edit_->setMinimumWidth(360);
    layout->addWidget(folder_edit_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(q(text(SS_OK)), QDialogButtonBox::AcceptRole);
    buttons->addButton(q(text(SS_CANCEL)), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &FolderDialog::start);
    connect(buttons, &QDialogButtonBox::rejected, this, &FolderDialog::reject);
    layout->addWidget(buttons);
}

void FolderDialog::reject() {
    if (!started_) QDialog::reject();
}

void FolderDialog::start() {
    if (started_) return;
    const fs::path folder = typed_folder(folder_edit_->text());
    if (folder.empty()) return;
    started_ = true;
    InstallJob job = job_;
    job.folder = folder;
    ProgressDialog progress(job, this);
    completed_ = progress.run();
    if (completed_) {
        group_folder_ = create_program_group(job.folder, group_places_);
        if (!group_folder_) show_message(this, text(SS_PROGRAM_GROUP_FAILED, CAPTION_LIMIT), true);
    }
    done(completed_ ? Accepted : Rejected);
}

} // namespace tunemill::setup
