#include "controls/button/button_skins.h"

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <array>
#include <optional>

namespace qm {

namespace {

const QColor PcBackground(221, 215, 197);
const QColor FrameBackground(255, 255, 255);

struct FaceColours {
    QColor outline;
    std::optional<QColor> ring; // without one the ring is a lighter fill
    QColor fillTop;
    QColor fillBottom;
    double ringLightness = 0.0; // how far a ring without colour goes to white
};

QColor mix(const QColor& a, const QColor& b, double t) {
    const auto channel = [t](int x, int y) { return int(x + (y - x) * t + 0.5); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                  channel(a.blue(), b.blue()));
}

const FaceColours NormalFace{{142, 143, 143}, std::nullopt, {240, 240, 240}, {215, 215, 215}, 0.7};
const FaceColours PressedFace{
    {33, 73, 104}, QColor(43, 145, 197), {193, 227, 246}, {151, 209, 240}};
const FaceColours DisabledFace{{173, 178, 181}, std::nullopt, {244, 244, 244}, {244, 244, 244}};
const FaceColours HotFace{{60, 127, 177}, QColor(218, 240, 252), {223, 242, 252}, {169, 220, 248}};
const FaceColours HighlightedFace{NormalFace.outline, QColor(4, 204, 254), NormalFace.fillTop,
                                  NormalFace.fillBottom};

// Glass look: the upper half fades gently, the lower half starts a step darker.
QColor fillAt(const FaceColours& face, int y) {
    constexpr int top = 2;
    constexpr int bottom = SkinCellHeight - 3;
    const double t = double(y - top) / (bottom - top);
    if (t < 0.5)
        return mix(face.fillTop, face.fillBottom, 0.35 * (t / 0.5));
    return mix(face.fillTop, face.fillBottom, 0.55 + 0.45 * ((t - 0.5) / 0.5));
}

QColor ringAt(const FaceColours& face, int y) {
    return face.ring ? *face.ring : mix(fillAt(face, y), Qt::white, face.ringLightness);
}

// One 18 x 21 face: outline, inner ring and gradient fill, corners rounded
// with two blended pixels; the outermost corner pixel shows the background.
QImage drawFace(const FaceColours& face, const QColor& background) {
    QImage cell(SkinCellWidth, SkinCellHeight, QImage::Format_RGB32);
    const int right = SkinCellWidth - 1;
    const int bottom = SkinCellHeight - 1;
    for (int y = 0; y <= bottom; ++y) {
        for (int x = 0; x <= right; ++x) {
            // Distances from the nearest vertical and horizontal border.
            const int dx = std::min(x, right - x);
            const int dy = std::min(y, bottom - y);
            QColor colour;
            if (dx + dy == 0)
                colour = background;
            else if (dx + dy == 1)
                colour = mix(face.outline, background, 0.5);
            else if (dx == 0 || dy == 0 || (dx == 1 && dy == 1))
                colour = face.outline;
            else if (dx == 1 || dy == 1)
                colour = ringAt(face, y);
            else
                colour = fillAt(face, y);
            cell.setPixelColor(x, y, colour);
        }
    }
    return cell;
}

QImage blendFaces(const QImage& from, const QImage& to, double t) {
    QImage blended(from.size(), QImage::Format_RGB32);
    for (int y = 0; y < from.height(); ++y)
        for (int x = 0; x < from.width(); ++x)
            blended.setPixelColor(x, y, mix(from.pixelColor(x, y), to.pixelColor(x, y), t));
    return blended;
}

QImage joinCells(const std::array<QImage, SkinCellCount>& cells) {
    QImage strip(SkinCellWidth * SkinCellCount, SkinCellHeight, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (int i = 0; i < SkinCellCount; ++i)
        painter.drawImage(i * SkinCellWidth, 0, cells[size_t(i)]);
    return strip;
}

QImage blendStrip(const FaceColours& first, const FaceColours& last) {
    const QImage from = drawFace(first, FrameBackground);
    const QImage to = drawFace(last, FrameBackground);
    std::array<QImage, SkinCellCount> cells;
    for (int i = 0; i < SkinCellCount; ++i)
        cells[size_t(i)] = blendFaces(from, to, double(i) / (SkinCellCount - 1));
    return joinCells(cells);
}

QImage staticStrip() {
    return joinCells({drawFace(NormalFace, PcBackground), drawFace(PressedFace, PcBackground),
                      drawFace(DisabledFace, PcBackground), drawFace(HotFace, PcBackground),
                      drawFace(HighlightedFace, PcBackground)});
}

} // namespace

const QImage& buttonStrip(Strip strip) {
    static const QImage pc = staticStrip();
    static const QImage moves = blendStrip(NormalFace, HotFace);
    static const QImage downs = blendStrip(PressedFace, HotFace);
    switch (strip) {
    case Strip::Moves:
        return moves;
    case Strip::Downs:
        return downs;
    case Strip::Pc:
        break;
    }
    return pc;
}

QImage buttonCell(Strip strip, int cell) {
    return buttonStrip(strip).copy(cell * SkinCellWidth, 0, SkinCellWidth, SkinCellHeight);
}

} // namespace qm
