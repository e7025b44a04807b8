#include "ui/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour) {
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// `colour` moved `share` of the way toward `target`, in its channels and its opacity.
QColor blended(const QColor& colour, const QColor& target, double share) {
    const auto mix = [&](double from, double to) { return from + (to - from) * share; };
    return QColor::fromRgbF(
        float(mix(colour.redF(), target.redF())), float(mix(colour.greenF(), target.greenF())),
        float(mix(colour.blueF(), target.blueF())), float(mix(colour.alphaF(), target.alphaF())));
}

// The opaque colour `colour` shows as over `background`.
QColor over(const QColor& colour, const QColor& background) {
    QColor opaque = background;
    opaque.setAlphaF(1);
    return blended(opaque, colour, colour.alphaF());
}

}  // namespace

// A translucent colour is measured as it shows over the other.
double contrastRatio(const QColor& one, const QColor& other) {
    const double first = luminance(over(one, other)), second = luminance(other);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor readableOn(const QColor& colour, const QColor& background, double ratio) {
    const QColor target = luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step <= 20; ++step) {
        const QColor candidate = blended(colour, target, step / 20.0);
        if (contrastRatio(candidate, background) >= ratio) return candidate;
    }
    return target;
}
