// The message box behind show_error. Errors are shown on the user-interface thread; an error
// reported from another thread (the WAV export worker) is handed over to it and waited for, so
// its box still comes up over the active window.
#include "app/common/error_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"

namespace tunemill {

void show_error_box(const QString& text) {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(PRODUCT_NAME), text, QMessageBox::Ok,
                    owner);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void show_load_error_box(const std::string& path) {
    const std::string text = current_error_text();
    show_error_box(
        QString::fromUtf8(format_message(load_string(S_LOAD_FAILED_IN_FILE), {path, text})));
}

void report_in_error_box(const ERROR& error) {
    show_error(error);
}

void install_error_box() {
    set_error_display([](const std::string&, const std::string& text) {
        const QString message = QString::fromUtf8(text);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        if (QThread::currentThread() == app->thread()) {
            show_error_box(message);
        } else {
            QMetaObject::invokeMethod(
                app, [message] { show_error_box(message); }, Qt::BlockingQueuedConnection);
        }
    });
}

} // namespace tunemill
