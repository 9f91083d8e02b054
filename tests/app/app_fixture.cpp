// The shared fixture of the composer tests.
#include "app_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <random>
#include <sndfile.h>

#include "app/document/song_paths.h"
#include "foundation/string_table.h"
#include "settings/settings.h"

namespace tunemill::test {

QApplication& application() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* made = new QApplication(argc, argv);
        made->setQuitOnLastWindowClosed(false);
        return made;
    }();
    return *app;
}

void AppTest::SetUp() {
    application();
    std::random_device random;
    dir_ = std::filesystem::temp_directory_path() / ("tmw-test-" + std::to_string(random()));
    std::filesystem::create_directories(dir_);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_.string()));
    // Recovery files of one test are never offered to another.
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString((dir_ / "state").string()));
    set_language(Language::ENGLISH);
    // Whatever an earlier test left in the process-wide settings is gone.
    settings() = Settings{};
    // A box nobody expected would wait for an answer forever: it fails the test instead.
    watchdog_ = new QTimer;
    QObject::connect(watchdog_, &QTimer::timeout, watchdog_, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible()) {
                ADD_FAILURE() << "unexpected message box: " << box->text().toStdString();
                box->done(QMessageBox::Cancel);
            }
        }
    });
    watchdog_->start(3000);
}

void AppTest::TearDown() {
    delete watchdog_;
    set_language(Language::ENGLISH);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void when_modal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(&application());
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, act] {
        QWidget* modal = QApplication::activeModalWidget();
        // The window system activates a shown window a little later (asynchronously on the
        // offscreen platform); a user meets the box once it is active and has its focus.
        ++*tries;
        if (modal && modal->isVisible() && (modal->isActiveWindow() || *tries > 100)) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (*tries > 500) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window came up";
        }
    });
    timer->start(10);
}

void answer_box(int button, QString* text) {
    when_modal([button, text](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box) {
            ADD_FAILURE() << "expected a message box, got " << widget->metaObject()->className();
            widget->close();
            return;
        }
        if (text) *text = box->text();
        box->button(QMessageBox::StandardButton(button))->click();
    });
}

void answer_file_dialog(const QString& path, int filter_index,
                        std::function<void(QWidget*)> before_accept) {
    when_modal([path, filter_index, before_accept](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog) {
            ADD_FAILURE() << "expected a file dialog, got " << widget->metaObject()->className();
            widget->close();
            return;
        }
        if (filter_index >= 0) {
            // As the user picks it: through the dialog's list of file types.
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            if (types) {
                types->setCurrentIndex(filter_index);
                emit types->activated(filter_index);
                emit types->textActivated(types->itemText(filter_index));
            } else
                ADD_FAILURE() << "the file dialog has no list of file types";
        }
        if (before_accept) before_accept(dialog);
        dialog->selectFile(path);
        // As typed: the name field holds exactly the name (the dialog may still be filling in
        // its proposal while the folder loads).
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

std::vector<QString> error_boxes_during(const std::function<void()>& run) {
    auto texts = std::make_shared<std::vector<QString>>();
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [texts] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && box->objectName() == QStringLiteral("ErrorBox")) {
                texts->push_back(box->text());
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    timer->start(10);
    run();
    QApplication::processEvents();
    delete timer;
    return *texts;
}

DecodedSound decode_sound(const std::filesystem::path& path) {
    DecodedSound out;
    SF_INFO info{};
    SNDFILE* sound = sf_open(path.c_str(), SFM_READ, &info);
    if (!sound) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return out;
    }
    out.samples.resize(size_t(info.frames) * size_t(info.channels));
    EXPECT_EQ(sf_readf_short(sound, out.samples.data(), info.frames), info.frames);
    sf_close(sound);
    out.format = info.format;
    out.channels = info.channels;
    out.rate = info.samplerate;
    return out;
}

std::vector<uint8_t> tiny_mod() {
    std::vector<uint8_t> mod(1084 + 1024, 0);
    const char title[] = "tiny tune";
    std::copy(title, title + sizeof title - 1, mod.begin());
    // Sample 1: 1000 words of a square wave, full volume, looped over its whole length.
    uint8_t* sample = &mod[20];
    const char name[] = "square";
    std::copy(name, name + sizeof name - 1, sample);
    const uint16_t words = 1000;
    sample[22] = uint8_t(words >> 8);
    sample[23] = uint8_t(words);
    sample[25] = 64;
    sample[28] = uint8_t(words >> 8);
    sample[29] = uint8_t(words);
    mod[950] = 1; // one order
    mod[951] = 127;
    mod[952] = 0; // pattern 0
    std::copy_n("M.K.", 4, &mod[1080]);
    // Notes on channel 0 every 8 rows: C-2 (period 428) and G-2 (period 285), sample 1.
    for (int row = 0; row < 64; row += 8) {
        const uint16_t period = (row / 8) % 2 ? 285 : 428;
        uint8_t* cell = &mod[1084 + size_t(row) * 16];
        cell[0] = uint8_t(period >> 8);
        cell[1] = uint8_t(period);
        cell[2] = 0x10;
    }
    for (int i = 0; i < words * 2; ++i)
        mod.push_back((i / 16) % 2 ? 0x40 : 0xC0);
    return mod;
}

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace tunemill::test

// The font library keeps caches for the life of the process and never frees them; that is not
// ours to fix, so the leak checker of sanitizer builds is told to ignore it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
