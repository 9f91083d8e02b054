// The category pictures: every category has a picture of its own at the sizes the windows use,
// sharp on 2x screens, greyed when disabled; the names come from the string table.
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/common/category_art.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "instruments/instrument.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

class CategoryArtTest : public test::AppTest {};

QImage picture(uint32_t category, int size, qreal ratio, QIcon::Mode mode = QIcon::Normal) {
    return category_icon(category).pixmap(QSize(size, size), ratio, mode).toImage();
}

TEST_F(CategoryArtTest, EveryCategoryHasItsOwnPictureAtEverySize) {
    for (auto [size, ratio] : {std::pair{21, 1.0}, std::pair{21, 2.0}, std::pair{32, 1.0}}) {
        std::vector<QImage> pictures;
        for (uint32_t category = 0; category <= NO_CATEGORY; ++category) {
            const QImage image = picture(category, size, ratio);
            // Drawn at the screen's own resolution, not scaled up afterwards.
            EXPECT_EQ(image.width(), qRound(size * ratio)) << category;
            EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2).alpha(), 255)
                << category;
            for (size_t other = 0; other < pictures.size(); ++other)
                EXPECT_NE(image, pictures[other])
                    << "category " << category << " looks like " << other;
            pictures.push_back(image);
        }
    }
    // A value outside the table draws as "no category" instead of reading past it.
    EXPECT_EQ(picture(200, 21, 1.0), picture(NO_CATEGORY, 21, 1.0));
}

TEST_F(CategoryArtTest, DisabledPicturesAreGrey) {
    const QImage image = picture(17, 32, 1.0, QIcon::Disabled);
    const QColor corner = image.pixelColor(4, 16);
    EXPECT_EQ(corner.red(), corner.green());
    EXPECT_EQ(corner.green(), corner.blue());
}

// Greyed, not faded away: a disabled picture covers what the enabled one covers.
TEST_F(CategoryArtTest, DisabledPicturesKeepTheirShape) {
    for (uint32_t category : {0u, 17u, NO_CATEGORY}) {
        const QImage normal = picture(category, 32, 1.0);
        const QImage disabled = picture(category, 32, 1.0, QIcon::Disabled);
        for (QPoint at : {QPoint(4, 16), QPoint(16, 16), QPoint(0, 0), QPoint(31, 31)})
            EXPECT_EQ(disabled.pixelColor(at).alpha(), normal.pixelColor(at).alpha())
                << category << " at " << at.x() << "," << at.y();
        EXPECT_EQ(disabled.pixelColor(16, 16).alpha(), 255) << category;
    }
}

TEST_F(CategoryArtTest, NamesInBothLanguages) {
    EXPECT_EQ(category_name(0), QStringLiteral("Woodwinds"));
    EXPECT_EQ(category_name(10), QStringLiteral("Pianos"));
    EXPECT_EQ(category_name(28), QStringLiteral("Sound FX"));
    EXPECT_TRUE(category_name(NO_CATEGORY).isEmpty());
    EXPECT_TRUE(category_name(1000).isEmpty());
    set_language(Language::GERMAN);
    EXPECT_NE(category_name(10), QStringLiteral("Pianos"));
    EXPECT_FALSE(category_name(28).isEmpty());
}

// The sheet of every picture at list size and large, with the marks, for a person to judge.
TEST_F(CategoryArtTest, SheetForTheEye) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    QImage sheet(15 * 76 + 10, 2 * 100 + 60, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (uint32_t category = 0; category <= NO_CATEGORY; ++category) {
        const int x = 10 + int(category % 15) * 76;
        const int y = 10 + int(category / 15) * 100;
        paint_category_icon(painter, QRectF(x, y, 64, 64), category);
        paint_category_icon(painter, QRectF(x, y + 70, 21, 21), category);
        paint_category_icon(painter, QRectF(x + 28, y + 70, 21, 21), category, false);
    }
    paint_bank_mark(painter, QRectF(10, 215, 9, 12));
    paint_bank_mark(painter, QRectF(30, 205, 24, 32));
    paint_mute_mark(painter, QRectF(70, 210, 16, 16));
    paint_mute_mark(painter, QRectF(95, 205, 32, 32));
    painter.end();
    EXPECT_TRUE(sheet.save(QString::fromStdString((shots / "category-icons.png").string())));
}

} // namespace
} // namespace tunemill
