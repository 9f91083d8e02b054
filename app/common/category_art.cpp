// Painting of the category pictures. Every glyph is drawn on a 32 x 32 grid in white over a
// rounded tile in the colour of its family (winds, keys, plucked, bowed, synths, drums, tuned
// percussion, voices and effects), scaled to the rectangle asked for.
#include "app/common/category_art.h"

#include "app/common/painted_icon.h"
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "foundation/string_table.h"
#include "foundation/text.h"
#include "instruments/instrument.h"

namespace tunemill {

namespace {

const QColor WINDS(0xd0, 0x8a, 0x1c);
const QColor KEYS(0x3a, 0x55, 0xb0);
const QColor PLUCKED(0xb0, 0x5a, 0x22);
const QColor BOWED(0x9a, 0x2a, 0x44);
const QColor SYNTHS(0x7a, 0x3c, 0xc0);
const QColor DRUMS(0xc4, 0x32, 0x2c);
const QColor TUNED(0x14, 0x8a, 0x7c);
const QColor VOICES(0x2c, 0x74, 0xb8);
const QColor EFFECTS(0x3a, 0x8c, 0x3e);
const QColor NONE(0x7c, 0x84, 0x90);

QColor family_colour(uint32_t category) {
    static const std::array<QColor, 30> colours = {
        WINDS, WINDS,  WINDS,  KEYS,   PLUCKED, PLUCKED, PLUCKED, PLUCKED, BOWED,   BOWED,
        KEYS,  SYNTHS, SYNTHS, SYNTHS, SYNTHS,  DRUMS,   DRUMS,   DRUMS,   DRUMS,   DRUMS,
        DRUMS, TUNED,  TUNED,  TUNED,  DRUMS,   BOWED,   VOICES,  EFFECTS, EFFECTS, NONE};
    return colours[category < colours.size() ? category : NO_CATEGORY];
}

// The glyph painter: white shapes, "holes" in the tile's colour.
struct Glyph {
    QPainter& p;
    QColor tile;

    QPen line(qreal width, const QColor& colour = Qt::white) const {
        QPen pen(colour, width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        return pen;
    }
    void stroke(const QPainterPath& path, qreal width) const { p.strokePath(path, line(width)); }
    void stroke_line(qreal x1, qreal y1, qreal x2, qreal y2, qreal width, bool hole = false) const {
        p.setPen(line(width, hole ? tile : QColor(Qt::white)));
        p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    }
    void fill(const QPainterPath& path, bool hole = false) const {
        p.fillPath(path, hole ? tile : QColor(Qt::white));
    }
    void disc(qreal x, qreal y, qreal r, bool hole = false) const {
        QPainterPath path;
        path.addEllipse(QPointF(x, y), r, r);
        fill(path, hole);
    }
    void ellipse(qreal x, qreal y, qreal rx, qreal ry, bool hole = false) const {
        QPainterPath path;
        path.addEllipse(QPointF(x, y), rx, ry);
        fill(path, hole);
    }
    void rect(qreal x, qreal y, qreal w, qreal h, qreal radius, bool hole = false) const {
        QPainterPath path;
        path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
        fill(path, hole);
    }
    QPainterPath polygon(std::initializer_list<QPointF> points) const {
        QPainterPath path;
        QPolygonF polygon;
        for (const QPointF& point : points)
            polygon << point;
        path.addPolygon(polygon);
        path.closeSubpath();
        return path;
    }
};

void woodwinds(const Glyph& g) {
    // A clarinet lying across the tile: a tube with tone holes and a flared bell.
    g.stroke_line(8, 24, 24, 8, 4.2);
    g.fill(g.polygon({{4.5, 24.5}, {7.5, 27.5}, {11, 25}, {7, 21}}));
    g.stroke_line(24, 8, 27, 5, 2);
    for (qreal t : {0.25, 0.42, 0.59, 0.76})
        g.disc(8 + 16 * t, 24 - 16 * t, 0.95, true);
}

void brasswinds(const Glyph& g) {
    // A trumpet: mouthpiece, valves, the tube's loop and the bell.
    g.stroke_line(4, 15, 19, 15, 2.4);
    g.fill(g.polygon({{18, 13}, {28, 7.5}, {28, 22.5}, {18, 17}}));
    QPainterPath loop;
    loop.addRoundedRect(QRectF(8, 15, 11, 6), 3, 3);
    g.stroke(loop, 2);
    for (qreal x : {10.0, 13.0, 16.0})
        g.rect(x - 1, 9.5, 2, 5.5, 0.8);
    g.rect(3, 13, 2, 4, 0.8);
}

void saxophones(const Glyph& g) {
    // The saxophone's hook: neck, straight body, the bend and the bell turned up.
    QPainterPath body;
    body.moveTo(9, 4);
    body.lineTo(13, 6);
    body.lineTo(14, 20);
    body.quadTo(14.5, 27, 19.5, 27);
    body.quadTo(24, 27, 24, 21);
    g.stroke(body, 4);
    g.ellipse(24, 19.5, 4, 2.2);
    g.ellipse(24, 19.5, 2.4, 1, true);
    for (qreal y : {10.0, 13.5, 17.0})
        g.disc(13.7, y, 0.9, true);
}

void organs(const Glyph& g) {
    // Organ pipes standing in a row, the middle ones tallest, each with its mouth.
    const qreal heights[] = {12, 17, 21, 17, 12};
    for (int i = 0; i < 5; ++i) {
        const qreal x = 5 + i * 4.8;
        const qreal top = 27 - heights[i];
        g.rect(x, top, 3.6, heights[i], 1.2);
        g.fill(g.polygon({{x + 0.6, 22}, {x + 3, 22}, {x + 1.8, 20.2}}), true);
    }
    g.rect(3.5, 26, 25, 2.5, 1);
}

void guitar_body(const Glyph& g, bool hole) {
    QPainterPath body;
    body.addEllipse(QPointF(12, 21), 7.2, 7.2);
    body.addEllipse(QPointF(17, 16), 5, 5);
    g.fill(body.simplified());
    if (hole) g.disc(13.6, 19.4, 2.2, true);
}

void acoustic_guitars(const Glyph& g) {
    // A round-bodied acoustic guitar with its sound hole.
    guitar_body(g, true);
    g.stroke_line(17, 16, 26, 7, 2.6);
    g.fill(g.polygon({{24.5, 6.5}, {27.5, 3}, {29.5, 5}, {26, 8.5}}));
    g.stroke_line(7.5, 23.5, 10, 26, 1.4, true);
}

void ethnic_guitars(const Glyph& g) {
    // A long-necked lute: a gourd body, a second small gourd at the top, pegs on the side.
    g.disc(11, 22, 7);
    g.disc(11, 22, 4.4, true);
    g.disc(11, 22, 1.5);
    g.stroke_line(14, 18, 26.5, 5.5, 2.4);
    g.disc(26.5, 5.5, 2.6);
    for (qreal t : {0.45, 0.65, 0.85})
        g.stroke_line(14 + 12.5 * t, 18 - 12.5 * t, 16.5 + 12.5 * t, 20 - 12.5 * t, 1.3);
}

void bass(const Glyph& g) {
    // The bass clef.
    g.disc(9.5, 12.5, 3);
    QPainterPath clef;
    clef.moveTo(7.5, 11);
    clef.cubicTo(8.5, 4.5, 21, 3.5, 22, 12);
    clef.cubicTo(22.5, 19, 16, 24, 7, 27.5);
    g.stroke(clef, 3);
    g.disc(26.5, 10, 1.9);
    g.disc(26.5, 17, 1.9);
}

void electric_guitars(const Glyph& g) {
    // A solid body with horns, two pickups and a headstock.
    g.fill(g.polygon({{4, 23},
                      {8, 15},
                      {12.5, 16.5},
                      {15, 11.5},
                      {19.5, 14},
                      {17.5, 18},
                      {19, 24},
                      {14, 29},
                      {7, 28}}));
    g.stroke_line(15.5, 17, 25.5, 7, 2.4);
    g.fill(g.polygon({{24, 6.5}, {27, 2.5}, {30, 4.5}, {26.5, 9}}));
    g.stroke_line(9, 20, 12.5, 23.5, 1.6, true);
    g.stroke_line(11, 18, 14.5, 21.5, 1.6, true);
}

void violin(const Glyph& g, qreal dx, qreal dy, qreal s) {
    // A violin standing up: body of two bouts, neck and scroll, f-holes in the tile's colour.
    QPainterPath body;
    body.addEllipse(QPointF(dx + 0 * s, dy - 4 * s), 6.2 * s, 5.6 * s);
    body.addEllipse(QPointF(dx, dy + 4.5 * s), 7.2 * s, 6.4 * s);
    body.addRect(QRectF(dx - 4.5 * s, dy - 4 * s, 9 * s, 8 * s));
    g.fill(body.simplified());
    g.stroke_line(dx, dy - 8 * s, dx, dy - 15 * s, 2.2 * s);
    g.disc(dx, dy - 15.5 * s, 1.9 * s);
    g.stroke_line(dx - 2.6 * s, dy - 1.5 * s, dx - 2.6 * s, dy + 5 * s, 1 * s, true);
    g.stroke_line(dx + 2.6 * s, dy - 1.5 * s, dx + 2.6 * s, dy + 5 * s, 1 * s, true);
}

void solo_strings(const Glyph& g) {
    violin(g, 13, 17, 1.0);
    // The bow across it.
    g.stroke_line(20, 3.5, 27.5, 28, 1.4);
    g.stroke_line(22, 3.5, 29, 26, 0.8);
}

void background_strings(const Glyph& g) {
    // A section: three violins side by side, the middle one in front.
    Glyph faded = g;
    g.p.setOpacity(0.6);
    violin(faded, 8.5, 19.5, 0.72);
    violin(faded, 23.5, 19.5, 0.72);
    g.p.setOpacity(1.0);
    g.disc(16, 21, 6.5, true);
    violin(g, 16, 18.5, 0.8);
}

void pianos(const Glyph& g) {
    // A stretch of keyboard: four white keys and three black ones.
    g.rect(4, 7, 24, 19, 2);
    for (int i = 1; i < 4; ++i)
        g.stroke_line(4 + i * 6, 7, 4 + i * 6, 26, 1.2, true);
    for (qreal x : {8.2, 14.2, 20.2})
        g.rect(x, 7, 3.6, 11, 0.8, true);
}

QPainterPath wave(qreal x0, qreal x1, qreal middle, qreal amplitude, qreal periods) {
    QPainterPath path;
    for (int i = 0; i <= 64; ++i) {
        const qreal t = i / 64.0;
        const QPointF point(x0 + (x1 - x0) * t,
                            middle - amplitude * std::sin(2 * std::numbers::pi * periods * t));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    return path;
}

void melodic_synth(const Glyph& g) {
    g.stroke(wave(4, 28, 16, 8, 1.5), 3);
}

void lead_synth(const Glyph& g) {
    // A sawtooth, bright and edgy.
    QPainterPath saw;
    saw.moveTo(4, 23);
    saw.lineTo(12, 9);
    saw.lineTo(12, 23);
    saw.lineTo(20, 9);
    saw.lineTo(20, 23);
    saw.lineTo(28, 9);
    g.stroke(saw, 2.8);
}

void background_synth(const Glyph& g) {
    // Soft waves layered over each other: a pad.
    g.p.setOpacity(0.45);
    g.stroke(wave(4, 28, 10, 3.5, 1), 2.4);
    g.p.setOpacity(0.7);
    g.stroke(wave(4, 28, 16, 3.5, 1), 2.4);
    g.p.setOpacity(1.0);
    g.stroke(wave(4, 28, 22, 3.5, 1), 2.4);
}

QPainterPath star(QPointF centre, qreal outer, qreal inner, int points, qreal turn = 0) {
    QPainterPath path;
    for (int i = 0; i < points * 2; ++i) {
        const qreal r = i % 2 ? inner : outer;
        const qreal a = turn + std::numbers::pi * i / points - std::numbers::pi / 2;
        const QPointF point(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

void synth_fx(const Glyph& g) {
    // Sparkles.
    g.fill(star({14, 17}, 11, 2.6, 4));
    g.fill(star({25, 7}, 5, 1.3, 4));
    g.fill(star({25.5, 25}, 3.5, 1, 4));
}

void cymbal(const Glyph& g, QPointF centre, qreal rx, qreal ry, qreal angle) {
    g.p.save();
    g.p.translate(centre);
    g.p.rotate(angle);
    g.ellipse(0, 0, rx, ry);
    g.ellipse(0, -ry * 0.6, rx * 0.22, ry * 0.7);
    g.p.restore();
}

void high_hats(const Glyph& g) {
    // Two cymbals closed on one stand, the pedal's legs below.
    g.stroke_line(16, 10, 16, 27, 1.6);
    cymbal(g, {16, 9}, 11, 2.2, 0);
    cymbal(g, {16, 13.5}, 11, 2.2, 0);
    g.stroke_line(16, 24, 10, 28, 1.4);
    g.stroke_line(16, 24, 22, 28, 1.4);
}

void cymbals(const Glyph& g) {
    // One tilted cymbal on a stand, ringing.
    g.stroke_line(15, 13, 16, 27, 1.6);
    g.stroke_line(16, 23, 10, 28, 1.4);
    g.stroke_line(16, 23, 22, 28, 1.4);
    cymbal(g, {15, 12}, 11.5, 2.6, -16);
    QPainterPath rings;
    rings.moveTo(24, 3.5);
    rings.quadTo(28.5, 5.5, 29, 10);
    g.stroke(rings, 1.3);
    QPainterPath outer;
    outer.moveTo(3, 6.5);
    outer.quadTo(4, 3, 8, 2.5);
    g.stroke(outer, 1.3);
}

void bass_drums(const Glyph& g) {
    // The kick drum's front head, its rim and the pedal's beater.
    g.disc(16, 15, 11);
    g.disc(16, 15, 8.6, true);
    g.disc(16, 15, 6.8);
    g.stroke_line(9, 24, 5.5, 29, 1.6);
    g.stroke_line(23, 24, 26.5, 29, 1.6);
    g.stroke_line(16, 26, 16, 30, 1.4);
    g.ellipse(16, 22, 1.6, 2.2, true);
}

void snare_drums(const Glyph& g) {
    // A snare from the side with two crossed sticks above it.
    g.rect(5, 15, 22, 10, 2);
    g.ellipse(16, 15, 11, 3);
    g.ellipse(16, 15, 9, 1.8, true);
    for (qreal x : {9.0, 14.0, 19.0, 24.0})
        g.stroke_line(x - 1.5, 17.5, x + 1.5, 23, 1.1, true);
    g.stroke_line(5, 3, 20, 12, 1.8);
    g.stroke_line(27, 3, 12, 12, 1.8);
}

void other_percussions(const Glyph& g) {
    // A pair of maracas.
    auto maraca = [&](QPointF head, qreal angle) {
        g.p.save();
        g.p.translate(head);
        g.p.rotate(angle);
        g.ellipse(0, 0, 5.2, 6.5);
        g.stroke_line(0, 6, 0, 15, 2.4);
        g.ellipse(-1.5, -2.2, 1.2, 1.8, true);
        g.p.restore();
    };
    maraca({10, 10}, -22);
    maraca({22, 10}, 22);
}

void electronic_drums(const Glyph& g) {
    // The hexagonal pad of an electronic kit on its arm.
    QPainterPath pad;
    for (int i = 0; i < 6; ++i) {
        const qreal a = std::numbers::pi / 3 * i;
        const QPointF point(16 + 11 * std::cos(a), 14 + 9.6 * std::sin(a));
        if (i == 0)
            pad.moveTo(point);
        else
            pad.lineTo(point);
    }
    pad.closeSubpath();
    g.fill(pad);
    QPainterPath inner;
    for (int i = 0; i < 6; ++i) {
        const qreal a = std::numbers::pi / 3 * i;
        const QPointF point(16 + 6.5 * std::cos(a), 14 + 5.7 * std::sin(a));
        if (i == 0)
            inner.moveTo(point);
        else
            inner.lineTo(point);
    }
    inner.closeSubpath();
    g.p.strokePath(inner, g.line(1.4, g.tile));
    g.stroke_line(16, 23.5, 16, 29, 2);
}

void gongs(const Glyph& g) {
    // A gong hanging in its frame.
    g.stroke_line(4, 4, 28, 4, 2.2);
    g.stroke_line(5.5, 4, 5.5, 29, 2);
    g.stroke_line(26.5, 4, 26.5, 29, 2);
    g.stroke_line(12, 4, 13, 8, 1);
    g.stroke_line(20, 4, 19, 8, 1);
    g.disc(16, 17, 9);
    g.disc(16, 17, 6.6, true);
    g.disc(16, 17, 3.4);
}

void bells(const Glyph& g) {
    // A hand bell with its clapper.
    QPainterPath bell;
    bell.moveTo(6, 23.5);
    bell.cubicTo(9.5, 21, 8.5, 8, 16, 7.5);
    bell.cubicTo(23.5, 8, 22.5, 21, 26, 23.5);
    bell.closeSubpath();
    g.fill(bell);
    g.rect(5, 23, 22, 2.6, 1.2);
    g.disc(16, 28, 2.4);
    g.disc(16, 5.5, 2.2);
    g.stroke_line(12, 12, 11, 19, 1.1, true);
}

void mallets(const Glyph& g) {
    // A xylophone's bars, longest to shortest, and a mallet.
    for (int i = 0; i < 5; ++i) {
        const qreal length = 20 - i * 2.6;
        g.rect(3.5 + i * 4.4, 15 - length / 2 + 3, 3.4, length, 1);
    }
    g.stroke_line(9, 30, 26, 6, 1.4);
    g.disc(26.8, 5, 2.6);
}

void claps(const Glyph& g) {
    // Two palms meeting, with the sound leaping off them.
    auto palm = [&](qreal angle, qreal x) {
        g.p.save();
        g.p.translate(x, 19);
        g.p.rotate(angle);
        g.rect(-3.4, -8, 6.8, 16, 3.4);
        g.p.restore();
    };
    palm(18, 12);
    palm(-18, 20);
    g.stroke_line(16, 8.5, 20, 12, 2, true);
    g.stroke_line(16, 6, 16, 2.5, 1.6);
    g.stroke_line(10, 7.5, 7.5, 4.5, 1.6);
    g.stroke_line(22, 7.5, 24.5, 4.5, 1.6);
}

void orchestral_sounds(const Glyph& g) {
    // The conductor's baton with the sweep of its beat.
    g.stroke_line(6, 27, 22, 9, 1.4);
    g.stroke_line(6, 27, 9.5, 23, 3.4);
    QPainterPath sweep;
    sweep.moveTo(13, 5);
    sweep.quadTo(23, 1, 28, 9);
    g.stroke(sweep, 1.6);
    QPainterPath sweep2;
    sweep2.moveTo(25, 15);
    sweep2.quadTo(29, 20, 26, 26);
    g.stroke(sweep2, 1.6);
    g.fill(star({24.5, 6.5}, 2.8, 1, 4));
}

void speech(const Glyph& g) {
    // A speech bubble.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(3.5, 5, 25, 17), 7, 7);
    bubble.addPolygon(QPolygonF({QPointF(9, 20), QPointF(7, 28), QPointF(16, 21)}));
    g.fill(bubble.simplified());
    for (qreal x : {10.0, 16.0, 22.0})
        g.disc(x, 13.5, 1.8, true);
}

void natural_sounds(const Glyph& g) {
    // A leaf with its veins.
    QPainterPath leaf;
    leaf.moveTo(6, 26);
    leaf.cubicTo(4, 12, 14, 4, 27, 4);
    leaf.cubicTo(27, 18, 20, 27, 6, 26);
    g.fill(leaf);
    g.stroke_line(6, 26, 20, 11, 1.3, true);
    g.stroke_line(12, 19.5, 12, 13, 1, true);
    g.stroke_line(15, 16, 21.5, 16.5, 1, true);
    g.stroke_line(4, 29, 7.5, 25, 1.6);
}

void sound_fx(const Glyph& g) {
    // A burst.
    QPainterPath burst;
    const qreal radii[] = {13, 6, 11, 5.5, 14, 6.5, 10, 5, 12.5, 6, 10.5, 5.5};
    for (int i = 0; i < 12; ++i) {
        const qreal a = std::numbers::pi * 2 * i / 12 - std::numbers::pi / 2;
        const QPointF point(16 + radii[i] * std::cos(a), 16 + radii[i] * std::sin(a));
        if (i == 0)
            burst.moveTo(point);
        else
            burst.lineTo(point);
    }
    burst.closeSubpath();
    g.fill(burst);
    g.fill(star({16, 16}, 4.5, 2.2, 6), true);
}

void no_category(const Glyph& g) {
    // A plain eighth note.
    g.p.save();
    g.p.translate(12, 23);
    g.p.rotate(-22);
    g.ellipse(0, 0, 5, 3.6);
    g.p.restore();
    g.stroke_line(16.3, 21.5, 16.3, 5, 2);
    QPainterPath flag;
    flag.moveTo(16.3, 5);
    flag.cubicTo(19, 9, 25, 10, 22.5, 18);
    g.stroke(flag, 2);
}

using GlyphPainter = void (*)(const Glyph&);
constexpr std::array<GlyphPainter, 30> GLYPHS = {woodwinds,
                                                 brasswinds,
                                                 saxophones,
                                                 organs,
                                                 acoustic_guitars,
                                                 ethnic_guitars,
                                                 bass,
                                                 electric_guitars,
                                                 solo_strings,
                                                 background_strings,
                                                 pianos,
                                                 melodic_synth,
                                                 lead_synth,
                                                 background_synth,
                                                 synth_fx,
                                                 high_hats,
                                                 cymbals,
                                                 bass_drums,
                                                 snare_drums,
                                                 other_percussions,
                                                 electronic_drums,
                                                 gongs,
                                                 bells,
                                                 mallets,
                                                 claps,
                                                 orchestral_sounds,
                                                 speech,
                                                 natural_sounds,
                                                 sound_fx,
                                                 no_category};

// Runs the glyph in a 32 x 32 grid centred in the rectangle.
void in_grid(QPainter& painter, const QRectF& rect, const std::function<void()>& draw) {
    const qreal side = std::min(rect.width(), rect.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 32, side / 32);
    draw();
    painter.restore();
}

QColor greyed(const QColor& colour) {
    const int grey = qGray(colour.rgb());
    return QColor(grey, grey, grey).lighter(130);
}

} // namespace

void paint_category_icon(QPainter& painter, const QRectF& rect, uint32_t category, bool enabled) {
    const uint32_t index = category < GLYPHS.size() ? category : NO_CATEGORY;
    in_grid(painter, rect, [&] {
        QColor tile = family_colour(index);
        if (!enabled) tile = greyed(tile);
        QLinearGradient shade(0, 0, 0, 32);
        shade.setColorAt(0, tile.lighter(118));
        shade.setColorAt(1, tile.darker(112));
        QPainterPath back;
        back.addRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
        painter.fillPath(back, shade);
        GLYPHS[index](Glyph{painter, tile});
    });
}

QIcon category_icon(uint32_t category) {
    static const std::array<QIcon, 30> icons = [] {
        std::array<QIcon, 30> made;
        for (uint32_t i = 0; i < made.size(); ++i)
            made[i] = painted_icon([i](QPainter& p, const QRectF& r, bool enabled) {
                paint_category_icon(p, r, i, enabled);
            });
        return made;
    }();
    return icons[category < icons.size() ? category : NO_CATEGORY];
}

QString category_name(uint32_t category) {
    const std::vector<std::string> names = split_lines(load_string(S_CATEGORY_NAMES));
    if (category >= names.size() || category >= CATEGORY_COUNT) return {};
    return QString::fromStdString(names[category]);
}

void paint_bank_mark(QPainter& painter, const QRectF& rect) {
    // A padlock, 3 : 4, in slate with a white keyhole.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal h = std::min(rect.height(), rect.width() * 4 / 3);
    const qreal w = h * 3 / 4;
    painter.translate(rect.center().x() - w / 2, rect.center().y() - h / 2);
    painter.scale(w / 9, h / 12);
    const QColor slate(0x44, 0x50, 0x66);
    QPen shackle(slate, 1.5);
    painter.setPen(shackle);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(2, 0.8, 5, 6), 0, 180 * 16);
    painter.drawLine(QPointF(2, 3.8), QPointF(2, 6));
    painter.drawLine(QPointF(7, 3.8), QPointF(7, 6));
    QPainterPath body;
    body.addRoundedRect(QRectF(0.3, 5.3, 8.4, 6.4), 1.2, 1.2);
    painter.fillPath(body, QColor(0xd8, 0xa8, 0x2c));
    painter.setPen(QPen(slate, 0.7));
    painter.drawPath(body);
    painter.setPen(Qt::NoPen);
    painter.setBrush(slate);
    painter.drawEllipse(QPointF(4.5, 7.8), 1.1, 1.1);
    painter.drawRect(QRectF(4.0, 8.2, 1.0, 2.0));
    painter.restore();
}

QIcon bank_mark() {
    static const QIcon icon =
        painted_icon([](QPainter& p, const QRectF& r, bool) { paint_bank_mark(p, r); });
    return icon;
}

void paint_mute_mark(QPainter& painter, const QRectF& rect) {
    // A loudspeaker with a red stroke through it.
    in_grid(painter, rect, [&] {
        const QColor ink(0x3a, 0x40, 0x4c);
        QPainterPath speaker;
        speaker.addPolygon(QPolygonF({QPointF(4, 12), QPointF(10, 12), QPointF(18, 5),
                                      QPointF(18, 27), QPointF(10, 20), QPointF(4, 20)}));
        speaker.closeSubpath();
        painter.fillPath(speaker, ink);
        QPen cross(QColor(0xd0, 0x2c, 0x2c), 3.2);
        cross.setCapStyle(Qt::RoundCap);
        painter.setPen(cross);
        painter.drawLine(QPointF(21, 11), QPointF(29, 21));
        painter.drawLine(QPointF(29, 11), QPointF(21, 21));
    });
}

QIcon mute_mark() {
    static const QIcon icon =
        painted_icon([](QPainter& p, const QRectF& r, bool) { paint_mute_mark(p, r); });
    return icon;
}

} // namespace tunemill
